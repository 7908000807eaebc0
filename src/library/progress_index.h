// The reading-progress index and the one step that puts all state on disk before the process may
// end or a screen is left for long.
#pragma once

// The open book's progress, the index, settings.txt and ui.txt, in that order.
void app_persist_all();
