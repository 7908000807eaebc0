// Stand-in until the document scan exists: there is no view list to rebuild yet.
#include "library/library_view.h"

void library_rescan_documents() {}
