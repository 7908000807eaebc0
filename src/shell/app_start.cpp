// The interactive program's start-up, in its order, up to the main loop. Only the display's
// failure stops it; every later step that fails leaves its defaults.
#include <cstdio>
#include <cstring>

#include "shell/app_connect.h"
#include "shell/app_main.h"
#include "shell/main_loop.h"
#include "app/reader/font_choice.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_open.h"
#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/save_notice.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_state.h"
#include "audio/audio_player.h"
#include "base/file_kinds.h"
#include "base/paths.h"
#include "base/ql_error.h"
#include "base/system_services.h"
#include "display/device_facts.h"
#include "display/framebuffer.h"
#include "app/ui/ui_logo.h"
#include "library/bundled_books.h"
#include "library/collections.h"
#include "library/library_view.h"
#include "library/progress_index.h"
#include "store/download_manager.h"

namespace {
constexpr char kStateFolder[] = "/mnt/us/ql/state";
constexpr char kKeepAwake[] = "lipc-set-prop -i com.lab126.powerd preventScreenSaver 1 >/dev/null 2>&1";
constexpr int kKeepAwakeSecs = 6;

void show_splash() {
  ql_clear();
  const Framebuffer& fb = ql_fb();
  ql_blit(ql_logo(), kLogoWidth, kLogoHeight, (fb.width - kLogoWidth) / 2, fb.height / 2 - 40);
  ui_present(true);
  app.present.clean = true;
}
// The file named after "--open": an audio file opens in the player, as from the library (the
// whole folder when it is one part of an audiobook there), anything else in the reader.
void open_given(const char* path) {
  if (is_audio_extension(path)) {
    audio_player_screen(audiobook_of(ql_device_path(path)));
  } else {
    book_open(path, strlen(path));
  }
}
}  // namespace

int app_interactive(int argc, char** argv) {
  if (!ql_init(0)) {
    fprintf(stderr, "%s\n", ql_error());
    return 1;
  }
  qls_load(settings);
  layout.font_px = settings.font;
  layout.margin_px = settings.margin;
  layout.line_pct = settings.line;
  qlp_mkdir(kStateFolder, 0755);
  ui_state_load();
  font_choice_load();
  ql_system_t(kKeepAwake, kKeepAwakeSecs);
  layout.align = ui_state.align;
  library_index_load();
  collections_load();
  ui_save();
  docs_watch_request_stop();
  const bool downloaded_archive = ql_dl_recover();
  bundled_books_seed();
  ql_frontlight_lipc(settings.light);
  show_splash();
  ui_tell_start_notice();
  app_finish_unpacks(downloaded_archive);
  library_rescan_documents();
  app.view = AppView::Library;
  if (argc >= 3 && strcmp(argv[1], "--open") == 0) open_given(argv[2]);
  main_loop();
}
