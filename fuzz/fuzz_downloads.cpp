// What the downloads side reads from the network on arbitrary bytes. The first byte picks what the
// rest is:
//   0: an OPDS feed: every entry listed has a kind, a title and an absolute http(s) address, each
//      one line without tabs, within their limits, and its list line reads back whole;
//   1: a free-title list: every row kept obeys the line rules (title, format, size, address), its
//      format a lower-case extension that leads nowhere;
//   2: an audiobook archive, unpacked into a folder: only recordings come out, each whole (its
//      CRC-32 matched), and a file never stays behind under a ".part" name.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "../tests/support/zip_writer.h"
#include "base/file_kinds.h"
#include "fuzz_support.h"
#include "store/audio_unpack.h"
#include "store/download_manager.h"
#include "store/free_catalog.h"
#include "store/opds_parse.h"

namespace {
constexpr char kFeedBase[] = "https://feeds.example.org/opds/root.xml";

bool is_one_line(std::string_view s) { return s.find_first_of("\t\r\n") == std::string_view::npos; }

void check_feed(std::string_view text) {
  for (const FeedEntry& e : opds_entries(text, kFeedBase)) {
    if (e.kind != 'E' && e.kind != 'C') __builtin_trap();
    if (e.title.empty() || e.title.size() > kFeedTitleMax || !is_one_line(e.title)) __builtin_trap();
    if (e.address.size() > kFeedAddressMax || !is_one_line(e.address)) __builtin_trap();
    if (!e.address.starts_with("http://") && !e.address.starts_with("https://")) __builtin_trap();
    // The browser reads back every line the parser writes, whole.
    const std::string line = opds_list_line(e);
    const std::optional<FeedEntry> back =
        opds_read_list_line(std::string_view(line).substr(0, line.size() - 1));
    if (!back || back->kind != e.kind || back->title != e.title || back->address != e.address) {
      __builtin_trap();
    }
  }
}

void check_catalog(std::string_view text) {
  free_catalog_parse(text.data(), text.size());
  for (const FreeTitle& r : free_catalog_rows()) {
    if (r.title.empty() || r.title.size() > kFreeTitleMax || !is_one_line(r.title)) __builtin_trap();
    if (r.format.empty() || r.format.size() > kFreeFormatMax) __builtin_trap();
    // A format becomes an extension: lower case, and nothing that leads out of the folder.
    if (r.format.front() == '.' || r.format.find_first_of("/\\") != std::string_view::npos ||
        r.format.find("..") != std::string_view::npos ||
        std::any_of(r.format.begin(), r.format.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
      __builtin_trap();
    }
    if (r.address.size() > kFreeAddressMax || !ql_dl_allowed(r.address)) __builtin_trap();
  }
}

void check_archive(const uint8_t* data, size_t size) {
  const std::string folder = fuzz::device_root() + "/us/documents/book";
  std::filesystem::create_directories(folder);
  fuzz::write_host_file(fuzz::device_root() + "/us/documents/book.zip", data, size);
  const std::atomic<uint32_t> never{0};
  const UnpackResult r = unzip_audio("/mnt/us/documents/book.zip", "/mnt/us/documents/book", never);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!is_audio_extension(name)) __builtin_trap();
    ++files;
  }
  if (files != r.written) __builtin_trap();
  std::filesystem::remove_all(folder);
}

void write_seeds() {
  fuzz::write_seed("feed", std::string("\x00", 1) +
                               "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>A &amp; B</title>"
                               "<link type=\"application/epub+zip\" href=\"../b/1.epub\"/></entry>"
                               "<entry><title>More</title><link rel=\"subsection\" href=\"//x.example/m\"/>"
                               "</entry></feed>");
  fuzz::write_seed("catalog", "\x01# notes\norvane\tbook\tT\tA\tepub\t10\t"
                              "https://dl.example.org/t.epub\r\n");
  // A ZIP64 archive with a recording and a symbolic link to it.
  fuzz::write_seed("archive", "\x02" + zipw::build({{"B/01.mp3", std::string(500, 'a')},
                                                    {"B/02.mp3", "01.mp3", zipw::kStored, 0, {}, {},
                                                     0120777}},
                                                   {}, 0));
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  // A download host, so that list rows can be kept at all.
  constexpr std::string_view kServers = "publisher-downloads = dl.example.org\n";
  fuzz::write_device_file("/mnt/us/ql/servers.conf", kServers.data(), kServers.size());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0: check_feed(rest); break;
    case 1: check_catalog(rest); break;
    default: check_archive(data + 1, size - 1); break;
  }
  return 0;
}
