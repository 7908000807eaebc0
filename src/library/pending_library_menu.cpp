// Stand-in until the library menu exists: the sort bar opens nothing.
#include "library/library_menu.h"

void library_menu() {}
