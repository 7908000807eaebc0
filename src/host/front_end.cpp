#include "host/front_end.h"

#include "host/host_start.h"
#include "host/lazy_library.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr char kWindowModule[] = "quillo-window.so";

struct WindowEntries {
  QL_CALL_SLOT(quillo_window_init)
  QL_CALL_SLOT(quillo_window_run)
  QL_CALL_SLOT(quillo_window_alert)
};
WindowEntries window;
std::string load_failure;

// Beside the program (the build folder), else installed in lib/quillo beside its folder.
std::string module_path() {
  const std::filesystem::path dir = host_program_dir();
  const std::filesystem::path beside = dir / kWindowModule;
  if (std::filesystem::exists(beside)) return beside;
  return dir.parent_path() / "lib" / "quillo" / kWindowModule;
}

// Null when the module is loaded with every entry bound, else why not.
const char* load_module() {
  const std::string path = module_path();
  static const LazyLibraries module{path.c_str()};
  if (!module.loaded() || !module.bind("quillo_window_init", window.quillo_window_init) ||
      !module.bind("quillo_window_run", window.quillo_window_run) ||
      !module.bind("quillo_window_alert", window.quillo_window_alert)) {
    load_failure = "cannot load the window: " + module.failure(path.c_str());
    return load_failure.c_str();
  }
  return nullptr;
}

}  // namespace

const char* window_front_init(int* argc, char*** argv) {
  if (const char* failure = load_module()) return failure;
  return window.quillo_window_init(argc, argv) ? nullptr : "No display";
}

bool window_front_alert(int* argc, char*** argv, const char* text) {
  return !load_module() && window.quillo_window_alert(argc, argv, text);
}

void window_front_run() {
  window.quillo_window_run();
  std::abort();  // the window's loop ends the process itself; a pointer cannot say so
}
