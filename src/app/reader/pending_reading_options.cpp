// Stand-in until the reading options exist: nothing can be changed, so the panel closes at once.
#include "app/reader/reading_options.h"

void reading_options_screen() {}
