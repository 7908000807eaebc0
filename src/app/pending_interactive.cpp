// Stand-in for the interactive program until the desktop start-up exists.
#include <cstdio>

#include "app/app_main.h"

int app_interactive(int, char**) {
  fprintf(stderr, "quillo: the interactive program is not built yet\n");
  return 1;
}
