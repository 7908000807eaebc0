// The open book's menu, reached from the toolbar's "More".
#pragma once

// Runs the chosen action once; returns after it (or at once on back). The caller redraws.
void book_menu();
