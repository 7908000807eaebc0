#include "library/bundled_books.h"

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>

#include "base/paths.h"
#include "base/system_services.h"
#include "base/text_lines.h"
#include "store/store_payment.h"

namespace {

// Up to kBundledRecordRead bytes of bundled.txt; empty when it does not exist.
std::string read_seeded_names() {
  std::string text;
  FilePtr f(qlp_fopen(kBundledRecordPath, "rb"));
  if (!f) return text;
  text.resize(kBundledRecordRead);
  text.resize(fread(text.data(), 1, text.size(), f.get()));
  return text;
}

bool was_seeded(std::string_view seeded, std::string_view name) {
  while (!seeded.empty()) {
    const size_t end = seeded.find('\n');
    const std::string_view line = seeded.substr(0, end);
    if (line.substr(0, trimmed_length(line)) == name) return true;
    if (end == std::string_view::npos) break;
    seeded.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace

void bundled_books_seed() {
  if (ql_list_dir(kBundledFolder, kBundledListing) < 1) return;
  std::array<TextLine, kBundledMax> lines;
  std::array<std::string_view, kBundledMax> names;
  const size_t count = text_read_lines(kBundledListing, lines, names, 0);
  const std::string seeded = read_seeded_names();
  FilePtr record(qlp_fopen(kBundledRecordPath, "ab"));
  if (!record) return;
  for (size_t i = 0; i < count; i++) {
    const std::string_view name = names[i];
    if (was_seeded(seeded, name)) continue;
    const std::string dest = kBundledDocuments + std::string(name);
    if (qlp_access(dest.c_str(), F_OK) != 0) {
      const std::string src = std::string(kBundledFolder) + "/" + std::string(name);
      if (!ql_copy_file(src.c_str(), dest.c_str())) continue;
    }
    fprintf(record.get(), "%.*s\n", static_cast<int>(name.size()), name.data());
  }
}

void docs_watch_request_stop() { FilePtr f(qlp_fopen(kWatchStopPath, "wb")); }
