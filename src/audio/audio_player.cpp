// The player loop: read the status, draw, present, wait (2 s while playing so the time moves),
// act on a tap. Lists (parts, chapters, bookmarks, speed, sleep timer) are list screens of the
// toolkit; every start of the engine goes through one start-and-wait.
#include "audio/audio_player.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include "app/ui/app_state.h"
#include "app/ui/save_notice.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_cover_card.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "audio/audio_chapters.h"
#include "audio/audio_engine.h"
#include "audio/audio_files.h"
#include "base/paths.h"
#include "display/framebuffer.h"

namespace {
constexpr uint32_t kAudioCoverKind = 1;  // the library's kind for audio files
constexpr int kTitleBaseline = 640;
constexpr int kTimeBaseline = 696;
constexpr int kBarTop = 716, kBarHeight = 14, kBarLine = 2;
constexpr int kSpeedBaseline = 786;
constexpr int kBannerTop = 1300, kBannerSize = 38, kBannerLineHeight = 54;
constexpr int kBannerBottomMargin = 12;  // below the last baseline: the letters' descent
constexpr int kPlayingWaitMs = 2000;
constexpr int kPauseSettleMs = 400;
constexpr int kStartPolls = 40;
constexpr auto kStartPoll = std::chrono::milliseconds(100);
constexpr size_t kErrHead = 64;
constexpr size_t kErrShortest = 12;
constexpr int kToastShortMs = 1200;
constexpr int kToastMs = 2200;
constexpr int kToastLongMs = 2600;

constexpr std::array<std::string_view, kAudioSpeeds.size()> kSpeedLabels = {"75%",  "100%", "125%", "150%",
                                                          "175%", "200%", "250%", "300%"};
constexpr std::array<std::string_view, kAudioTimerMinutes.size()> kTimerLabels = {"Off",    "5 min",  "15 min", "30 min",
                                                          "45 min", "60 min", "90 min"};

constexpr std::string_view kNoOutputText =
    "No sound output was found on this computer. Your place is saved.";
constexpr std::string_view kCannotDecodeText =
    "This file could not be played. It may be damaged or copy-protected.";
constexpr std::string_view kNameRefusedText =
    "This part cannot be bookmarked: its file name holds a tab or a line break.";

void toast_wait(std::string_view text, int timeout_ms) {
  ui_toast_wait(text.data(), text.size(), timeout_ms);
}

// The chapters the engine wrote for the part it opened last (at most 512).
std::vector<Chapter> read_chapters() {
  std::vector<Chapter> out;
  FilePtr f(qlp_fopen(kAudioChaptersPath, "r"));
  if (!f) return out;
  char line[1024];
  while (out.size() < ChapterTable::kMaxChapters && fgets(line, sizeof line, f.get())) {
    std::string_view l(line);
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.remove_suffix(1);
    if (l.empty()) continue;
    const SecondsLine parsed = audio_split_seconds_line(l);
    Chapter c;
    c.start = parsed.seconds;
    c.title = parsed.text;
    out.push_back(std::move(c));
  }
  return out;
}

class Player {
 public:
  explicit Player(AudioBook book) : book_(std::move(book)) {}
  void run();

 private:
  void follow_status();
  void draw() const;
  bool start_part(size_t index, double start, bool auto_advance);
  bool engine_has_this_part() const { return status_ && status_->path == book_.current_path(); }
  void send_seek(const char* command) const {
    if (ql_audio_alive() && engine_has_this_part()) ql_audio_cmd(command);
  }
  void play_pause();
  void parts_list();
  void chapters_list();
  void bookmarks_list();
  void bookmark_row(size_t index, const std::string& title);

  AudioBook book_;
  std::optional<AudioStatus> status_;
  double shown_pos_ = 0;
  double shown_dur_ = 0;
  bool shown_playing_ = false;
  long timer_left_ = 0;
};

void Player::follow_status() {
  status_ = audio_status_read();
  if (status_ && book_.folder_mode && status_->path != book_.current_path()) {
    // The engine went on to the next part by itself: follow it.
    if (std::optional<size_t> i = book_.find_part(status_->path)) {
      book_.current = *i;
      audio_part_remember(book_.current_path());
    }
  }
  const bool ours = engine_has_this_part();
  // A status without a running engine tells only where the last one was (after a kill, a place
  // past its last save, still "playing"); Play resumes from the part's saved place, so that is
  // the place shown.
  if (!ours) {
    shown_pos_ = 0;
  } else if (ql_audio_alive()) {
    shown_pos_ = status_->position;
  } else {
    shown_pos_ = audio_resume_position(book_.current_path(), status_->duration).value_or(0);
  }
  shown_dur_ = ours ? status_->duration : 0;
  shown_playing_ = ours && status_->playing == 1 && ql_audio_playing() == 1;
  timer_left_ = ours ? status_->timer_left : 0;
}

void draw_button(const PlayerGeometry& g, int k, int top, int height, int line,
                 std::string_view label, TextStyle face, int size, int baseline) {
  ql_frame(g.column_x(k) + 6, top, g.column - 12, height, line);
  std::string text(label);
  float tw = ql_measure(text.c_str(), face, static_cast<float>(size));
  ql_text(text.c_str(), face, static_cast<float>(size),
          static_cast<float>(g.column_x(k)) + (static_cast<float>(g.column) - tw) / 2,
          static_cast<float>(baseline));
}

void Player::draw() const {
  using G = PlayerGeometry;
  const G g(ql_fb().width, ql_fb().height);
  ui_draw_header("Audiobook");
  const std::string& path = book_.current_path();
  const std::string_view name = audio_path_name(path);
  ui_draw_cover_card(path.c_str(), path.size(), kAudioCoverKind, name.data(), name.size(),
                     g.cover_x, G::kCoverTop, G::kCoverSize, G::kCoverSize);
  const std::string_view stem = audio_name_without_extension(name);
  const int text_w = g.text_width();
  if (book_.folder_mode) {
    std::string title = "Part " + std::to_string(book_.current + 1) + " of " +
                        std::to_string(book_.parts.size()) + "  \xC2\xB7  " + std::string(stem);
    ui_draw_text_fit(title.c_str(), TS_BOLD, 40, g.left, g.y(kTitleBaseline), text_w);
  } else {
    ui_draw_text_fit(std::string(stem).c_str(), TS_BOLD, 54, g.left, g.y(kTitleBaseline), text_w);
  }
  std::string times = audio_format_hms(shown_pos_) + " / " + audio_format_hms(shown_dur_);
  ql_text(times.c_str(), TS_UI, 42, static_cast<float>(g.left), static_cast<float>(g.y(kTimeBaseline)));
  ql_frame(g.left, g.y(kBarTop), text_w, kBarHeight, kBarLine);
  if (shown_dur_ > 0) {
    int fill = static_cast<int>(std::min(shown_pos_ / shown_dur_, 1.0) * text_w);
    ql_rect(g.left, g.y(kBarTop), fill, kBarHeight, 0);
  }
  ql_mark(g.left, g.y(kBarTop), text_w, kBarHeight, MASK_ACCENT);
  std::string timer;
  if (shown_playing_ && timer_left_ >= 1) {
    timer = "Sleeps in " + std::to_string((timer_left_ + 59) / 60) + " min";
  } else if (settings.sleeptimer < 1) {
    timer = "Sleep timer off";
  } else {
    timer = "Sleep timer " + std::to_string(settings.sleeptimer) + " min";
  }
  std::string speed = "Speed " + std::to_string(settings.speed) + "%   \xC2\xB7   " + timer;
  ql_text(speed.c_str(), TS_UI, 42, static_cast<float>(g.left), static_cast<float>(g.y(kSpeedBaseline)));

  struct Row {
    int top, height, line;
    TextStyle face;
    int size, baseline;
    std::array<std::string_view, 3> labels;  // empty: no button
  };
  const std::string_view play = shown_playing_ ? "Pause" : "Play";
  const std::string_view first = book_.auto_advance() ? "Parts" : "Chapters";
  const Row rows[] = {
      {G::kRow1Top, G::kRow1Height, 3, TS_UI_BOLD, 54, 918, {"-30s", play, "+30s"}},
      {G::kRow2Top, G::kRowHeight, 2, TS_UI, 42, 1066, {first, "Bookmarks", "Speed"}},
      {G::kRow3Top, G::kRowHeight, 2, TS_UI, 42, 1194, {"Timer", "Stop", ""}}};
  for (const Row& r : rows)
    for (int k = 0; k < 3; k++)
      if (!r.labels[k].empty())
        draw_button(g, k, g.y(r.top), r.height, r.line, r.labels[k], r.face, r.size, g.y(r.baseline));
  // The banner keeps to the screen: a long list of skipped parts names as many as fit.
  const int last_baseline = ql_fb().height - kBannerBottomMargin;
  const auto fits = [&](std::string_view text) {
    const int lines = ui_wrap(text, ui_face(TS_BOLD), kBannerSize, static_cast<float>(text_w),
                              [](std::string_view, int) {});
    return g.y(kBannerTop) + (lines - 1) * kBannerLineHeight <= last_baseline;
  };
  if (std::optional<std::string> banner = audio_error_banner(book_, fits))
    ui_draw_wrapped(banner->data(), banner->size(), TS_BOLD, kBannerSize, g.left, g.y(kBannerTop),
                    text_w, kBannerLineHeight, last_baseline);
}

// Starts part `index` and waits (up to 4 s) until the engine plays it or has given up.
bool Player::start_part(size_t index, double start, bool auto_advance) {
  audio_clear_error();
  book_.current = index;
  const std::string& path = book_.current_path();
  if (!ql_audio_start(path.c_str(), settings.speed,
                      static_cast<uint32_t>(std::max(0, settings.sleeptimer)) * 60,
                      auto_advance ? 1 : 0, start)) {
    toast_wait("The player could not start.", kToastMs);
    return false;
  }
  if (book_.folder_mode) audio_part_remember(path);
  for (int i = 0; i < kStartPolls; i++) {
    std::optional<AudioStatus> s = audio_status_read();
    if (s && s->playing && s->path == path) break;
    struct stat st;
    if (qlp_stat(kAudioErrPath, &st) == 0) break;
    std::this_thread::sleep_for(kStartPoll);
  }
  return true;
}

void Player::play_pause() {
  if (shown_playing_) {
    ql_audio_cmd("pause");
    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseSettleMs));
  } else {
    start_part(book_.current, -1, book_.auto_advance());
  }
}

void Player::parts_list() {
  std::vector<std::string_view> rows;
  for (const std::string& p : book_.parts) rows.push_back(audio_path_name(p));
  constexpr std::string_view kTitle = "Parts";
  if (std::optional<size_t> i = ui_list_menu(kTitle.data(), kTitle.size(), rows))
    start_part(*i, -1, true);
}

void Player::chapters_list() {
  // The chapter file is the part the engine opened last; another book's chapters are not ours.
  std::vector<Chapter> chapters;
  if (status_ && status_->path == book_.current_path()) chapters = read_chapters();
  if (chapters.empty()) {
    toast_wait("This audiobook has no chapters. Press Play once if it has not played yet.",
               kToastLongMs);
    return;
  }
  std::vector<std::string> texts;
  for (const Chapter& c : chapters)
    texts.push_back(audio_format_list_row(audio_format_hms(c.start), c.title, kChapterRowBytes));
  std::vector<std::string_view> rows(texts.begin(), texts.end());
  constexpr std::string_view kTitle = "Chapters";
  std::optional<size_t> i = ui_list_menu(kTitle.data(), kTitle.size(), rows);
  if (!i) return;
  // Seek only inside this book: while another book plays, this one is started at the chapter.
  if (ql_audio_playing() && engine_has_this_part()) {
    ql_audio_cmd(audio_build_seekto_cmd(chapters[*i].start).c_str());
  } else {
    start_part(book_.current, chapters[*i].start, false);
  }
}

void Player::bookmarks_list() {
  const std::string key = book_.key_hex();
  std::vector<AudioBookmark> marks = audio_bookmarks_read(key);
  std::vector<std::string> texts = {"Add a bookmark at " + audio_format_hms(shown_pos_)};
  for (const AudioBookmark& m : marks)
    texts.push_back(audio_format_list_row(
        audio_format_hms(m.seconds), audio_name_without_extension(m.part_name), kBookmarkRowBytes));
  std::vector<std::string_view> rows(texts.begin(), texts.end());
  constexpr std::string_view kTitle = "Bookmarks";
  std::optional<size_t> i = ui_list_menu(kTitle.data(), kTitle.size(), rows);
  if (!i) return;
  if (*i == 0) {
    if (marks.size() >= kMaxAudioBookmarks) {
      toast_wait("40 bookmarks is the limit. Remove one first.", kToastMs);
      return;
    }
    switch (audio_bookmark_add(key, shown_pos_, audio_path_name(book_.current_path()))) {
      case BookmarkAdd::Saved:
        ui_report_save(ReaderWork::AudioBookmarks, true);
        toast_wait("Bookmark added", kToastShortMs);
        break;
      case BookmarkAdd::NameRefused: toast_wait(kNameRefusedText, kToastLongMs); break;
      case BookmarkAdd::WriteFailed: ui_report_save(ReaderWork::AudioBookmarks, false); break;
    }
    return;
  }
  bookmark_row(*i - 1, texts[*i]);
}

void Player::bookmark_row(size_t index, const std::string& title) {
  const std::string key = book_.key_hex();
  std::vector<AudioBookmark> marks = audio_bookmarks_read(key);
  if (index >= marks.size()) return;
  const AudioBookmark& m = marks[index];
  constexpr std::array<std::string_view, 2> kActions = {"Go there", "Remove this bookmark"};
  std::optional<size_t> action = ui_list_menu(title.c_str(), title.size(), kActions);
  if (!action) return;
  if (*action == 1) {
    ui_report_save(ReaderWork::AudioBookmarks, audio_bookmark_remove(key, index));
    return;
  }
  if (shown_playing_ && audio_path_name(book_.current_path()) == m.part_name) {
    ql_audio_cmd(audio_build_seekto_cmd(m.seconds).c_str());
    return;
  }
  std::optional<size_t> target = book_.find_part_named(m.part_name);
  if (!target) {
    toast_wait("That part is no longer in the folder.", kToastMs);
    return;
  }
  start_part(*target, m.seconds, book_.auto_advance());
}

void Player::run() {
  bool full = true;
  for (;;) {
    follow_status();
    draw();
    ui_present(full);
    full = false;
    TapEvent event;
    int32_t code = ui_wait_event_timed(event, shown_playing_ ? kPlayingWaitMs : 0);
    if (code == TAP_REDRAW) return;
    if (code != TAP_TOUCH) continue;
    const PlayerGeometry g(ql_fb().width, ql_fb().height);
    switch (player_button_at(g, static_cast<int>(event.x), static_cast<int>(event.y))) {
      case PlayerButton::Leave: return;
      case PlayerButton::Back30: send_seek("seek:-30"); break;
      case PlayerButton::Forward30: send_seek("seek:+30"); break;
      case PlayerButton::PlayPause: play_pause(); break;
      case PlayerButton::PartsOrChapters:
        if (book_.auto_advance()) {
          parts_list();
        } else {
          chapters_list();
        }
        break;
      case PlayerButton::Bookmarks: bookmarks_list(); break;
      case PlayerButton::Speed: audio_pick_speed(); break;
      case PlayerButton::Timer: audio_pick_sleep_timer(); break;
      case PlayerButton::Stop: ql_audio_stop(); break;
      case PlayerButton::None: break;
    }
  }
}
}  // namespace

PlayerButton player_button_at(const PlayerGeometry& g, int x, int y) {
  using G = PlayerGeometry;
  if (y < G::kHeaderBottom) return PlayerButton::Leave;
  if (g.column <= 0) return PlayerButton::None;
  const int dx = x - g.left;
  if (y >= g.y(G::kRow1TapTop) && y <= g.y(G::kRow1TapBottom)) {
    if (dx < 0) return PlayerButton::None;
    switch (dx / g.column) {
      case 0: return PlayerButton::Back30;
      case 1: return PlayerButton::PlayPause;
      case 2: return PlayerButton::Forward30;
      default: return PlayerButton::None;
    }
  }
  if (y >= g.y(G::kRows23TapTop) && y <= g.y(G::kRows23TapBottom)) {
    const int k = dx < 0 ? 0 : std::min(dx / g.column, 2);
    static constexpr PlayerButton kRow2[] = {PlayerButton::PartsOrChapters, PlayerButton::Bookmarks,
                                             PlayerButton::Speed};
    static constexpr PlayerButton kRow3[] = {PlayerButton::Timer, PlayerButton::Stop,
                                             PlayerButton::None};
    return y < g.y(G::kRow3TapTop) ? kRow2[k] : kRow3[k];
  }
  return PlayerButton::None;
}

std::string audio_format_hms(double seconds) {
  constexpr double kLongest = 1e15;  // far beyond any book, and within a long
  long s = seconds > 0 ? static_cast<long>(std::min(seconds, kLongest)) : 0;
  char buf[48];
  snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

std::string audio_format_list_row(std::string_view time, std::string_view label, size_t capacity) {
  std::string row = std::string(time) + "   " + std::string(label);
  return std::string(ui_utf8_prefix(row, capacity - 1));
}

namespace {
// The parts passed over, the first `shown` of them named: "“A” could not be played, so it was
// skipped. ...", "“A”, “B” and “C” could not ...", "“A” and 2 more parts could not ...".
std::string skipped_parts_text(const std::vector<std::string>& parts, size_t shown) {
  std::vector<std::string> items;
  for (size_t i = 0; i < shown; i++)
    items.push_back("\xE2\x80\x9C" +
                    std::string(audio_name_without_extension(audio_path_name(parts[i]))) +
                    "\xE2\x80\x9D");
  if (const size_t more = parts.size() - shown)
    items.push_back(std::to_string(more) + (more == 1 ? " more part" : " more parts"));
  std::string list = items[0];
  for (size_t i = 1; i < items.size(); i++)
    list += (i + 1 == items.size() ? " and " : ", ") + items[i];
  if (parts.size() == 1)
    return list + " could not be played, so it was skipped. It may be damaged or copy-protected.";
  return list +
         " could not be played, so they were skipped. They may be damaged or copy-protected.";
}
}  // namespace

// A note about another audiobook, or one that names no part, says nothing of this one.
std::optional<std::string> audio_error_banner(const AudioBook& book,
                                              const std::function<bool(std::string_view)>& fits) {
  const std::vector<std::string> parts = audio_error_parts();
  const auto of_book = [&](const std::string& part) {
    return book.find_part(part) || (book.folder_mode && audio_path_folder(part) == book.folder);
  };
  if (std::none_of(parts.begin(), parts.end(), of_book)) return std::nullopt;
  FilePtr f(qlp_fopen(kAudioErrPath, "rb"));
  if (!f) return std::nullopt;
  char head[kErrHead];
  size_t n = fread(head, 1, sizeof head, f.get());
  std::string_view note(head, n);
  if (n <= kErrShortest || !note.starts_with("cannot-decode")) return std::string(kNoOutputText);
  if (parts.size() == 1 && parts[0] == book.current_path()) return std::string(kCannotDecodeText);
  // Parts passed over while the book played on: each named, as many as the banner holds.
  size_t shown = parts.size();
  std::string text = skipped_parts_text(parts, shown);
  while (shown > 1 && !fits(text)) text = skipped_parts_text(parts, --shown);
  return text;
}

std::string audio_build_seekto_cmd(double seconds) {
  char buf[64];
  snprintf(buf, sizeof buf, "seekto:%.1f", seconds);
  return buf;
}

void audio_player_screen(AudioBook book) {
  if (book.parts.empty()) return;
  Player(std::move(book)).run();
}

void audio_pick_speed() {
  constexpr std::string_view kTitle = "Speed";
  std::optional<size_t> i = ui_list_menu(kTitle.data(), kTitle.size(), kSpeedLabels);
  if (!i) return;
  settings.speed = kAudioSpeeds[*i];
  qls_save(settings);
  ql_audio_cmd(("speed:" + std::to_string(settings.speed)).c_str());
}

void audio_pick_sleep_timer() {
  constexpr std::string_view kTitle = "Sleep timer";
  std::optional<size_t> i = ui_list_menu(kTitle.data(), kTitle.size(), kTimerLabels);
  if (!i) return;
  settings.sleeptimer = kAudioTimerMinutes[*i];
  qls_save(settings);
  ql_audio_cmd(("timer:" + std::to_string(settings.sleeptimer * 60)).c_str());
}
