// The GTK window under Xvfb: its size, a mouse click and a key reaching the core, a book added the
// way a drop adds it, the window's pixels showing the presented frame, and quitting. Skipped when
// Xvfb or xdotool is missing.
#include "support/event_ceiling.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gtk/gtk.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kViewW = 536;
constexpr int kViewH = 724;

// GTK serves one thread of a process; ctest runs each test in a process of its own, but a direct
// run of every test shares one. The first windowed test takes GTK, later ones skip.
bool claim_gtk() {
  static std::atomic<bool> claimed{false};
  return !claimed.exchange(true);
}

bool have(const char* tool) {
  return system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Output of a shell command, with the display set.
std::string run(const std::string& display, const std::string& cmd) {
  std::string full = "DISPLAY=" + display + " " + cmd + " 2>/dev/null";
  std::string out;
  if (FILE* p = popen(full.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

// A private X server; its display number is chosen by the server itself.
class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = start_program("Xvfb", {"-displayfd", std::to_string(fds[1]), "-screen", "0",
                                  "1280x1024x24", "-nolisten", "tcp"}, {});
    close(fds[1]);
    char buf[16] = {};
    if (pid_ > 0 && read(fds[0], buf, sizeof buf - 1) > 0) {
      display_ = std::string(":").append(std::to_string(atoi(buf)));
    }
    close(fds[0]);
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// The id of the mapped window with this title; empty when the process `*pid` (when given) ended
// first, which then becomes -1.
std::string wait_for_window(const std::string& display, const std::string& title,
                            int* pid = nullptr) {
  const auto deadline = Clock::now() + kEventCeiling;
  while (Clock::now() < deadline) {
    const std::string id = run(display, "xdotool search --onlyvisible --name '^" + title + "$'");
    if (!id.empty()) return id.substr(0, id.find('\n'));
    if (pid && waitpid(*pid, nullptr, WNOHANG) == *pid) {
      *pid = -1;
      return "";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "";
}

struct Geometry {
  int x = 0, y = 0, w = 0, h = 0;
};

Geometry window_geometry(const std::string& display, const std::string& id) {
  Geometry g;
  const std::string out = run(display, "xdotool getwindowgeometry --shell " + id);
  sscanf(out.c_str(), "WINDOW=%*d\nX=%d\nY=%d\nWIDTH=%d\nHEIGHT=%d", &g.x, &g.y, &g.w, &g.h);
  return g;
}

bool wait_for_file(const std::string& path) {
  const auto deadline = Clock::now() + kEventCeiling;
  while (Clock::now() < deadline) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// The screen's pixels of the given rectangle, grabbed through GDK on the test's own connection.
struct Shot {
  GdkPixbuf* pixbuf = nullptr;
  ~Shot() {
    if (pixbuf) g_object_unref(pixbuf);
  }
  bool rgb_at(int x, int y, int* r, int* g, int* b) const {
    if (!pixbuf || x < 0 || y < 0 || x >= gdk_pixbuf_get_width(pixbuf) ||
        y >= gdk_pixbuf_get_height(pixbuf)) {
      return false;
    }
    const guchar* p = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
                      x * gdk_pixbuf_get_n_channels(pixbuf);
    *r = p[0];
    *g = p[1];
    *b = p[2];
    return true;
  }
};

bool grab(const std::string& display, const Geometry& area, Shot* shot) {
  static GdkDisplay* connection = nullptr;
  if (!connection) {
    // Only this test talks to a display from the test process; this one is private.
    setenv("DISPLAY", display.c_str(), 1);
    gdk_set_allowed_backends("x11");
    if (!gdk_init_check(nullptr, nullptr)) return false;
    connection = gdk_display_get_default();
  }
  if (!connection) return false;
  GdkWindow* root = gdk_screen_get_root_window(gdk_display_get_default_screen(connection));
  shot->pixbuf = gdk_pixbuf_get_from_window(root, area.x, area.y, area.w, area.h);
  if (const char* keep = getenv("QL_KEEP_WINDOW_SHOT"); keep && shot->pixbuf) {
    gdk_pixbuf_save(shot->pixbuf, keep, "png", nullptr, nullptr);
  }
  return shot->pixbuf != nullptr;
}

// Lines of the core's timing log that record a presented frame.
int presents(const std::string& tmp_parent) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(tmp_parent)) {
    const std::string log = read_file(e.path() / "ql-timing.log");
    for (size_t at = log.find("present "); at != std::string::npos; at = log.find("present ", at + 1)) {
      n++;
    }
  }
  return n;
}

// Waits until the core has presented more than `after` frames.
bool wait_for_present(const std::string& tmp_parent, int after) {
  const auto deadline = Clock::now() + kEventCeiling;
  while (Clock::now() < deadline) {
    if (presents(tmp_parent) > after) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace

// The program in a window on the private display, with a data folder, an empty script, the
// timing log and no desktop services; each test ends it through Quit, and it is killed only
// when a test stopped before that.
struct WindowedProgram {
  TempDir dir;
  std::string script = dir / "script";
  std::string data = dir / "data";
  std::string tmp = dir / "tmp";
  int pid = -1;
  std::string id;  // the X window

  explicit WindowedProgram(const std::string& display) {
    fs::create_directories(tmp);
    write_file(script, "");
    pid = start_program(QL_TEST_QUILLO, {},
                        {{"DISPLAY", display},
                         {"CVNL_DATA", data},
                         {"CVNL_TEST", script},
                         {"TMPDIR", tmp},
                         {"QL_TIMING", "1"},
                         {"GDK_BACKEND", "x11"},
                         {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                         {"NO_AT_BRIDGE", "1"}});
    // No window manager here: the window is found by its title once it is mapped (input sent
    // before that is lost), and never activated.
    id = wait_for_window(display, "Corvell Nalo", &pid);
  }
  ~WindowedProgram() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // Waits for the end after a quit was asked: the core ends the process with status 0, and a
  // leak the sanitizer finds at exit makes that status 1.
  void expect_clean_exit() {
    const ProgramResult res = wait_program(pid, kEventCeilingMs);
    pid = -1;
    EXPECT_FALSE(res.timed_out);
    EXPECT_EQ(res.status, 0);
  }
  // Quit through the script (keys need a window that has kept its focus).
  void quit_by_script() {
    write_file(script, "quit\n");
    expect_clean_exit();
  }
};

// A private display with the program's window on it. A program that ends before its window
// appears found no display (its server went away under it on a crowded machine): both start again
// on a fresh display, a few times at most.
struct Desktop {
  std::unique_ptr<Xvfb> x;
  std::unique_ptr<WindowedProgram> p;

  Desktop() {
    for (int attempt = 0; attempt < 3; attempt++) {
      p.reset();
      x = std::make_unique<Xvfb>();
      if (x->display().empty()) continue;
      p = std::make_unique<WindowedProgram>(x->display());
      if (!p->id.empty()) return;
    }
  }
  bool ready() const { return x && !x->display().empty() && p && !p->id.empty(); }
};

TEST(Window, OpensShowsFramesAndTakesInput) {
  if (!have("Xvfb") || !have("xdotool")) GTEST_SKIP() << "Xvfb and xdotool are needed";
  if (!claim_gtk()) GTEST_SKIP() << "GTK is in use by another test of this process";
  Desktop desktop;
  ASSERT_TRUE(desktop.ready()) << "Xvfb did not start or the window did not appear";
  const Xvfb& x = *desktop.x;
  WindowedProgram& p = *desktop.p;
  const std::string& id = p.id;
  const std::string& tmp = p.tmp;
  const std::string& data = p.data;
  const std::string& script = p.script;
  TempDir dir;
  write_file(dir / "Added.epub", "book");
  write_file(script, "idle\n");
  ASSERT_TRUE(wait_for_present(tmp, 0)) << "no frame was presented";
  const Geometry win = window_geometry(x.display(), id);
  // The frame's area is 536 x 724 below the menu bar.
  EXPECT_EQ(win.w, kViewW);
  const int menu_h = win.h - kViewH;
  EXPECT_GT(menu_h, 10);
  EXPECT_LT(menu_h, 80);

  // A click, then a key: the core wakes for each and presents a new frame.
  int before = presents(tmp);
  const std::string spot = std::to_string(kViewW / 2) + " " + std::to_string(menu_h + kViewH - 20);
  run(x.display(), "xdotool mousemove --window " + id + " " + spot + " click 1");
  EXPECT_TRUE(wait_for_present(tmp, before)) << "the click did not reach the core";
  before = presents(tmp);
  run(x.display(), "xdotool key --window " + id + " Right");
  EXPECT_TRUE(wait_for_present(tmp, before)) << "the key did not reach the core";

  // A book added the way a drop adds it.
  const std::string ppm = dir / "frame.ppm";
  write_file(script, "idle\ndrop " + dir / "Added.epub" + "\nidle\nwait 300\nidle\nshotc " + ppm +
                         "\n");
  ASSERT_TRUE(wait_for_file(data + "/documents/Added.epub"));
  EXPECT_EQ(read_file(data + "/documents/Added.epub"), "book");
  ASSERT_TRUE(wait_for_file(ppm));

  // The window shows the presented frame at half scale: compare it with the frame averaged over
  // 2 x 2 blocks, until the window has drawn it.
  const std::string frame = read_file(ppm);
  const size_t head = std::string("P6\n1072 1448\n255\n").size();
  ASSERT_EQ(frame.size(), head + 1072 * 1448 * 3);
  double mean_diff = 255;
  int dark_samples = 0;
  for (const auto deadline = Clock::now() + kEventCeiling;
       mean_diff >= 6.0 && Clock::now() < deadline;) {
    Shot shot;
    ASSERT_TRUE(grab(x.display(), {win.x, win.y + menu_h, kViewW, kViewH}, &shot));
    double diff = 0;
    int samples = 0;
    dark_samples = 0;
    for (int y = 4; y < kViewH - 4; y += 3) {
      for (int xx = 4; xx < kViewW - 4; xx += 3) {
        int rgb[3];
        ASSERT_TRUE(shot.rgb_at(xx, y, &rgb[0], &rgb[1], &rgb[2]));
        for (int c = 0; c < 3; c++) {
          int sum = 0;
          for (int dy = 0; dy < 2; dy++) {
            for (int dx = 0; dx < 2; dx++) {
              sum += uint8_t(frame[head + ((size_t(2 * y + dy) * 1072) + 2 * xx + dx) * 3 + c]);
            }
          }
          diff += std::abs(rgb[c] - sum / 4.0);
        }
        dark_samples += rgb[0] < 128 ? 1 : 0;
        samples++;
      }
    }
    mean_diff = diff / (samples * 3);
  }
  EXPECT_LT(mean_diff, 6.0) << "the window does not show the presented frame";
  EXPECT_GT(dark_samples, 0) << "the frame shows nothing but paper";

  // Quitting from the keyboard goes through the core like the menu's Quit.
  run(x.display(), "xdotool key --window " + id + " ctrl+q");
  p.expect_clean_exit();
}

TEST(Window, PressCutOffByHidingTheWindowStillEnds) {
  if (!have("Xvfb") || !have("xdotool")) GTEST_SKIP() << "Xvfb and xdotool are needed";
  Desktop desktop;
  ASSERT_TRUE(desktop.ready()) << "Xvfb did not start or the window did not appear";
  const Xvfb& x = *desktop.x;
  WindowedProgram& p = *desktop.p;
  ASSERT_TRUE(wait_for_present(p.tmp, 0));
  const Geometry win = window_geometry(x.display(), p.id);
  const int before = presents(p.tmp);
  // Pressed, then the window goes away under the pointer: its release is never seen.
  run(x.display(), "xdotool mousemove --window " + p.id + " 268 " +
                       std::to_string(win.h - 20) + " mousedown 1 sleep 0.3 windowunmap --sync " +
                       p.id + " sleep 0.3 mouseup 1 windowmap --sync " + p.id);
  // The front end ends the press itself, so the core's wait for the end of the gesture is over.
  EXPECT_TRUE(wait_for_present(p.tmp, before)) << "the cut-off press never ended";
  p.quit_by_script();
}

namespace {

// A small GTK window of this test process that offers one file for dragging, with its own main
// loop on a thread of its own (the only thread here that touches GTK). It counts the drags that
// ended and tells whether the last one failed.
class DragSource {
 public:
  DragSource(const std::string& display, const std::string& file) : file_(file) {
    setenv("DISPLAY", display.c_str(), 1);
    // No accessibility bridge, as for the program: it would open a session bus for nothing.
    setenv("NO_AT_BRIDGE", "1", 1);
    thread_ = std::thread([this] { run(); });
  }
  ~DragSource() {
    g_idle_add([](gpointer) -> gboolean {
      gtk_main_quit();
      return G_SOURCE_REMOVE;
    }, nullptr);
    thread_.join();
  }

 private:
  void run() {
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) return;
    GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(w), "drag source");
    gtk_window_set_default_size(GTK_WINDOW(w), 200, 200);
    gtk_window_move(GTK_WINDOW(w), 900, 100);
    GtkWidget* box = gtk_event_box_new();
    gtk_container_add(GTK_CONTAINER(w), box);
    static GtkTargetEntry uris = {const_cast<gchar*>("text/uri-list"), 0, 0};
    gtk_drag_source_set(box, GDK_BUTTON1_MASK, &uris, 1, GDK_ACTION_COPY);
    g_signal_connect(box, "drag-data-get", G_CALLBACK(provide_uri), this);
    g_signal_connect(box, "drag-failed", G_CALLBACK(drag_failed), this);
    g_signal_connect(box, "drag-end", G_CALLBACK(drag_ended), this);
    gtk_widget_show_all(w);
    gtk_main();
  }

  static void provide_uri(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint,
                          gpointer self) {
    gchar* uri = g_filename_to_uri(static_cast<DragSource*>(self)->file_.c_str(), nullptr, nullptr);
    gchar* list[] = {uri, nullptr};
    gtk_selection_data_set_uris(data, list);
    g_free(uri);
  }

  static gboolean drag_failed(GtkWidget*, GdkDragContext*, GtkDragResult, gpointer self) {
    static_cast<DragSource*>(self)->failed_ = true;
    return FALSE;
  }
  static void drag_ended(GtkWidget*, GdkDragContext*, gpointer self) {
    static_cast<DragSource*>(self)->ended_++;
  }

 public:
  int drags_ended() const { return ended_.load(); }
  bool last_failed() const { return failed_.load(); }
  void forget_failure() { failed_ = false; }

 private:
  std::string file_;
  std::thread thread_;
  std::atomic<int> ended_{0};
  std::atomic<bool> failed_{false};
};

}  // namespace

TEST(Window, DroppedFileIsAdded) {
  if (!have("Xvfb") || !have("xdotool")) GTEST_SKIP() << "Xvfb and xdotool are needed";
  if (!claim_gtk()) GTEST_SKIP() << "GTK is in use by another test of this process";
  Desktop desktop;
  ASSERT_TRUE(desktop.ready()) << "Xvfb did not start or the window did not appear";
  const Xvfb& x = *desktop.x;
  WindowedProgram& p = *desktop.p;
  TempDir dir;
  write_file(dir / "Dragged Book.epub", "dragged");
  write_file(dir / "notes.docx", "not a book");
  DragSource source(x.display(), dir / "Dragged Book.epub");
  ASSERT_FALSE(wait_for_window(x.display(), "drag source").empty())
      << "the drag source did not appear";
  const Geometry target = window_geometry(x.display(), p.id);
  // Press on the source, move in steps (a drag starts past a threshold), release over the frame.
  std::string moves = "xdotool mousemove 1000 200 mousedown 1";
  for (int i = 1; i <= 10; i++) {
    moves += " sleep 0.05 mousemove " + std::to_string(1000 - i * (1000 - target.x - 268) / 10) +
             " " + std::to_string(200 + i * (target.y + 400 - 200) / 10);
  }
  moves += " sleep 0.3 mouseup 1";
  // On a busy machine the release may come before the window has answered the drag, which the
  // source then gives up: that drag is made again.
  for (int attempt = 0; attempt < 3; attempt++) {
    const int ended = source.drags_ended();
    source.forget_failure();
    run(x.display(), moves);
    const auto deadline = Clock::now() + kEventCeiling;
    while (source.drags_ended() == ended && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_GT(source.drags_ended(), ended) << "the drag never ended";
    if (!source.last_failed()) break;
  }
  ASSERT_TRUE(wait_for_file(p.data + "/documents/Dragged Book.epub"))
      << "the dropped book was not added";
  EXPECT_EQ(read_file(p.data + "/documents/Dragged Book.epub"), "dragged");
  p.quit_by_script();
}

#endif  // QL_TEST_QUILLO
