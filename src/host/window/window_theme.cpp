// The system's dark mode for the window: the desktop's "color-scheme" setting through the
// settings portal over D-Bus (with its change signal), else the GTK theme's own preference.
#include "host/host_queue.h"
#include "host/window/window_gtk.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

constexpr char kPortalBus[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kSettingsIface[] = "org.freedesktop.portal.Settings";
constexpr char kAppearance[] = "org.freedesktop.appearance";
constexpr char kColorScheme[] = "color-scheme";
constexpr int kPortalTimeoutMs = 1000;
constexpr uint32_t kPreferDark = 1;  // 0 no preference, 1 dark, 2 light

void set_dark(bool dark) {
  host_set_system_dark(dark);
  host_push(HOST_APPEARANCE, 0, 0);
}

// The portal wraps the value in one or two variants depending on its version.
bool scheme_is_dark(GVariant* value) {
  GVariant* v = g_variant_ref(value);
  while (g_variant_is_of_type(v, G_VARIANT_TYPE_VARIANT)) {
    GVariant* inner = g_variant_get_variant(v);
    g_variant_unref(v);
    v = inner;
  }
  const bool dark = g_variant_is_of_type(v, G_VARIANT_TYPE_UINT32) &&
                    g_variant_get_uint32(v) == kPreferDark;
  g_variant_unref(v);
  return dark;
}

void setting_changed(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                     GVariant* params, gpointer) {
  if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(ssv)"))) return;
  const gchar* ns = nullptr;
  const gchar* key = nullptr;
  GVariant* value = nullptr;
  g_variant_get(params, "(&s&sv)", &ns, &key, &value);
  if (g_strcmp0(ns, kAppearance) == 0 && g_strcmp0(key, kColorScheme) == 0) {
    set_dark(scheme_is_dark(value));
  }
  g_variant_unref(value);
}

// Connecting without a session bus would make GLib try to launch one; only an existing bus is used.
bool session_bus_present() {
  if (getenv("DBUS_SESSION_BUS_ADDRESS")) return true;
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  struct stat st;
  return runtime && stat((std::string(runtime) + "/bus").c_str(), &st) == 0;
}

// True when the portal answered; `dark` then holds its setting.
bool follow_portal(bool* dark) {
  if (!session_bus_present()) return false;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return false;
  GVariant* reply = g_dbus_connection_call_sync(
      bus, kPortalBus, kPortalPath, kSettingsIface, "Read",
      g_variant_new("(ss)", kAppearance, kColorScheme), G_VARIANT_TYPE("(v)"),
      G_DBUS_CALL_FLAGS_NONE, kPortalTimeoutMs, nullptr, nullptr);
  if (!reply) {
    g_object_unref(bus);
    return false;
  }
  *dark = scheme_is_dark(reply);
  g_variant_unref(reply);
  // The bus stays open for the life of the process to receive the change signal.
  g_dbus_connection_signal_subscribe(bus, kPortalBus, kSettingsIface, "SettingChanged",
                                     kPortalPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                     setting_changed, nullptr, nullptr);
  return true;
}

bool gtk_theme_is_dark() {
  GtkSettings* settings = gtk_settings_get_default();
  if (!settings) return false;
  gboolean prefer_dark = FALSE;
  gchar* theme = nullptr;
  g_object_get(settings, "gtk-application-prefer-dark-theme", &prefer_dark, "gtk-theme-name",
               &theme, nullptr);
  bool dark = prefer_dark;
  if (theme) {
    gchar* lower = g_ascii_strdown(theme, -1);
    dark = dark || g_str_has_suffix(lower, "-dark") || g_str_has_suffix(lower, ":dark");
    g_free(lower);
    g_free(theme);
  }
  return dark;
}

void gtk_theme_changed(GObject*, GParamSpec*, gpointer) { set_dark(gtk_theme_is_dark()); }

}  // namespace

void window_follow_appearance() {
  bool dark = false;
  if (follow_portal(&dark)) {
    host_set_system_dark(dark);
    return;
  }
  host_set_system_dark(gtk_theme_is_dark());
  if (GtkSettings* settings = gtk_settings_get_default()) {
    g_signal_connect(settings, "notify::gtk-theme-name", G_CALLBACK(gtk_theme_changed), nullptr);
    g_signal_connect(settings, "notify::gtk-application-prefer-dark-theme",
                     G_CALLBACK(gtk_theme_changed), nullptr);
  }
}
