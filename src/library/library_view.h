// The library's view list: the scanned documents, filtered and ordered for the library screen.
#pragma once

// Rescans the documents folder and rebuilds the view list (after books were added or removed).
void library_rescan_documents();
