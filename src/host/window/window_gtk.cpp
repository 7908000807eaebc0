// The GTK window: shows the presented frame scaled into a letterboxed 1072:1448 area, turns the
// mouse and keys into pointer events, takes dropped files and folders, and quits through the
// core so that it can save first. Also the message box of a start that does not go on.
#include "host/window/window_gtk.h"

#include "host/add_books.h"
#include "host/front_end.h"
#include "host/host_queue.h"
#include "host/main_thread.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <glib-unix.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kViewW = 536;
constexpr int kViewH = 724;
constexpr int kMinViewW = 300;
constexpr int kMinViewH = 405;

struct Window {
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  FrameRows rows;                    // the presented frame as last taken
  cairo_surface_t* image = nullptr;  // its colour form, ready to draw
  bool dark = false;
  bool pointer_down = false;
  int last_x = 0, last_y = 0;  // frame point of the last pointer event
};

Window win;
std::atomic<bool> frame_waiting{false};

struct Fit {
  double x, y, w, h;  // where the frame is shown inside the drawing area
};

// The largest rectangle of the frame's aspect that fits, centred; the rest is a letterbox band.
Fit fit_frame(int aw, int ah) {
  int fw, fh;
  host_frame_size(&fw, &fh);
  const double scale = std::min(double(aw) / fw, double(ah) / fh);
  const double w = fw * scale, h = fh * scale;
  return {(aw - w) / 2, (ah - h) / 2, w, h};
}

// Brings the drawable image up to date with the presented frame (main thread, after a present):
// the rows that changed since the last look are turned into colour, straight into the image.
gboolean take_new_frame(gpointer) {
  frame_waiting.store(false);
  FrameRows& rows = win.rows;
  if (!host_take_rows(rows)) return G_SOURCE_REMOVE;
  if (!win.image || cairo_image_surface_get_width(win.image) != rows.w ||
      cairo_image_surface_get_height(win.image) != rows.h) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, rows.w, rows.h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      return G_SOURCE_REMOVE;
    }
    if (win.image) cairo_surface_destroy(win.image);
    win.image = s;
    std::fill(rows.changed.begin(), rows.changed.end(), 1);  // a new image has every row to fill
  }
  cairo_surface_flush(win.image);
  host_rows_to_xrgb(rows, cairo_image_surface_get_data(win.image),
                    static_cast<size_t>(cairo_image_surface_get_stride(win.image)));
  cairo_surface_mark_dirty(win.image);
  win.dark = rows.dark;
  if (win.area) gtk_widget_queue_draw(win.area);
  return G_SOURCE_REMOVE;
}

// Called on the core thread after each present: one redraw request at a time.
void on_present() {
  if (!frame_waiting.exchange(true)) g_idle_add(take_new_frame, nullptr);
}

gboolean draw_area(GtkWidget* area, cairo_t* cr, gpointer) {
  const int aw = gtk_widget_get_allocated_width(area);
  const int ah = gtk_widget_get_allocated_height(area);
  // Paper colour before the first frame and around a letterboxed one.
  if (win.dark) {
    cairo_set_source_rgb(cr, 29 / 255.0, 41 / 255.0, 37 / 255.0);
  } else {
    cairo_set_source_rgb(cr, 236 / 255.0, 238 / 255.0, 238 / 255.0);
  }
  cairo_paint(cr);
  if (!win.image) return TRUE;
  const Fit f = fit_frame(aw, ah);
  cairo_translate(cr, f.x, f.y);
  cairo_scale(cr, f.w / cairo_image_surface_get_width(win.image),
              f.h / cairo_image_surface_get_height(win.image));
  cairo_set_source_surface(cr, win.image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  return TRUE;
}

void send_pointer(uint32_t type, double px, double py) {
  const Fit f = fit_frame(gtk_widget_get_allocated_width(win.area),
                          gtk_widget_get_allocated_height(win.area));
  host_map_view_point(px - f.x, py - f.y, f.w, f.h, &win.last_x, &win.last_y);
  host_push(type, win.last_x, win.last_y);
}

gboolean button_press(GtkWidget*, GdkEventButton* e, gpointer) {
  // Double clicks also arrive as two plain presses; the extra event is not a touch.
  if (e->button != GDK_BUTTON_PRIMARY || e->type != GDK_BUTTON_PRESS) return FALSE;
  win.pointer_down = true;
  send_pointer(HOST_POINTER_DOWN, e->x, e->y);
  return TRUE;
}

gboolean motion(GtkWidget*, GdkEventMotion* e, gpointer) {
  if (!win.pointer_down) return FALSE;
  send_pointer(HOST_POINTER_MOVE, e->x, e->y);
  return TRUE;
}

gboolean button_release(GtkWidget*, GdkEventButton* e, gpointer) {
  if (e->button != GDK_BUTTON_PRIMARY || !win.pointer_down) return FALSE;
  win.pointer_down = false;
  send_pointer(HOST_POINTER_UP, e->x, e->y);
  return TRUE;
}

// A press whose release the window will never see (focus or grab taken away, the window hidden)
// still ends, or
// every wait for the end of the gesture would hang.
void end_lost_press() {
  if (!win.pointer_down) return;
  win.pointer_down = false;
  host_push(HOST_POINTER_UP, win.last_x, win.last_y);
}

gboolean grab_broken(GtkWidget*, GdkEvent*, gpointer) {
  end_lost_press();
  return FALSE;
}

gboolean focus_out(GtkWidget*, GdkEventFocus*, gpointer) {
  end_lost_press();
  return FALSE;
}

gboolean unmapped(GtkWidget*, GdkEvent*, gpointer) {
  end_lost_press();
  return FALSE;
}

gboolean key_press(GtkWidget*, GdkEventKey* e, gpointer) {
  // Shortcuts with a modifier belong to the menu.
  if (e->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK)) return FALSE;
  // The screen that waits decides where a page key taps, if anywhere.
  switch (e->keyval) {
    case GDK_KEY_Page_Down:
    case GDK_KEY_Right:
    case GDK_KEY_Down:
    case GDK_KEY_space:
      host_push(HOST_PAGE_KEY, 1, 0);
      return TRUE;
    case GDK_KEY_Page_Up:
    case GDK_KEY_Left:
    case GDK_KEY_Up:
      host_push(HOST_PAGE_KEY, 0, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

// The drop itself asks for the file list; its arrival below answers whether anything was taken
// (the copying goes on after the answer, on a thread of its own).
gboolean drag_drop(GtkWidget* area, GdkDragContext* context, gint, gint, guint time, gpointer) {
  gtk_drag_get_data(area, context, gdk_atom_intern_static_string("text/uri-list"), time);
  return TRUE;
}

void drag_received(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* data,
                   guint, guint time, gpointer) {
  std::vector<std::string> paths;
  if (gchar** uris = gtk_selection_data_get_uris(data)) {
    for (gchar** u = uris; *u; u++) {
      if (gchar* path = g_filename_from_uri(*u, nullptr, nullptr)) {
        paths.emplace_back(path);
        g_free(path);
      }
    }
    g_strfreev(uris);
  }
  const bool added = !paths.empty() && add_books(paths) >= 1;
  gtk_drag_finish(context, added, FALSE, time);
}

gboolean close_requested(GtkWidget*, GdkEvent*, gpointer) {
  host_request_quit();
  return TRUE;  // the window stays until the core has saved and ended the process
}

gboolean quit_signal(gpointer) {
  host_request_quit();
  return G_SOURCE_CONTINUE;
}

gboolean run_posted_tasks(gpointer) {
  host_run_tasks();
  return G_SOURCE_REMOVE;
}

void wake_main_loop() { g_idle_add(run_posted_tasks, nullptr); }

void import_books() { window_choose_books(GTK_WINDOW(win.window), false); }

// Window size and hints: the drawing area starts at 536 x 724 below the menu bar, keeps about the
// frame's aspect where the window manager honours it, and never gets smaller than 300 x 405.
void size_window(GtkWidget* menu) {
  int menu_h = 0;
  gtk_widget_get_preferred_height(menu, nullptr, &menu_h);
  gtk_window_set_default_size(GTK_WINDOW(win.window), kViewW, kViewH + menu_h);
  GdkGeometry hints = {};
  hints.min_width = kMinViewW;
  hints.min_height = kMinViewH + menu_h;
  hints.min_aspect = hints.max_aspect = double(kViewW) / (kViewH + menu_h);
  gtk_window_set_geometry_hints(GTK_WINDOW(win.window), nullptr, &hints,
                                GdkWindowHints(GDK_HINT_MIN_SIZE | GDK_HINT_ASPECT));
}

}  // namespace

bool quillo_window_init(int* argc, char*** argv) {
  // GTK would set the process's locale from the user's, and the state files the core writes with
  // printf ("12.5" in a position or status file) would then read "12,5" under a comma locale.
  gtk_disable_setlocale();
  if (!gtk_init_check(argc, argv)) return false;
  window_follow_appearance();
  host_set_task_waker(wake_main_loop);
  host_set_import_handler(import_books);
  host_set_present_hook(on_present);

  win.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(win.window), kProductName);
  gtk_window_set_position(GTK_WINDOW(win.window), GTK_WIN_POS_CENTER);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* menu = window_menu_bar(GTK_WINDOW(win.window));
  win.area = gtk_drawing_area_new();
  gtk_widget_set_can_focus(win.area, TRUE);
  gtk_widget_add_events(win.area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                      GDK_BUTTON1_MOTION_MASK | GDK_FOCUS_CHANGE_MASK);
  gtk_box_pack_start(GTK_BOX(box), menu, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), win.area, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(win.window), box);
  gtk_widget_show_all(box);  // hidden widgets measure as nothing
  size_window(menu);

  g_signal_connect(win.area, "draw", G_CALLBACK(draw_area), nullptr);
  g_signal_connect(win.area, "button-press-event", G_CALLBACK(button_press), nullptr);
  g_signal_connect(win.area, "motion-notify-event", G_CALLBACK(motion), nullptr);
  g_signal_connect(win.area, "button-release-event", G_CALLBACK(button_release), nullptr);
  g_signal_connect(win.area, "grab-broken-event", G_CALLBACK(grab_broken), nullptr);
  g_signal_connect(win.window, "focus-out-event", G_CALLBACK(focus_out), nullptr);
  g_signal_connect(win.window, "unmap-event", G_CALLBACK(unmapped), nullptr);
  g_signal_connect(win.window, "key-press-event", G_CALLBACK(key_press), nullptr);
  g_signal_connect(win.window, "delete-event", G_CALLBACK(close_requested), nullptr);

  static GtkTargetEntry uri_target = {const_cast<gchar*>("text/uri-list"), 0, 0};
  gtk_drag_dest_set(win.area, GtkDestDefaults(GTK_DEST_DEFAULT_MOTION | GTK_DEST_DEFAULT_HIGHLIGHT),
                    &uri_target, 1, GDK_ACTION_COPY);
  g_signal_connect(win.area, "drag-drop", G_CALLBACK(drag_drop), nullptr);
  g_signal_connect(win.area, "drag-data-received", G_CALLBACK(drag_received), nullptr);

  g_unix_signal_add(SIGINT, quit_signal, nullptr);
  g_unix_signal_add(SIGTERM, quit_signal, nullptr);

  gtk_widget_show_all(win.window);
  gtk_widget_grab_focus(win.area);
  gtk_window_present(GTK_WINDOW(win.window));
  return true;
}

bool quillo_window_alert(int* argc, char*** argv, const char* text) {
  if (!gtk_init_check(argc, argv)) return false;
  GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                          GTK_BUTTONS_CLOSE, "%s", text);
  gtk_window_set_title(GTK_WINDOW(box), kProductName);
  gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  return true;
}

void quillo_window_run() {
  gtk_main();
  // The main loop ends only through gtk_main_quit, which nothing calls; the core ends the process.
  for (;;) pause();
}
