// The shortcuts that screens name beside the File menu's items read as GTK prints them in the menu.
#include "host/window_menu_labels.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <string>

TEST(WindowMenuLabels, ShortcutsReadAsTheMenuShowsThem) {
  struct Case {
    guint key;
    GdkModifierType mods;
    const char* named;
  } cases[] = {
      {GDK_KEY_o, GDK_CONTROL_MASK, kShortcutAddBooks},
      {GDK_KEY_o, GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK), kShortcutAddBookFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    gchar* label = gtk_accelerator_get_label(c.key, c.mods);
    EXPECT_EQ(std::string(label), c.named);
    g_free(label);
  }
}
