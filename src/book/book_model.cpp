#include "book/book_model.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "base/ql_error.h"
#include "book/book_pictures.h"
#include "book/pdf_adapter.h"
#include "book/xml_scan.h"
#include "display/framebuffer.h"

namespace {
constexpr size_t kInitialWords = 4096;
constexpr size_t kInitialLinks = 1024;
constexpr size_t kInitialAnchors = 1024;
constexpr size_t kPoolBlock = 1 << 20;  // word texts are packed into blocks of this size

BookModel& current() {
  static BookModel book;
  return book;
}
}  // namespace

BookModel::BookModel() {
  words.reserve(kInitialWords);
  links.reserve(kInitialLinks);
  anchors.reserve(kInitialAnchors);
}
BookModel::BookModel(BookModel&&) noexcept = default;
BookModel& BookModel::operator=(BookModel&&) noexcept = default;
BookModel::~BookModel() = default;

TextPool::TextPool(TextPool&& other) noexcept
    : blocks_(std::move(other.blocks_)), used_(std::exchange(other.used_, 0)),
      cap_(std::exchange(other.cap_, 0)) {}

TextPool& TextPool::operator=(TextPool&& other) noexcept {
  blocks_ = std::move(other.blocks_);
  used_ = std::exchange(other.used_, 0);
  cap_ = std::exchange(other.cap_, 0);
  return *this;
}

const char* TextPool::copy(std::string_view text) {
  size_t need = text.size() + 1;
  if (need > cap_ - used_) {
    size_t block = std::max(kPoolBlock, need);
    blocks_.push_back(std::unique_ptr<char[]>(new char[block]));
    used_ = 0;
    cap_ = block;
  }
  char* dst = blocks_.back().get() + used_;
  memcpy(dst, text.data(), text.size());
  dst[text.size()] = 0;
  used_ += need;
  return dst;
}

bool BookModel::addword(std::string_view text, uint8_t style, uint8_t brk) {
  if (words.size() >= kMaxWords) {
    ql_fail("Book exceeds 2M words");
    return false;
  }
  try {
    const bool continues = brk == BRK_NONE;
    BookWord w{pool_.copy(text), style, brk, static_cast<uint8_t>(continues ? join_words : 0),
               static_cast<uint8_t>(continues && !join_words ? tie_words : 0), g_link,
               static_cast<uint8_t>(g_sup), g_num};
    words.push_back(w);
  } catch (const std::bad_alloc&) {
    return false;  // a book too large for memory fails the open without a text of its own
  }
  g_num = 0;
  return true;
}

uint32_t BookModel::link_add(std::string_view href) {
  if (links.size() >= kMaxLinks || spine.empty()) return 0;
  try {
    links.push_back({std::string(href), static_cast<uint32_t>(spine.size() - 1)});
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return static_cast<uint32_t>(links.size());
}

void BookModel::anchor_add(std::string_view id) {
  if (anchors.size() >= kMaxAnchors || spine.empty()) return;
  anchors.push_back({static_cast<uint32_t>(spine.size() - 1), std::string(id.substr(0, kAnchorIdMax)),
                     words.size()});
}

bool BookModel::left_out_add(uint64_t count) {
  if (count == 0) return true;
  const uint64_t at = words.size();
  if (!left_out.empty() && left_out.back().at == at) {
    left_out.back().count += count;
    return true;
  }
  const uint64_t left_out_before =
      left_out.empty() ? 0 : left_out.back().old_at + left_out.back().count - left_out.back().at;
  try {
    left_out.push_back({at, at + left_out_before, count});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

uint64_t BookModel::word_from_old(uint64_t old_word) const {
  // The last run that began at or before the word.
  const auto after = std::upper_bound(left_out.begin(), left_out.end(), old_word,
                                      [](uint64_t w, const LeftOutRun& r) { return w < r.old_at; });
  if (after == left_out.begin()) return old_word;
  const LeftOutRun& run = *(after - 1);
  const uint64_t past_start = old_word - run.old_at;
  return past_start < run.count ? run.at : run.at + (past_start - run.count);
}

void BookModel::range_from_old(uint64_t& start, uint64_t& end) const {
  const bool had_words = end > start;
  start = word_from_old(start);
  end = word_from_old(end);
  if (!had_words || end > start || words.empty()) return;
  // Every word of it is left out now: it keeps the word after them, or the last word when they
  // ended the book.
  start = std::min<uint64_t>(start, words.size() - 1);
  end = start + 1;
}

BookModel& ql_book() { return current(); }

void ql_book_replace(BookModel&& next) {
  current() = std::move(next);
  ql_img_cache_clear();
}

int64_t ql_link_token(uint32_t id) {
  const BookModel& b = current();
  if (id < 1 || id > b.links.size()) return -1;
  const BookLink& link = b.links[id - 1];
  if (link.spine >= b.spine.size()) return -1;
  std::string_view href = link.href;
  size_t target = link.spine;
  if (!href.starts_with('#')) {
    std::string path = normpath(path_folder(b.spine[link.spine].path), href);
    target = b.spine.size();
    for (size_t i = 0; i < b.spine.size(); i++) {
      if (b.spine[i].path == path) {
        target = i;
        break;
      }
    }
    if (target == b.spine.size()) return -1;
  }
  size_t hash = href.find('#');
  if (hash != std::string_view::npos && hash + 1 < href.size()) {
    std::string_view fragment = href.substr(hash + 1);
    for (const BookAnchor& a : b.anchors) {
      if (a.spine == target && a.id == fragment) return static_cast<int64_t>(a.word);
    }
  }
  return static_cast<int64_t>(b.spine[target].first_word);
}

const char* ql_language() { return current().book_lang.c_str(); }
const char* ql_title() { return current().title.c_str(); }
const char* ql_author() { return current().author.c_str(); }
uint64_t ql_word_count() { return current().words.size(); }
const BookWord* ql_words() { return current().words.data(); }
uint32_t ql_is_pdf() { return current().pdf_mode; }
int ql_page_count() { return qlpdf_count(); }
int ql_width() { return ql_fb().width; }
int ql_height() { return ql_fb().height; }
