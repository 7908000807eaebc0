// Device options (time zone, sleep, storage, USB drive mode, restart, shut down) and About.
#pragma once

// Runs until back.
void device_options_menu();
// Runs until back.
void about_screen();
