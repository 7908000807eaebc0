#include "app/app_main.h"

#include <cstdio>

int nalo_main(int, char**) {
  fprintf(stderr, "quillo: the interactive program is not built yet\n");
  return 1;
}
