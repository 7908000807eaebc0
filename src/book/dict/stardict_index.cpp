#include "book/dict/stardict_index.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "base/byte_reader.h"
#include "base/utf8.h"
#include "book/dict/dict_file.h"

namespace {
// Indexes kept at once, in number and in bytes; past either the cache starts again, which only
// costs a re-read.
constexpr size_t kCachedIndexesMax = 32;
constexpr uint64_t kCachedBytesMax = uint64_t{64} << 20;  // a device has little memory to spare

unsigned char fold(char c) { return static_cast<unsigned char>(ascii_lower(c)); }

// Byte order after folding ASCII capitals: the order the sorted entries are searched in.
int compare_folded(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = fold(a[i]), y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

struct CachedIndex {
  DictFile::Stamp stamp;
  bool offsets64;
  uint64_t bytes;
  std::shared_ptr<const StardictIndex> index;
};

// Only the core thread looks words up.
std::map<std::string, CachedIndex, std::less<>>& cache() {
  static std::map<std::string, CachedIndex, std::less<>> indexes;
  return indexes;
}
}  // namespace

StardictIndex::StardictIndex(std::string bytes, bool offsets64)
    : bytes_(std::move(bytes)), offsets64_(offsets64) {
  const size_t trailer = offsets64 ? 12 : 8;
  const size_t n = bytes_.size();
  for (size_t at = 0; at < n;) {
    const void* nul = memchr(bytes_.data() + at, 0, n - at);
    if (!nul) break;
    const size_t numbers = static_cast<size_t>(static_cast<const char*>(nul) - bytes_.data()) + 1;
    if (trailer > n - numbers) break;
    sorted_.push_back(static_cast<uint32_t>(at));
    at = numbers + trailer;
  }
  std::stable_sort(sorted_.begin(), sorted_.end(), [this](uint32_t a, uint32_t b) {
    return compare_folded(bytes_.data() + a, bytes_.data() + b) < 0;
  });
}

DictEntry StardictIndex::entry_at(uint32_t at) const {
  const std::string_view headword(bytes_.data() + at);
  // The constructor kept only entries whose numbers lie inside the index.
  ByteReader numbers = ByteReader(bytes_).from(at + headword.size() + 1);
  const uint64_t offset = offsets64_ ? numbers.u64be() : numbers.u32be();
  return {headword, offset, numbers.u32be()};
}

std::optional<DictEntry> StardictIndex::find(std::string_view word) const {
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), word, [this](uint32_t at, std::string_view w) {
    return compare_folded(bytes_.data() + at, w) < 0;
  });
  if (it == sorted_.end() || compare_folded(bytes_.data() + *it, word) != 0) return std::nullopt;
  return entry_at(*it);
}

std::shared_ptr<const StardictIndex> stardict_index(const char* idx_path, bool offsets64) {
  auto& indexes = cache();
  const auto file = DictFile::open(idx_path);
  if (!file || file->size() > kDictIndexMax) {
    indexes.erase(idx_path);
    return nullptr;
  }
  auto at = indexes.find(idx_path);
  if (at != indexes.end() && at->second.stamp == file->stamp() && at->second.offsets64 == offsets64) {
    return at->second.index;
  }
  auto bytes = file->read_at(0, file->size());
  if (!bytes) return nullptr;
  uint64_t held = bytes->size();
  for (const auto& [path, cached] : indexes) held += cached.bytes;
  if (indexes.size() >= kCachedIndexesMax || held > kCachedBytesMax) indexes.clear();
  auto index = std::make_shared<const StardictIndex>(std::move(*bytes), offsets64);
  indexes[idx_path] = {file->stamp(), offsets64, file->size(), index};
  return index;
}
