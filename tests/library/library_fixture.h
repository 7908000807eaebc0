// A temporary device root for library tests: /mnt/us with documents and ql/state, /tmp, and the
// library's process-wide state (scan cache, entries, progress, collections, view, new books) reset
// around it.
#pragma once
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <vector>

#include "shell/app_connect.h"
#include "app/reader/paginator.h"
#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_state.h"
#include "base/paths.h"
#include "library/collections.h"
#include "library/document_scan.h"
#include "library/library_view.h"
#include "store/new_books.h"
#include "library/progress_index.h"
#include "library/scan_cache.h"
#include "support/epub_builder.h"
#include "support/temp_dir.h"

constexpr char kDocs[] = "/mnt/us/documents";

class LibraryRoot {
 public:
  LibraryRoot() {
    for (const char* sub : {"us", "tmp", "us/ql", "us/ql/state", "us/ql/bundled", "us/documents"}) {
      mkdir((dir_ / sub).c_str(), 0755);
    }
    ql_set_root((dir_ / "us").c_str(), (dir_ / "tmp").c_str());
    unsetenv("QUILLO_STATE");
    unsetenv("QUILLO_DOCS");
    reset_state();
  }
  ~LibraryRoot() {
    ql_set_root(nullptr, nullptr);
    reset_state();
  }
  LibraryRoot(const LibraryRoot&) = delete;
  LibraryRoot& operator=(const LibraryRoot&) = delete;

  // Host paths of a document (relative to the documents folder) and of a state file.
  std::string doc(const std::string& rel) const { return dir_ / ("us/documents/" + rel); }
  std::string state(const std::string& name) const { return dir_ / ("us/ql/state/" + name); }
  std::string host(const std::string& rel) const { return dir_ / rel; }

  // Writes a document, making its folders.
  void put(const std::string& rel, const std::string& bytes) const {
    std::string path = doc(rel);
    for (size_t slash = path.find('/', dir_.path().size() + 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      mkdir(path.substr(0, slash).c_str(), 0755);
    }
    write_file(path, bytes);
  }

  // Starts the process over: nothing of the library is held in memory.
  static void reset_state() {
    scan_cache_forget();
    progress.count = 0;
    progress.scratch = {};
    collections.count = 0;
    collections.membership_count = 0;
    library = LibraryView{};
    new_books = NewBooks{};
    ui_state = UiState{};
    app = AppState{};
    settings = settings_defaults();
    layout = PageTable{};
    app_connect_hooks();  // as start-up does: the reader records progress in the library
  }

 private:
  TempDir dir_;
};

// An EPUB with this title and author (and one short chapter).
inline std::string epub_titled(const std::string& title, const std::string& author) {
  EpubPlan plan = simple_book({"<p>Some words.</p>"});
  plan.title = title;
  plan.author = author;
  return build_epub(plan);
}

// Sets a host file's modification time.
inline void set_mtime(const std::string& path, time_t when) {
  struct timeval tv[2] = {{when, 0}, {when, 0}};
  utimes(path.c_str(), tv);
}

// The entries' paths relative to the documents folder, in entry order.
inline std::vector<std::string> entry_names() {
  std::vector<std::string> out;
  for (const ScanEntry& e : ql_entries()) out.push_back(e.path.substr(sizeof kDocs));
  return out;
}

// Number of lines in a host file.
inline size_t line_count(const std::string& path) {
  size_t n = 0;
  for (char c : read_file(path)) n += c == '\n';
  return n;
}
