// Pictures of the open book. Pagination asks for every picture's size, so sizes come from the
// first bytes of a member whenever its header allows; drawing keeps the last six scaled bitmaps so
// that turning back and forth does not decode again.
#include "book/book_pictures.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "book/book_model.h"
#include "book/zip_reader.h"
#include "display/framebuffer.h"
#include "display/images.h"

namespace {

constexpr size_t kHeadPeek = 2048;
constexpr size_t kWidePeek = 65536;
constexpr size_t kSizeCacheFirst = 64;
constexpr int kScaledSlots = 6;
constexpr uint64_t kMaxScaledPixels = 60000000;

struct SizeEntry {
  uint64_t word;
  int32_t w, h;  // 0 x 0: the size could not be found
};
struct ScaledEntry {
  uint64_t word = 0;
  uint32_t w = 0, h = 0;
  uint8_t* bitmap = nullptr;
};

std::vector<SizeEntry> g_sizes;
std::array<ScaledEntry, kScaledSlots> g_scaled;
int g_next_slot = 0;

// The member path of a picture word of the open, kept book; NULL otherwise.
const char* picture_member(uint64_t word) {
  const BookModel& book = ql_book();
  if (!book.g_zip_kept || word >= book.words.size()) return nullptr;
  const BookWord& bw = book.words[word];
  if (bw.style != STYLE_PICTURE || !bw.text || bw.text[0] != kPictureMark) return nullptr;
  return bw.text + 1;
}

// At most `max` bytes from the start of the member.
std::string zip_peek(const char* name, size_t max) {
  return zip_read_prefix(ql_book().g_zip, name, max).value_or(std::string());
}

int head_dims(const std::string& bytes, int* w, int* h) {
  return img_head_dims(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), w, h);
}

}  // namespace

int ql_img_dims(uint64_t word, int* w, int* h) {
  const char* member = picture_member(word);
  if (!member) return 0;
  for (const SizeEntry& e : g_sizes) {
    if (e.word != word) continue;
    *w = e.w;
    *h = e.h;
    return e.w > 0 ? 1 : 0;
  }
  int iw = 0, ih = 0;
  int found = head_dims(zip_peek(member, kHeadPeek), &iw, &ih);
  if (!found) found = head_dims(zip_peek(member, kWidePeek), &iw, &ih);
  if (!found) {
    const std::optional<std::string> whole = zipextract(ql_book().g_zip, member);
    found = whole && qlpdf_image_size(reinterpret_cast<const uint8_t*>(whole->data()), whole->size(), &iw, &ih);
  }
  if (!found) iw = ih = 0;
  try {
    if (g_sizes.capacity() == 0) g_sizes.reserve(kSizeCacheFirst);
    g_sizes.push_back({word, iw, ih});
  } catch (const std::bad_alloc&) {
    // Not remembered: the next question reads the header again.
  }
  *w = iw;
  *h = ih;
  return found;
}

int ql_img_draw(uint64_t word, int x, int y, int w, int h) {
  const char* member = picture_member(word);
  if (!member || w < 1 || h < 1 || uint64_t(w) * uint64_t(h) > kMaxScaledPixels) return 0;
  const ScaledEntry* hit = nullptr;
  for (const ScaledEntry& e : g_scaled)
    if (e.bitmap && e.word == word && e.w == uint32_t(w) && e.h == uint32_t(h)) hit = &e;
  if (!hit) {
    const std::optional<std::string> bytes = zipextract(ql_book().g_zip, member);
    if (!bytes) return 0;
    uint8_t* bitmap = static_cast<uint8_t*>(malloc(size_t(w) * size_t(h)));
    if (!bitmap) return 0;
    if (!qlpdf_image_mem(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size(), bitmap, w, h)) {
      free(bitmap);
      return 0;
    }
    ScaledEntry& slot = g_scaled[size_t(g_next_slot)];
    free(slot.bitmap);
    slot = {word, uint32_t(w), uint32_t(h), bitmap};
    g_next_slot = (g_next_slot + 1) % kScaledSlots;
    hit = &slot;
  }
  ql_blit(hit->bitmap, w, h, x, y);
  return 1;
}

void ql_zip_remap(const char* path) {
  BookModel& book = ql_book();
  if (!book.g_zip_kept) return;
  zipclose(book.g_zip);
  if (!path || !zipopen_mode(book.g_zip, path, 1)) book.g_zip_kept = 0;
}

void ql_img_cache_clear() {
  for (ScaledEntry& e : g_scaled) {
    free(e.bitmap);
    e = {};
  }
  g_next_slot = 0;
  std::vector<SizeEntry>().swap(g_sizes);
}
