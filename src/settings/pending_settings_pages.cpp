// Stand-in until the all-settings screen exists: it has no rows, so it closes at once.
#include "settings/settings_pages.h"

void settings_pages() {}
