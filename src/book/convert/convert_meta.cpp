// The library's quick look at an FB2 or MOBI book: title and author from the first bytes of the
// file, without converting it.
#include <algorithm>
#include <cstring>

#include "base/paths.h"
#include "book/convert/convert.h"
#include "book/convert/convert_mobi.h"
#include "book/convert/convert_model.h"
#include "base/text_decode.h"

namespace {
constexpr size_t kProbeBytes = 262136;
constexpr size_t kProbeFieldSize = 200;

std::string read_prefix(const char* path) {
  std::string bytes;
  FilePtr f(qlp_fopen(path, "rb"));
  if (!f) return bytes;
  bytes.resize(kProbeBytes);
  bytes.resize(fread(bytes.data(), 1, bytes.size(), f.get()));
  return bytes;
}

void copy_out(const std::string& text, char* out, size_t size) {
  if (size == 0) return;
  const std::string cut = cut_text(text, size - 1);
  memcpy(out, cut.c_str(), cut.size() + 1);
}

std::string field_after(std::string_view text, std::string_view tag) {
  size_t at = find_nocase(text, tag);
  if (at == std::string_view::npos) return {};
  size_t end = text.find('<', at + tag.size());
  if (end == std::string_view::npos) end = text.size();
  // The rest of the start tag (its attributes and ">") is markup, which plain_text drops.
  return plain_text(text.substr(at, end - at), kProbeFieldSize);
}

bool fb2_meta(std::string_view bytes, std::string& title, std::string& author) {
  std::string text;
  to_utf8(text, bytes, fb2_encoding(bytes));
  title = field_after(text, "<book-title");
  const std::string first = field_after(text, "<first-name"), last = field_after(text, "<last-name");
  author = first + (!first.empty() && !last.empty() ? " " : "") + last;
  return true;
}

bool mobi_meta(std::string_view bytes, std::string& title, std::string& author) {
  const ByteReader view(bytes);
  std::optional<PalmDb> db = palmdb_open(view, false);
  if (!db) return false;
  // Only records whose offsets were read can be looked at.
  db->count = static_cast<uint32_t>(std::min<size_t>(db->count, (bytes.size() - 78) / 8));
  if (db->count < 2) return false;
  const uint32_t first = view.u32be_at(78), second = view.u32be_at(86);
  if (first >= bytes.size() || second <= first || second > bytes.size()) return false;
  MobiHeader h;
  MobiMeta meta;
  if (mobi_head(*db, 0, h, meta) != HeadResult::parsed) return false;
  title = meta.title;
  author = meta.author;
  return true;
}
}  // namespace

int ql_convert_meta(const char* path, char* title, size_t tsize, char* author, size_t asize) {
  if (tsize) title[0] = 0;
  if (asize) author[0] = 0;
  const ConvKind kind = kind_of(path);
  if (kind != ConvKind::fb2 && kind != ConvKind::mobi) return 0;
  const std::string bytes = read_prefix(path);
  std::string t, a;
  const bool found = kind == ConvKind::fb2 ? fb2_meta(bytes, t, a) : mobi_meta(bytes, t, a);
  if (!found) return 0;
  copy_out(t, title, tsize);
  copy_out(a, author, asize);
  return 1;
}
