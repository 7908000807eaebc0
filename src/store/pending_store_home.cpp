// Stand-in until the store exists: the view goes back to the library.
#include "store/store_home.h"

#include "app/ui/app_state.h"

void store_home_screen() { app.view = AppView::Library; }
