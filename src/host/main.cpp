// The Linux command-line program: the path remapping is set up before the core runs, so tool
// modes and the interactive program see the device's /mnt/us and /tmp.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "app/app_main.h"
#include "display/paths.h"
#include "host/data_folder.h"
#include "host/host_start.h"

namespace {
char tmp_root[4096];

// A tool run usually leaves its per-run folder empty; an empty one is not worth keeping.
void remove_empty_tmp_root() { rmdir(tmp_root); }
}  // namespace

int main(int argc, char** argv) {
  // The interactive program is the desktop host with the core on its own thread.
  if (app_dispatch(argc, argv) == ToolMode::Interactive) return host_main(argc, argv);
  std::string data = host_data_folder();
  std::string tmp = host_make_tmp_root();
  if (tmp.empty()) {
    fprintf(stderr, "quillo: cannot create a temporary folder: %s\n", strerror(errno));
  } else if (tmp.size() < sizeof tmp_root) {
    memcpy(tmp_root, tmp.c_str(), tmp.size() + 1);
    atexit(remove_empty_tmp_root);
  }
  ql_set_root(data.c_str(), tmp.c_str());
  return nalo_main(argc, argv);
}
