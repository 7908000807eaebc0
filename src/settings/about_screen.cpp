#include <algorithm>
#include <array>
#include <string>

#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/framebuffer.h"
#include "app/ui/ui_logo.h"
#include "host/window_menu_labels.h"
#include "settings/device_options.h"

namespace {
constexpr int kLogoY = 286;
// On a low screen (landscape) the logo and the text move up, at most this far, so that the last
// paragraph still ends above the bottom band.
constexpr int kLiftMax = kLogoY - kHeaderBottom - 24;
constexpr int kFirstBaseline = 456;
constexpr int kTextSize = 40;
constexpr int kSide = 48;
constexpr int kLineHeight = 58;
constexpr int kParagraphGap = 14;
constexpr int kBottomRoom = 80;  // a paragraph starts no lower than this above the bottom

// Where books come in on this desktop: the window's drop target and its File menu, named as the
// menu names its items and shortcuts.
std::string adding_books() {
  const std::string file = std::string(kMenuFile) + ", ";
  return "Add books and audiobooks: drop files or folders on the window, or " + file +
         kMenuAddBooks + " (" + kShortcutAddBooks + ") or " + kMenuAddBookFolder + " (" +
         kShortcutAddBookFolder + "). " + file + kMenuShowLibraryFolder +
         " opens where they are kept.";
}
}  // namespace

void about_screen() {
  app.present.waveform = kWaveformFull;
  const Framebuffer& fb = ql_fb();
  ui_draw_header("About");
  const std::array<std::string, 7> paragraphs = {
      "Version 0.9.5  \xC2\xB7  Beta  \xC2\xB7  no warranty",
      "Free to use, provided as is.",
      "Online only when you say so.",
      "Reads EPUB, PDF, MOBI and AZW3 without DRM, FB2, TXT and comics (CBZ). Plays audiobooks: "
      "MP3, M4B, AAC, Opus, OGG, FLAC, WAV.",
      adding_books(),
      "Your notes and settings stay on this device as plain text.",
      "Found a bug? Settings, Report a bug.",
  };
  const int width = fb.width - 2 * kSide;
  int lines = 0;
  for (const std::string& paragraph : paragraphs)
    lines += ui_wrap(paragraph, ui_face(TS_REGULAR), kTextSize, float(width), [](auto, int) {});
  const int last_baseline = kFirstBaseline + (lines - 1) * kLineHeight +
                            int(paragraphs.size() - 1) * kParagraphGap;
  const int lift = std::clamp(last_baseline - (fb.height - kBottomRoom), 0, kLiftMax);
  ql_blit(ql_logo(), kLogoWidth, kLogoHeight, (fb.width - kLogoWidth) / 2, kLogoY - lift);
  int y = kFirstBaseline - lift;
  for (const std::string& paragraph : paragraphs) {
    if (y > fb.height - kBottomRoom) break;
    y = ui_draw_wrapped(paragraph.data(), paragraph.size(), TS_REGULAR, kTextSize, kSide, y, width,
                        kLineHeight) +
        kParagraphGap;
  }
  ui_present(false);
  TapEvent event;
  ui_wait_event(event);
}
