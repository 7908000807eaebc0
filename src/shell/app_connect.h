// Connects the hooks the screen toolkit and the reader call up through to the library, store and
// settings. Start-up does it first; a test driving screens in-process does it in its fixture.
#pragma once

void app_connect_hooks();
