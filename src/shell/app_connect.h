// Connects the hooks the screen toolkit and the reader call up through to the library, store and
// settings. Start-up does it first; a test driving screens in-process does it in its fixture.
#pragma once

void app_connect_hooks();

// Completes an audiobook archive's unpack that a crash cut short, showing its progress, and with
// `downloaded_archive` unpacks an archive whose download had ended just before; run at start,
// before the library is first read.
void app_finish_unpacks(bool downloaded_archive);
