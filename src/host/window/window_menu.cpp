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
#include <memory>
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

// Says on the window why the library folder did not open, and where it is, to be opened by hand.
void say_folder_not_shown(GtkWindow* parent, const char* why, const char* folder) {
  GtkWidget* box = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          GTK_MESSAGE_INFO, GTK_BUTTONS_CLOSE, "%s", why);
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "The library folder is %s", folder);
  gtk_window_set_title(GTK_WINDOW(box), kProductName);
  // The path can be selected and copied.
  gtk_container_foreach(GTK_CONTAINER(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box))),
                        [](GtkWidget* w, gpointer) {
                          if (GTK_IS_LABEL(w)) gtk_label_set_selectable(GTK_LABEL(w), TRUE);
                        },
                        nullptr);
  g_signal_connect(box, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(box);
}

struct FolderLaunch {
  GtkWindow* parent;  // the program's window, which lives as long as the program
  std::string folder;
};

void folder_launched(GObject*, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<FolderLaunch> launch(static_cast<FolderLaunch*>(data));
  GError* error = nullptr;
  if (g_app_info_launch_default_for_uri_finish(result, &error)) return;
  fprintf(stderr, "quillo: cannot show %s: %s\n", launch->folder.c_str(), error->message);
  g_error_free(error);
  say_folder_not_shown(launch->parent, "The program that opens folders could not be started.",
                       launch->folder.c_str());
}

// Asks the desktop's program for folders to show the documents folder. Its launch is waited for
// without holding up the window, and a failure is told on the window, as is having no such program.
void show_library_folder(GtkWindow* parent) {
  char buf[kQlPathMax];
  const char* documents = ql_path("/mnt/us/documents", buf, sizeof buf);
  GAppInfo* opener = g_app_info_get_default_for_type("inode/directory", FALSE);
  if (!opener) {
    fprintf(stderr, "quillo: cannot show %s: no program opens folders\n", documents);
    say_folder_not_shown(parent, "No program here opens folders.", documents);
    return;
  }
  g_object_unref(opener);
  gchar* uri = g_filename_to_uri(documents, nullptr, nullptr);
  if (!uri) return;
  GdkAppLaunchContext* context = gdk_display_get_app_launch_context(gtk_widget_get_display(GTK_WIDGET(parent)));
  g_app_info_launch_default_for_uri_async(uri, G_APP_LAUNCH_CONTEXT(context), nullptr, folder_launched,
                                          new FolderLaunch{parent, documents});
  g_object_unref(context);
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
