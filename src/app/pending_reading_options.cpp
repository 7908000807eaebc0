// Stand-in until the reading options exist: nothing can be changed, so the panel closes at once.
#include "app/reading_options.h"

void reading_options_screen() {}
