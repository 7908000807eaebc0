// The Linux command-line program: the path remapping is set up before the core runs, so tool
// modes and the interactive program see the device's /mnt/us and /tmp.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "shell/app_main.h"
#include "base/paths.h"
#include "host/data_folder.h"
#include "host/host_start.h"
#include "host/leftovers.h"

namespace {
bool is_device_path(std::string_view p) {
  for (std::string_view root : {std::string_view("/tmp"), std::string_view("/mnt/us")})
    if (p.starts_with(root) && (p.size() == root.size() || p[root.size()] == '/')) return true;
  return false;
}

// A file the user names on the command line is a host file: "/tmp/book.epub" must open that file,
// not one in the per-run folder the program's own /tmp maps to. "/./tmp/..." names the same host
// file but lies outside the remapped roots.
void keep_host_paths(int argc, char** argv) {
  static std::vector<std::string> kept;
  kept.reserve(static_cast<size_t>(argc));
  for (int i = 2; i < argc; i++) {
    if (!is_device_path(argv[i]) || access(argv[i], F_OK) != 0) continue;
    kept.push_back(std::string("/.") + argv[i]);
    argv[i] = kept.back().data();
  }
}
}  // namespace

int main(int argc, char** argv) {
  // The core thread does nearly all the allocating. In an arena of its own its heap grows a few
  // pages at a time, a system call each (about ninety to open a book); the main heap grows a
  // megabyte at a time. Each thread's cache of small blocks spares most calls the shared lock.
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_TOP_PAD, 1 << 20);
  keep_host_paths(argc, argv);
  // The interactive program is the desktop host with the core on its own thread.
  const ToolMode mode = app_dispatch(argc, argv);
  if (mode == ToolMode::Interactive) return host_main(argc, argv, nalo_main);
  std::string data = host_data_folder();
  // Drawing and parsing keep caches, lists and positions in the data folder, which a first run
  // finds missing; only the hyphenation and usage answers touch no file.
  if (mode != ToolMode::Hyphenate && mode != ToolMode::RenderUsage) {
    host_make_data_folders(data);
    host_hold_data_folder(data, false);  // a start's tidying must not take what this writes
  }
  std::string tmp = host_make_tmp_root();
  if (tmp.empty()) {
    fprintf(stderr, "quillo: cannot create a temporary folder: %s\n", strerror(errno));
  }
  host_remove_at_exit(tmp);
  ql_set_root(data.c_str(), tmp.c_str());
  return nalo_main(argc, argv);
}
