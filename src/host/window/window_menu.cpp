// The window's menu: adding books or book folders through the desktop's file chooser, showing the
// library folder in the file manager, closing and quitting.
#include "base/file_kinds.h"
#include "base/paths.h"
#include "base/utf8.h"
#include "host/add_books.h"
#include "host/main_thread.h"
#include "host/window/window_gtk.h"
#include "host/window_menu_labels.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// "*.[eE][pP][uU][bB]" for ".epub": file choosers compare patterns with case.
std::string any_case_pattern(std::string_view ext) {
  std::string p = "*";
  for (const char c : ext) {
    if (ascii_alpha(c)) {
      p += '[';
      p += c;
      p += ascii_upper(c);
      p += ']';
    } else {
      p += c;
    }
  }
  return p;
}

void chooser_response(GtkNativeDialog* dialog, gint response, gpointer) {
  if (response == GTK_RESPONSE_ACCEPT) {
    std::vector<std::string> paths;
    GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
    for (GSList* f = files; f; f = f->next) {
      paths.emplace_back(static_cast<char*>(f->data));
    }
    g_slist_free_full(files, g_free);
    add_books(paths);
  }
  g_object_unref(dialog);
}

void show_library_folder(GtkWindow* parent) {
  char buf[kQlPathMax];
  const char* documents = ql_path("/mnt/us/documents", buf, sizeof buf);
  gchar* uri = g_filename_to_uri(documents, nullptr, nullptr);
  if (!uri) return;
  GError* error = nullptr;
  if (!gtk_show_uri_on_window(parent, uri, GDK_CURRENT_TIME, &error)) {
    fprintf(stderr, "quillo: cannot show %s: %s\n", documents, error->message);
    g_error_free(error);
  }
  g_free(uri);
}

GtkWidget* add_item(GtkWidget* menu, GtkAccelGroup* accel, const char* label, guint key,
                    GdkModifierType mods, void (*action)(GtkWindow*), GtkWindow* window) {
  GtkWidget* item = gtk_menu_item_new_with_label(label);
  if (key) gtk_widget_add_accelerator(item, "activate", accel, key, mods, GTK_ACCEL_VISIBLE);
  g_signal_connect_swapped(item, "activate", G_CALLBACK(action), window);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  return item;
}

}  // namespace

void window_choose_books(GtkWindow* parent, bool folders) {
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new(
      folders ? "Add Book Folder" : "Add Books", parent,
      folders ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN, "_Add",
      "_Cancel");
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_select_multiple(chooser, TRUE);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  if (!folders) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Books and audiobooks");
    for (const FileKindRow& row : file_kind_table()) {
      if (row.views & kViewDrop) gtk_file_filter_add_pattern(filter, any_case_pattern(row.extension).c_str());
    }
    gtk_file_chooser_add_filter(chooser, filter);
  }
  g_signal_connect(dialog, "response", G_CALLBACK(chooser_response), nullptr);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
}

GtkWidget* window_menu_bar(GtkWindow* window) {
  GtkAccelGroup* accel = gtk_accel_group_new();
  gtk_window_add_accel_group(window, accel);
  GtkWidget* bar = gtk_menu_bar_new();
  GtkWidget* file = gtk_menu_item_new_with_mnemonic("_File");
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(file), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), file);

  const auto ctrl = GDK_CONTROL_MASK;
  const auto ctrl_shift = GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK);
  add_item(menu, accel, kMenuAddBooks, GDK_KEY_o, ctrl,
           [](GtkWindow* w) { window_choose_books(w, false); }, window);
  add_item(menu, accel, kMenuAddBookFolder, GDK_KEY_o, ctrl_shift,
           [](GtkWindow* w) { window_choose_books(w, true); }, window);
  add_item(menu, accel, kMenuShowLibraryFolder, 0, ctrl, show_library_folder, window);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
  // Closing the only window ends the program, so both go through the core's quit.
  add_item(menu, accel, "Close", GDK_KEY_w, ctrl, [](GtkWindow*) { host_request_quit(); }, window);
  add_item(menu, accel, "Quit", GDK_KEY_q, ctrl, [](GtkWindow*) { host_request_quit(); }, window);
  return bar;
}
