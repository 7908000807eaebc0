#include "app/ui/app_state.h"

AppState app;
