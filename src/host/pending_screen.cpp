// Stand-ins for the host's screen, event and POST services until the host front ends exist.
#include "host/plat.h"

int plat_init(int* w, int* h) {
  *w = 1072;
  *h = 1448;
  return 1;
}
int plat_event(int, int*, int*) { return 0; }
int plat_pending() { return 0; }
void plat_present(const uint8_t*, int, int, int, int, int) {}
int plat_system_dark() { return 0; }
void plat_import() {}
int plat_post(const char*, const char*, size_t) { return 0; }
