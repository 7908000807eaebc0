// A small core for the interactive program until the main loop exists: it shows a blank page,
// marks every tap it gets, follows dark mode and quits when asked.
#include "app/app_main.h"
#include "display/framebuffer.h"
#include "display/ql_error.h"
#include "display/touch.h"
#include "host/plat.h"

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kMarkSize = 16;

void present_dark_mode() {
  ql_set_invert(plat_system_dark() ? 1 : 0);
  ql_present(1, 2);
}
}  // namespace

int app_interactive(int, char**) {
  if (!ql_init(0)) {
    fprintf(stderr, "%s\n", ql_error());
    return 1;
  }
  ql_clear();
  present_dark_mode();
  ql_touch_timeout(0);
  for (;;) {
    int x = 0, y = 0;
    switch (ql_touch(&x, &y)) {
      case TOUCH_QUIT:
        exit(0);  // nothing to save yet
      case TOUCH_GESTURE:
        ql_rect(x - kMarkSize / 2, y - kMarkSize / 2, kMarkSize, kMarkSize, 0);
        ql_present(0, 4);
        break;
      case TOUCH_APPEARANCE:
        present_dark_mode();
        break;
      default:
        break;
    }
  }
}
