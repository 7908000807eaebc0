// CBZ comics: the pictures inside a ZIP archive are the pages, in the order a reader of file names
// expects ("page 2" before "page 10"), decoded to grey by the picture code at the size they are
// drawn.
#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "base/utf8.h"
#include "book/page_source.h"
#include "book/zip_reader.h"
#include "display/images.h"

namespace {

// A page picture larger than this (stated or stored) is not a page: it would only exhaust memory.
constexpr uint64_t kMaxPageMember = 0x5000000;  // 80 MiB
// A picture's header, as far as its decoder reads it, lies in its first bytes.
constexpr size_t kHeadBytes = 65536;
constexpr std::array<std::string_view, 5> kPictureExtensions = {".jpg", ".jpeg", ".png", ".gif", ".bmp"};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool ends_with_ignoring_case(std::string_view s, std::string_view tail) {
  if (s.size() < tail.size()) return false;
  return std::equal(tail.begin(), tail.end(), s.end() - static_cast<ptrdiff_t>(tail.size()),
                    [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

bool is_page_member(const ZipEntryInfo& e) {
  const size_t slash = e.name.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? e.name : e.name.substr(slash + 1);
  if (file.empty() || file.front() == '.' || e.name.find("__MACOSX") != std::string_view::npos) return false;
  if ((e.flags & 1) || (e.method != 0 && e.method != 8)) return false;
  if (e.uncompressed >= kMaxPageMember || e.compressed >= kMaxPageMember) return false;
  return std::any_of(kPictureExtensions.begin(), kPictureExtensions.end(),
                     [&](std::string_view ext) { return ends_with_ignoring_case(file, ext); });
}

class CbzSource final : public PageSource {
 public:
  CbzSource(ZipArchive zip, std::vector<std::string> pages)
      : zip_(std::move(zip)), pages_(std::move(pages)) {}

  int page_count() const override { return static_cast<int>(pages_.size()); }
  bool is_picture_book() const override { return true; }

  // From the picture's header alone: fitting a page, and finding one that opens, decode nothing.
  bool page_size(int page, float& w, float& h) override {
    if (page != sized_ && !read_size(page)) return false;
    w = static_cast<float>(width_);
    h = static_cast<float>(height_);
    return true;
  }

  // The picture is decoded for the size it is drawn at.
  bool render(int page, float, uint8_t* out, int w, int h, int stride) override {
    if (w < 1 || h < 1 || page < 0 || static_cast<size_t>(page) >= pages_.size()) return false;
    std::optional<std::string> bytes = std::exchange(whole_, std::nullopt);
    if (page != whole_page_) bytes = zipextract(zip_, pages_[static_cast<size_t>(page)], kMaxPageMember);
    whole_page_ = -1;
    std::vector<uint8_t> fitted(static_cast<size_t>(w) * static_cast<size_t>(h));
    if (!bytes || !qlpdf_image_mem(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size(), fitted.data(), w, h))
      return false;
    for (int row = 0; row < h; ++row) {
      memcpy(out + static_cast<size_t>(row) * static_cast<size_t>(stride),
             fitted.data() + static_cast<size_t>(row) * static_cast<size_t>(w), static_cast<size_t>(w));
    }
    return true;
  }

  bool page_text(int, std::vector<PageChar>& out) override {
    out.clear();
    return false;
  }
  std::string meta(const char*) override { return {}; }
  std::vector<PdfOutlineEntry> outline(size_t) override { return {}; }

 private:
  // The size the decoder reads from the start of the member, else from the whole member (kept
  // for drawing the page next). A page over the decoder's pixel limit has no size.
  bool read_size(int page) {
    sized_ = -1;
    if (page < 0 || static_cast<size_t>(page) >= pages_.size()) return false;
    const std::string& name = pages_[static_cast<size_t>(page)];
    auto size_of = [&](const std::optional<std::string>& bytes) {
      return bytes && qlpdf_image_size(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size(), &width_,
                                       &height_) == 1;
    };
    if (!size_of(zip_read_prefix(zip_, name, kHeadBytes))) {
      whole_ = zipextract(zip_, name, kMaxPageMember);
      whole_page_ = page;
      if (!size_of(whole_)) return false;
    }
    if (static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_) > kMaxPicturePixels) return false;
    sized_ = page;
    return true;
  }

  ZipArchive zip_;
  std::vector<std::string> pages_;
  int sized_ = -1, width_ = 0, height_ = 0;  // the page whose size was read last
  std::optional<std::string> whole_;          // a member read whole to find its size
  int whole_page_ = -1;
};

}  // namespace

int natural_compare(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      // Digit runs compare by value: skip leading zeros, then the longer run is larger.
      size_t si = i, sj = j;
      while (si < a.size() && a[si] == '0') ++si;
      while (sj < b.size() && b[sj] == '0') ++sj;
      size_t ei = si, ej = sj;
      while (ei < a.size() && is_digit(a[ei])) ++ei;
      while (ej < b.size() && is_digit(b[ej])) ++ej;
      if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
      const int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj));
      if (c != 0) return c < 0 ? -1 : 1;
      i = ei;
      j = ej;
      continue;
    }
    const char ca = ascii_lower(a[i]), cb = ascii_lower(b[j]);
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  // Names equal but for case or leading zeros still get one fixed order.
  const int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::unique_ptr<PageSource> cbz_source_open(const char* path, SourceError& error) {
  error = SourceError::open_failed;
  ZipArchive zip;
  if (!zipopen_comic(zip, path)) return nullptr;
  std::vector<std::string> pages;
  for (const ZipEntryInfo& e : zip.list()) {
    if (is_page_member(e)) pages.emplace_back(e.name);
  }
  if (pages.empty()) {
    error = SourceError::no_pages;
    return nullptr;
  }
  error = SourceError::none;
  std::sort(pages.begin(), pages.end(),
            [](const std::string& a, const std::string& b) { return natural_compare(a, b) < 0; });
  return std::make_unique<CbzSource>(std::move(zip), std::move(pages));
}
