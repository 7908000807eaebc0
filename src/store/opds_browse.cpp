#include "store/opds_browse.h"

#include <cstdio>
#include <string>
#include <vector>

#include "display/device_scripts.h"
#include "app/ui/app_hooks.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_text.h"
#include "base/paths.h"
#include "store/book_file_name.h"
#include "store/download_manager.h"
#include "store/download_policy.h"
#include "store/opds_parse.h"

namespace {
constexpr char kListPath[] = "/mnt/us/ql/state/opds.list";
constexpr size_t kListLinesMax = 60;
constexpr size_t kShownTitleMax = 159;
// The opening quote and an address whose every byte is a quote, written '\''.
constexpr size_t kQuotedAddressMax = 1 + kFeedAddressMax * 4;
constexpr size_t kQuotedPathMax = 4096;
constexpr int kMessageMs = 2400;
constexpr std::string_view kLoading = "Loading feed...";
constexpr std::string_view kEmpty = "Feed empty or unreachable";
constexpr std::string_view kDownloading = "Downloading...";
constexpr std::string_view kDownloaded = "Downloaded to library";
constexpr std::string_view kNotDownloaded = "The download did not complete. Nothing was added.";

void message(std::string_view text) { ui_toast_wait(text.data(), text.size(), kMessageMs); }

// The rows the parser left. A line longer than any it writes is dropped whole: what was read of it
// would offer a cut address, another file than the feed's.
std::vector<FeedEntry> read_list() {
  std::vector<FeedEntry> rows;
  FilePtr f{qlp_fopen(kListPath, "r")};
  if (!f) return rows;
  std::string line(kFeedListLineMax + 3, '\0');  // a line, CR LF and the NUL
  while (rows.size() < kListLinesMax && fgets(line.data(), static_cast<int>(line.size()), f.get())) {
    std::string_view l(line.c_str());
    if (!l.ends_with('\n') && !feof(f.get())) {
      int c;
      while ((c = fgetc(f.get())) != EOF && c != '\n') {
      }
      continue;
    }
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.remove_suffix(1);
    if (std::optional<FeedEntry> row = opds_read_list_line(l)) rows.push_back(std::move(*row));
  }
  return rows;
}

// Fetches a book through the device script into the documents folder, under a name no other book
// has; tells whether it arrived.
void fetch_book(const FeedEntry& entry) {
  ui_toast(kDownloading.data(), kDownloading.size());
  const std::string dest =
      free_destination(std::string(kDocumentsPrefix) + feed_book_file_name(entry.title) + ".epub");
  if (!dest.empty()) {
    ScriptLine(kScriptMorning, "fetch")
        .arg(entry.address, kQuotedAddressMax)
        .arg(dest, kQuotedPathMax)
        .raw(" >/dev/null 2>&1")
        .run();
  }
  // The script's status is not told; the file is what counts.
  struct stat st;
  const bool arrived = !dest.empty() && qlp_stat(dest.c_str(), &st) == 0 && st.st_size > 0;
  if (arrived) app_call(app_hooks.books_added);
  message(arrived ? kDownloaded : kNotDownloaded);
}
}  // namespace

void opds_browse(const char* address, size_t length) {
  std::string feed(address, std::min(length, kFeedAddressMax));
  for (;;) {
    ui_toast(kLoading.data(), kLoading.size());
    // A list left by an earlier feed must not stand in for this one.
    qlp_remove(kListPath);
    ScriptLine(kScriptMorning, "opds").arg(feed, kQuotedAddressMax).raw(" >/dev/null 2>&1").run();
    const std::vector<FeedEntry> rows = read_list();
    if (rows.empty()) {
      message(kEmpty);
      return;
    }
    std::vector<std::string> titles;
    for (const FeedEntry& r : rows) titles.emplace_back(ui_utf8_prefix(r.title, kShownTitleMax));
    const std::vector<std::string_view> shown(titles.begin(), titles.end());
    const std::optional<size_t> chosen = ui_list_menu("Free books", 10, shown);
    if (!chosen) return;
    const FeedEntry& row = rows[*chosen];
    if (row.kind == 'C') {
      feed = row.address;
      continue;
    }
    if (row.kind == 'E') fetch_book(row);
    return;
  }
}
