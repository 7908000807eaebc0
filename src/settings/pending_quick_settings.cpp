// Stand-in until the quick settings exist: the panel has no rows, so it closes at once.
#include "settings/quick_settings.h"

void quick_settings_panel() {}
