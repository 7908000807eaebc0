#include "app/screen_shots.h"

#include <array>

#include "app/reader_page.h"
#include "app/reader_toolbar.h"
#include "app/ui_keyboard.h"
#include "app/ui_present.h"

namespace {
// The current page of the book given on the command line (a blank page without one).
void show_reader(std::string_view) {
  reader_draw_page();
  ui_present(false);
}

void show_toolbar(std::string_view) { reader_toolbar(); }

// The keyboard as a search starts: a short text typed into the library search.
void show_keyboard(std::string_view) {
  constexpr std::string_view title = "Search library";
  constexpr std::string_view sample = "moby dick";
  char text[64];
  keyboard_edit(title.data(), title.size(), text, sizeof text, sample.data(), sample.size(), false);
}

constexpr std::array kScreenShots = {
    ScreenShot{"library", nullptr},  ScreenShot{"grid", nullptr},
    ScreenShot{"reader", show_reader}, ScreenShot{"toolbar", show_toolbar},
    ScreenShot{"goto", nullptr},     ScreenShot{"aa", nullptr},
    ScreenShot{"light", nullptr},    ScreenShot{"keyboard", show_keyboard},
    ScreenShot{"settings", nullptr}, ScreenShot{"quick", nullptr},
    ScreenShot{"device", nullptr},   ScreenShot{"menu", nullptr},
    ScreenShot{"details", nullptr},  ScreenShot{"morning", nullptr},
    ScreenShot{"payln", nullptr},    ScreenShot{"paychain", nullptr},
    ScreenShot{"payseen", nullptr},  ScreenShot{"paycard", nullptr},
    ScreenShot{"thanks", nullptr},   ScreenShot{"thanks2", nullptr},
    ScreenShot{"libnew", nullptr},   ScreenShot{"usb", nullptr},
    ScreenShot{"lightfull", nullptr}, ScreenShot{"about", nullptr},
    ScreenShot{"paper", nullptr},    ScreenShot{"store", nullptr},
    ScreenShot{"bookmenu", nullptr}, ScreenShot{"audio", nullptr},
};
}  // namespace

std::span<const ScreenShot> screen_shots() { return kScreenShots; }
