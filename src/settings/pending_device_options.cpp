// Stand-in until device options and About exist: both close at once.
#include "settings/device_options.h"

void device_options_menu() {}
void about_screen() {}
