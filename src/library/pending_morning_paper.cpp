// Stand-in until the Morning Paper screen exists: the view goes back to the library.
#include "library/morning_paper.h"

#include "app/ui/app_state.h"

void morning_paper_screen() { app.view = AppView::Library; }
