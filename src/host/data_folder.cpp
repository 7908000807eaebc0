#include "host/data_folder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {
const char* nonempty_env(const char* name) {
  const char* v = getenv(name);
  return v && *v ? v : nullptr;
}

std::string home_folder() {
  if (const char* home = nonempty_env("HOME")) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}
}  // namespace

std::string host_data_folder() {
  if (const char* data = nonempty_env("CVNL_DATA")) return data;
  // Relative values are invalid in the XDG scheme and are ignored.
  const char* xdg = nonempty_env("XDG_DATA_HOME");
  std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : home_folder() + "/.local/share";
  if (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/" + kDataFolderName;
}

std::string host_make_tmp_root() {
  const char* base = nonempty_env("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/corvell-nalo-XXXXXX";
  if (!mkdtemp(pattern.data())) return "";
  return pattern;
}
