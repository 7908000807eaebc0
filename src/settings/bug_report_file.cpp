#include "settings/bug_report_file.h"

#include <algorithm>
#include <sys/utsname.h>
#include <vector>

#include "base/json_value.h"
#include "base/paths.h"
#include "base/text_lines.h"
#include "base/utf8.h"

namespace {

constexpr std::string_view kAppVersion = "0.9.5";
constexpr const char* kBugLogPath = "/mnt/us/ql/quillo.log";

// The document's buffer: a report is refused when its document does not fit with its NUL.
constexpr size_t kBugDocumentSize = 9500;
// The most escaped bytes written for each value (a value may end up to two bytes over).
constexpr size_t kBugTextCap = 2592;  // description and steps
constexpr size_t kBugLogCap = 3192;
constexpr size_t kBugContactCap = 292;

// The log excerpt: the last non-blank lines of the log's last bytes, each cut short.
constexpr size_t kLogReadMax = 65536;
constexpr size_t kLogTailBytes = 4000;
constexpr size_t kLogLinesMax = 8;
constexpr size_t kLogLineMax = 110;
constexpr size_t kLogExcerptMax = 1389;
constexpr std::string_view kBookMark = "[book]";

constexpr std::string_view kDevicePrefix = "/mnt/us";
constexpr std::string_view kDocumentsFolder = "/documents/";

void append_field(std::string& out, std::string_view key, std::string_view value, size_t cap,
                  bool first = false) {
  if (!first) out += ',';
  out += '"';
  out += key;
  out += "\":\"";
  bug_escape_append(out, value, cap);
  out += '"';
}

// The start of the first documents-folder path in `line`: the device form, or the data folder's
// own form, which is what the desktop's messages name.
size_t book_path_start(std::string_view line) {
  size_t at = line.find(std::string(kDevicePrefix) + std::string(kDocumentsFolder));
  const std::string_view root = ql_data_root();
  if (!root.empty()) {
    at = std::min(at, line.find(std::string(root) + std::string(kDocumentsFolder)));
  }
  return at;
}

// The log's last bytes, at most kLogReadMax.
std::string read_log_tail() {
  FilePtr f(qlp_fopen(kBugLogPath, "rb"));
  if (!f || fseek(f.get(), 0, SEEK_END) != 0) return {};
  const long size = ftell(f.get());
  if (size < 0) return {};
  const long start = std::max(0L, size - static_cast<long>(kLogReadMax));
  if (fseek(f.get(), start, SEEK_SET) != 0) return {};
  std::string bytes(kLogReadMax, '\0');
  bytes.resize(fread(bytes.data(), 1, bytes.size(), f.get()));
  return bytes;
}

}  // namespace

std::string_view bug_platform() { return "linux"; }

const std::string& bug_device() {
  static const std::string machine = [] {
    utsname u{};
    if (uname(&u) != 0 || !u.machine[0]) return std::string("unknown");
    return std::string(u.machine);
  }();
  return machine;
}

void bug_escape_append(std::string& out, std::string_view value, size_t cap) {
  // The server parses the document as UTF-8, and a log line may hold any bytes a file name had.
  json_escape_append(out, value, {.cap = cap, .plain_text = true});
}

std::optional<std::string> bug_report_json(const BugReport& report) {
  std::string doc;
  doc += '{';
  append_field(doc, "app_version", kAppVersion, kBugTextCap, true);
  append_field(doc, "platform", bug_platform(), kBugTextCap);
  append_field(doc, "device", bug_device(), kBugTextCap);
  append_field(doc, "description", report.description, kBugTextCap);
  append_field(doc, "steps", report.steps, kBugTextCap);
  append_field(doc, "log", report.log, kBugLogCap);
  append_field(doc, "contact", report.contact, kBugContactCap);
  doc += '}';
  if (doc.size() >= kBugDocumentSize) return std::nullopt;
  return doc;
}

std::string bug_log_excerpt() {
  const std::string bytes = read_log_tail();
  std::string_view piece(bytes);
  if (piece.size() > kLogTailBytes) {
    const bool cut_at_line_start = piece[piece.size() - kLogTailBytes - 1] == '\n';
    piece = piece.substr(piece.size() - kLogTailBytes);
    // Begin with a whole line.
    if (!cut_at_line_start) {
      const size_t lf = piece.find('\n');
      piece = lf == std::string_view::npos ? std::string_view() : piece.substr(lf + 1);
    }
  }
  // Newest first while collecting.
  std::vector<std::string_view> lines;
  while (!piece.empty() && lines.size() < kLogLinesMax) {
    const size_t lf = piece.rfind('\n', piece.size() - 1);
    const size_t begin = lf == std::string_view::npos ? 0 : lf + 1;
    const std::string_view line = piece.substr(begin);
    piece = piece.substr(0, lf == std::string_view::npos ? 0 : lf);
    const size_t kept = trimmed_length(line);
    if (kept > 0) lines.push_back(line.substr(0, kept));
  }
  std::string excerpt;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    std::string_view line = *it;
    const size_t book = book_path_start(line);
    if (book != std::string_view::npos) line = line.substr(0, book);
    line = line.substr(0, utf8_prefix_length(line, kLogLineMax));
    if (excerpt.size() + line.size() > kLogExcerptMax) break;
    excerpt += line;
    if (book != std::string_view::npos) excerpt += kBookMark;
    excerpt += '\n';
  }
  return excerpt;
}
