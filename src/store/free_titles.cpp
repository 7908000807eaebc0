#include "store/free_titles.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/atomic_file.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_text.h"
#include "base/paths.h"
#include "base/system_services.h"
#include "base/utf8.h"
#include "store/book_file_name.h"
#include "store/download_manager.h"
#include "store/download_progress.h"
#include "store/servers.h"

namespace {
constexpr size_t kListTitlesMax = 1000;
constexpr size_t kSearchRowFrom = 13;
constexpr size_t kSearchMax = 64;
constexpr size_t kFormatsMax = 8;
constexpr size_t kFormatShownMax = 16;
constexpr size_t kRowTextMax = 600;
constexpr int kBusyMs = 3000;
constexpr int kNoRoomMs = 3000;
constexpr int kRefusedMs = 2400;
constexpr int kEmptyMs = 2000;
constexpr int kOutcomeMs = 2600;
constexpr useconds_t kFetchPollUs = 100 * 1000;
constexpr int kFetchPollsMax = 600;
constexpr int64_t kSpareMb = 50;
constexpr uint64_t kBytesPerTenMb = 10000000;
constexpr char kDiskPath[] = "/mnt/us";

void message(std::string_view text, int ms) { ui_toast_wait(text.data(), text.size(), ms); }

bool is_running(DownloadState s) { return s == DL_DOWNLOADING || s == DL_UNPACKING; }

std::string upper_format(std::string_view format) { return ascii_upper(format.substr(0, kFormatShownMax)); }

bool contains_ignoring_case(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
           return ascii_lower(a) == ascii_lower(b);
         }) != text.end();
}

// The distinct titles of a source and kind, in file order: each title's first row.
std::vector<const FreeTitle*> distinct_titles(std::string_view source, std::string_view kind) {
  std::vector<const FreeTitle*> out;
  for (const FreeTitle& r : free_catalog_rows()) {
    if (r.source != source || r.kind != kind) continue;
    const bool seen = std::any_of(out.begin(), out.end(), [&](const FreeTitle* t) { return t->title == r.title; });
    if (!seen) out.push_back(&r);
    if (out.size() == kListTitlesMax) break;
  }
  return out;
}

// The text after "://" up to the next "/".
std::string_view address_host(std::string_view address) {
  const size_t scheme = address.find("://");
  const std::string_view rest = scheme == std::string_view::npos ? address : address.substr(scheme + 3);
  return rest.substr(0, rest.find('/'));
}

std::string row_label(const FreeTitle& r) {
  if (r.author.empty()) return std::string(r.title);
  char buffer[kRowTextMax];
  return std::string(ui_join_dot(buffer, sizeof buffer, r.title, r.author));
}

// Picks one format of a title offered in several; nothing when the user went back.
std::optional<const FreeTitle*> choose_format(const FreeTitle& first) {
  std::vector<const FreeTitle*> formats;
  for (const FreeTitle& r : free_catalog_rows()) {
    if (r.source == first.source && r.kind == first.kind && r.title == first.title) formats.push_back(&r);
    if (formats.size() == kFormatsMax) break;
  }
  if (formats.size() == 1) return formats.front();
  std::vector<std::string> labels;
  char buffer[kRowTextMax];
  for (const FreeTitle* r : formats) {
    labels.emplace_back(ui_join_dot(buffer, sizeof buffer, upper_format(r->format), format_size_mb(r->bytes)));
  }
  const std::vector<std::string_view> rows(labels.begin(), labels.end());
  const std::string heading(first.title);
  const std::optional<size_t> chosen = ui_list_menu(heading.c_str(), heading.size(), rows);
  if (!chosen) return std::nullopt;
  return formats[*chosen];
}

// Fetches the newer list; true when it replaced catalog.tsv.
bool fetch_newer_list() {
  const DownloadState end = [] {
    DownloadState s = ql_dl_state(nullptr, nullptr);
    for (int i = 0; i < kFetchPollsMax && s == DL_DOWNLOADING; ++i) {
      usleep(kFetchPollUs);
      s = ql_dl_state(nullptr, nullptr);
    }
    if (is_running(s)) {
      // Given up: the job is stopped and waited for, so its end is not told as a book's failure.
      ql_dl_cancel();
      while (is_running(s)) {
        usleep(kFetchPollUs);
        s = ql_dl_state(nullptr, nullptr);
      }
      s = DL_FAILED;
    }
    ql_dl_ack();
    return s;
  }();
  if (end != DL_DONE) return false;
  std::string text;
  if (FilePtr f{qlp_fopen(kFreeListNewPath, "rb")}) {
    text.assign(kFreeCatalogFileMax, '\0');
    text.resize(fread(text.data(), 1, text.size(), f.get()));
  }
  const bool usable = free_catalog_parse(text.data(), text.size()) > 0 &&
                      file_write_atomic(kFreeCatalogPath, text.data(), text.size());
  qlp_remove(kFreeListNewPath);
  return usable;
}

void update_lists() {
  const Servers servers = servers_load();
  const std::string& site = servers.site;
  if (site.empty()) {
    message(server_unset_text(servers, "site",
                              "No server is set for the lists yet: add \"site\" to " +
                                  std::string(kServersFileShown) + "."),
            kRefusedMs);
    return;
  }
  // The host as the list is fetched from it, with its port when it has one.
  const std::string question =
      "Fetch the newest list of free titles from " + site + "? Only the list is fetched, no books.";
  if (!ui_confirm(question.data(), question.size(), "Fetch", 5)) return;
  if (!ql_dl_start(server_address(site, kFreeListPath).c_str(), kFreeListNewPath, 0)) {
    message("Another download is still running. Try again when it is done.", kRefusedMs);
    return;
  }
  constexpr std::string_view kFetching = "Fetching the list...";
  ui_toast(kFetching.data(), kFetching.size());
  const bool updated = fetch_newer_list();
  const size_t rows = free_catalog_load();
  message(updated ? "The lists are up to date: " + std::to_string(rows) + " files."
                  : std::string("No newer list is available right now. The lists stay as they are."),
          kOutcomeMs);
}

void corvell_lists() {
  if (free_catalog_count("corvell", "audio") == 0) {
    free_titles_list_screen("corvell", "book", "Corvell books");
    return;
  }
  const std::string_view rows[] = {"Books", "Audiobooks"};
  const std::optional<size_t> chosen = ui_list_menu("Corvell", 7, rows);
  if (!chosen) return;
  if (*chosen == 0) {
    free_titles_list_screen("corvell", "book", "Corvell books");
  } else {
    free_titles_list_screen("corvell", "audio", "Corvell audiobooks");
  }
}

void show_running_download() {
  const std::string dest = ql_dl_dest();
  const std::string name = dest.substr(dest.rfind('/') + 1);
  download_progress_screen(name.data(), name.size());
}
}  // namespace

int64_t free_title_space_needed_mb(const FreeTitle& row) {
  // Split so that no size can overflow: factor * bytes / 10^7, rounded down.
  const bool archive = row.format == "zip" || row.format.ends_with(".zip");
  const uint64_t factor = archive ? 22 : 11;
  const uint64_t whole = row.bytes / kBytesPerTenMb, rest = row.bytes % kBytesPerTenMb;
  return static_cast<int64_t>(whole * factor + rest * factor / kBytesPerTenMb) + kSpareMb;
}

void free_title_download(const FreeTitle& row) {
  if (is_running(ql_dl_state(nullptr, nullptr))) {
    message("Another download is still running. One at a time.", kBusyMs);
    return;
  }
  int64_t total_mb = 0, free_mb = 0;
  const int64_t need = free_title_space_needed_mb(row);
  if (ql_disk(kDiskPath, &total_mb, &free_mb) == 0 && free_mb < need) {
    message("Not enough free space: this needs " + std::to_string(need) + " MB, " +
                std::to_string(free_mb) + " MB is free.",
            kNoRoomMs);
    return;
  }
  const std::string question = "Download \"" + std::string(row.title) + "\" (" + upper_format(row.format) +
                               ", " + format_size_mb(row.bytes) + ") from " +
                               std::string(address_host(row.address)) + "?";
  if (!ui_confirm(question.data(), question.size(), "Download", 8)) return;
  const std::string dest = std::string(kDocumentsPrefix) + free_title_file_name(row.title) + "." +
                           std::string(row.format);
  const std::string address(row.address);
  if (!ql_dl_start(address.c_str(), dest.c_str(), row.bytes)) {
    message("The download could not start.", kRefusedMs);
    return;
  }
  download_progress_screen(row.title.data(), row.title.size());
}

void free_titles_list_screen(std::string_view source, std::string_view kind,
                             std::string_view heading) {
  const std::string title(heading);
  char search[kSearchMax + 1] = {};
  std::string query;
  for (;;) {
    const std::vector<const FreeTitle*> all = distinct_titles(source, kind);
    if (all.empty() && query.empty()) {
      // No usable row at all: the built-in list has no download host to name its files on.
      message(free_catalog_rows().empty()
                  ? server_unset_text(servers_load(), "publisher-downloads",
                                      "No download server is set yet: add \"publisher-downloads\" "
                                      "to " + std::string(kServersFileShown) + ".")
                  : std::string("This list is empty for now."),
              kEmptyMs);
      return;
    }
    std::vector<const FreeTitle*> shown;
    for (const FreeTitle* t : all) {
      if (query.empty() || contains_ignoring_case(t->title, query) || contains_ignoring_case(t->author, query)) {
        shown.push_back(t);
      }
    }
    std::vector<std::string> labels;
    const bool search_row = all.size() >= kSearchRowFrom || !query.empty();
    if (search_row) {
      labels.push_back(query.empty() ? std::string("Search this list")
                                     : "Search: \"" + query + "\"  (tap to change)");
    }
    for (const FreeTitle* t : shown) labels.push_back(row_label(*t));
    const std::vector<std::string_view> rows(labels.begin(), labels.end());
    const std::optional<size_t> chosen = ui_list_menu(title.c_str(), title.size(), rows);
    if (!chosen) return;
    if (search_row && *chosen == 0) {
      if (auto text = keyboard_edit("Search this list", 16, search, sizeof search, query.data(), query.size(), false)) {
        query = std::string(*text);
      }
      continue;
    }
    if (const std::optional<const FreeTitle*> row = choose_format(*shown[*chosen - (search_row ? 1 : 0)])) {
      free_title_download(**row);
    }
  }
}

void free_books_screen() {
  for (;;) {
    free_catalog_load();
    uint64_t done = 0, total = 0;
    const DownloadState state = ql_dl_state(&done, &total);
    const size_t corvell = free_catalog_count("corvell", "book") + free_catalog_count("corvell", "audio");
    enum Action { OrvaneBooks, OrvaneAudio, Corvell, Update, Download };
    std::vector<std::string> labels;
    std::vector<Action> actions;
    labels.push_back("Orvane Institute books: " + std::to_string(free_catalog_count("orvane", "book")));
    actions.push_back(OrvaneBooks);
    labels.push_back("Orvane Institute audiobooks: " + std::to_string(free_catalog_count("orvane", "audio")));
    actions.push_back(OrvaneAudio);
    if (corvell > 0) {
      labels.push_back("Corvell: " + std::to_string(corvell));
      actions.push_back(Corvell);
    }
    labels.push_back("Update the lists");
    actions.push_back(Update);
    if (is_running(state)) {
      labels.push_back(state == DL_UNPACKING
                           ? std::string("Download: unpacking")
                           : "Download: " + std::to_string(total ? done * 100 / total : 0) + "%");
      actions.push_back(Download);
    }
    const std::vector<std::string_view> rows(labels.begin(), labels.end());
    const std::optional<size_t> chosen = ui_list_menu("Free books", 10, rows);
    if (!chosen) return;
    switch (actions[*chosen]) {
      case OrvaneBooks: free_titles_list_screen("orvane", "book", "Orvane Institute books"); break;
      case OrvaneAudio: free_titles_list_screen("orvane", "audio", "Orvane Institute audiobooks"); break;
      case Corvell: corvell_lists(); break;
      case Update: update_lists(); break;
      case Download: show_running_download(); break;
    }
  }
}
