#include "app/ui/app_hooks.h"

AppHooks app_hooks;
