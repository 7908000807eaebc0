#include "book/dict/stardict_index.h"

#include <algorithm>
#include <map>
#include <utility>

#include "base/byte_reader.h"
#include "base/utf8.h"
#include "book/dict/stardict_table_file.h"

namespace {
// An index in order is sampled every so many bytes: a lookup reads about one such block.
constexpr uint64_t kBlock = 4096;
// The first pass reads the file in pieces this large, so building the table never holds the file.
constexpr uint64_t kReadPiece = uint64_t{1} << 20;
// Samples whose blocks a kept table is checked at against the index, spread over it.
constexpr size_t kSpotChecks = 8;
// Indexes held at once, in number and in bytes held; past either the cache starts again, which
// only costs reading the kept tables again.
constexpr size_t kCachedIndexesMax = 32;

unsigned char fold(char c) { return static_cast<unsigned char>(ascii_lower(c)); }

// Byte order after folding ASCII capitals: the order StarDict sorts its indexes in.
int compare_folded(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = fold(a[i]), y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

struct ParsedEntry {
  std::string_view word;
  DictEntry entry;
  size_t next;  // where the next entry starts
};

// The entry starting at `at`; nothing when its NUL or its numbers are not all in `bytes`.
std::optional<ParsedEntry> parse_entry(std::string_view bytes, size_t at, bool offsets64) {
  const size_t nul = bytes.find('\0', at);
  if (nul == std::string_view::npos) return std::nullopt;
  ByteReader numbers = ByteReader(bytes).from(nul + 1);
  const uint64_t offset = offsets64 ? numbers.u64be() : numbers.u32be();
  const uint32_t size = numbers.u32be();
  if (numbers.failed()) return std::nullopt;
  return ParsedEntry{bytes.substr(at, nul - at), {offset, size}, nul + 1 + numbers.pos()};
}

struct CachedIndex {
  DictFile::Stamp stamp;
  bool offsets64;
  std::shared_ptr<const StardictIndex> index;
};

// Only the core thread looks words up.
std::map<std::string, CachedIndex, std::less<>>& cache() {
  static std::map<std::string, CachedIndex, std::less<>> indexes;
  return indexes;
}

// The headword of the entry at `at`, up to its NUL (which a block's entry has).
std::string_view headword_at(std::string_view bytes, size_t at) {
  return bytes.substr(at, bytes.find('\0', at) - at);
}

// Index blocks read by earlier lookups, newest first: lookups near one another in the alphabet,
// and every lookup in an index of a few dozen blocks, read no block again. A block is taken from
// here for the file it was read from, as its stamp gives it, and only once that stamp would show
// any change: a file changed within the clock's tick before could be rewritten again unseen. Only
// the core thread looks words up.
struct KeptBlock {
  DictFile::Stamp stamp;
  uint64_t from;
  bool offsets64;
  std::shared_ptr<const StardictIndex::Block> block;
};
constexpr size_t kBlocksKept = 64;
constexpr uint64_t kKeptBlockMax = 2 * kBlock;  // a block with a long headword is not kept

std::vector<KeptBlock>& kept_blocks() {
  static std::vector<KeptBlock> kept;
  return kept;
}

// Bytes [from, to) of the index open as `file`, with where each whole entry in them starts; null
// when they cannot be read.
std::shared_ptr<const StardictIndex::Block> index_block(const DictFile& file, uint64_t from, uint64_t to,
                                                        bool offsets64) {
  auto& kept = kept_blocks();
  const bool settled = file.stamp().settled();
  const auto hit = std::find_if(kept.begin(), kept.end(), [&](const KeptBlock& k) {
    return k.from == from && k.block->bytes.size() == to - from && k.offsets64 == offsets64 && k.stamp == file.stamp();
  });
  if (settled && hit != kept.end()) {
    std::rotate(kept.begin(), hit, hit + 1);
    return kept.front().block;
  }
  auto bytes = file.read_at(from, to - from);
  if (!bytes) return nullptr;
  auto block = std::make_shared<StardictIndex::Block>();
  block->bytes = std::move(*bytes);
  const size_t numbers = offsets64 ? 12 : 8;
  const std::string_view all(block->bytes);
  for (size_t pos = 0;;) {
    const size_t nul = all.find('\0', pos);
    if (nul == std::string_view::npos || all.size() - nul - 1 < numbers) break;
    block->starts.push_back(static_cast<uint32_t>(pos));
    pos = nul + 1 + numbers;
  }
  if (settled && block->bytes.size() <= kKeptBlockMax) {
    if (kept.size() >= kBlocksKept) kept.pop_back();
    kept.insert(kept.begin(), {file.stamp(), from, offsets64, block});
  }
  return block;
}
}  // namespace

// One pass over the file. In order, the first entry of each block becomes a sample; every entry
// does when `every_entry` is set. Meeting an entry out of order ends a pass that samples blocks.
bool StardictIndex::scan(const DictFile& file, bool every_entry) {
  samples_.clear();
  words_.clear();
  in_order_ = true;
  end_ = 0;
  std::string bytes;  // the file from `bytes_at` on, as far as read
  uint64_t bytes_at = 0, next_sample = 0;
  size_t pos = 0;
  std::string previous;
  bool at_end = false;
  for (;;) {
    const auto e = parse_entry(bytes, pos, offsets64_);
    if (!e) {
      // An entry cut short by the end of the file ends the index there.
      if (at_end) break;
      bytes.erase(0, pos);
      bytes_at += pos;
      pos = 0;
      const uint64_t from = bytes_at + bytes.size();
      const uint64_t n = std::min(kReadPiece, file.size() - from);
      at_end = n == 0;
      if (n == 0) continue;
      const size_t kept = bytes.size();
      bytes.resize(kept + static_cast<size_t>(n));
      if (!file.read_into(from, bytes.data() + kept, n)) return false;
      continue;
    }
    const uint64_t at = bytes_at + pos;
    if (!every_entry && compare_folded(e->word, previous) < 0) {
      in_order_ = false;
      return true;
    }
    if (every_entry || at >= next_sample) {
      samples_.push_back({at, static_cast<uint32_t>(words_.size()), static_cast<uint32_t>(e->word.size())});
      words_.append(e->word);
      next_sample = at + kBlock;
    }
    previous.assign(e->word);
    pos = e->next;
    end_ = bytes_at + pos;
  }
  return true;
}

std::optional<StardictIndex> StardictIndex::read(const DictFile& file, bool offsets64) {
  StardictIndex index(offsets64);
  if (!index.scan(file, false)) return std::nullopt;
  if (!index.in_order_) {
    if (!index.scan(file, true)) return std::nullopt;
    index.in_order_ = false;
    // Stable: of headwords that differ only in case, the first in the file stays first.
    std::stable_sort(index.samples_.begin(), index.samples_.end(), [&index](const Sample& a, const Sample& b) {
      return compare_folded(index.sample_word(a), index.sample_word(b)) < 0;
    });
  }
  index.samples_.shrink_to_fit();
  index.words_.shrink_to_fit();
  return index;
}

uint64_t StardictIndex::held_bytes() const { return samples_.capacity() * sizeof(Sample) + words_.capacity(); }

// A few samples spread over the table, checked against the file. In order: each checked sample's
// block holds whole entries in order from the sample's headword up to the next sample (or the end
// of the last whole entry), and what follows that end holds no whole entry. Any other order: the
// entry at each checked sample has the sample's headword.
bool StardictIndex::agrees_with(const DictFile& file) const {
  const size_t n = samples_.size();
  if (in_order_ && (n == 0 ? end_ != 0 : samples_[0].at != 0)) return false;
  for (size_t i = 1; in_order_ && i < n; ++i) {
    if (samples_[i].at <= samples_[i - 1].at) return false;
  }
  for (size_t k = 0; k < std::min(n, kSpotChecks); ++k) {
    const size_t i = kSpotChecks >= n ? k : k * (n - 1) / (kSpotChecks - 1);
    const Sample& s = samples_[i];
    const uint64_t to = !in_order_ ? s.at + entry_size(s) : i + 1 < n ? samples_[i + 1].at : end_;
    const auto bytes = to <= end_ ? file.read_at(s.at, to - s.at) : std::nullopt;
    if (!bytes) return false;
    std::string_view previous;
    for (size_t pos = 0; pos < bytes->size();) {
      const auto e = parse_entry(*bytes, pos, offsets64_);
      if (!e || (pos == 0 ? e->word != sample_word(s) : compare_folded(e->word, previous) < 0)) return false;
      previous = e->word;
      pos = e->next;
    }
  }
  if (!in_order_) return true;
  const auto tail = file.read_at(end_, file.size() - end_);
  return tail && !parse_entry(*tail, 0, offsets64_);
}

std::optional<DictEntry> StardictIndex::find(const DictFile& file, std::string_view word, ReadBlocks& read) const {
  const auto it = std::lower_bound(samples_.begin(), samples_.end(), word, [this](const Sample& s, std::string_view w) {
    return compare_folded(sample_word(s), w) < 0;
  });
  if (!in_order_) {
    if (it == samples_.end() || compare_folded(sample_word(*it), word) != 0) return std::nullopt;
    const auto bytes = file.read_at(it->at, entry_size(*it));
    const auto e = bytes ? parse_entry(*bytes, 0, offsets64_) : std::nullopt;
    return e ? std::optional(e->entry) : std::nullopt;
  }
  // Every entry before the block ahead of `it` sorts below the word, and every entry after the one
  // at `it` sorts at or above that one, which is not below the word: the first match, if any, lies
  // in that block or is the entry at `it`.
  const size_t b = static_cast<size_t>(it - samples_.begin());
  const uint64_t from = b == 0 ? 0 : samples_[b - 1].at;
  const uint64_t to = it == samples_.end() ? end_ : it->at + entry_size(*it);
  if (!read.block || read.from != from || read.block->bytes.size() != to - from) {
    read.from = from;
    read.block = index_block(file, from, to, offsets64_);
  }
  if (!read.block) return std::nullopt;
  // The block's entries sort as the index does: the first one not below the word is the only one
  // that can be it.
  const std::string_view bytes(read.block->bytes);
  const std::vector<uint32_t>& starts = read.block->starts;
  const auto first = std::lower_bound(starts.begin(), starts.end(), word, [bytes](uint32_t at, std::string_view w) {
    return compare_folded(headword_at(bytes, at), w) < 0;
  });
  if (first == starts.end() || compare_folded(headword_at(bytes, *first), word) != 0) return std::nullopt;
  return parse_entry(bytes, *first, offsets64_)->entry;
}

namespace {
// The table for `file`: built by reading the file through when no kept table verifies, and kept.
std::optional<StardictIndex> table_for(const char* idx_path, const DictFile& file, bool offsets64) {
  if (auto kept = read_kept_table(idx_path, file, offsets64)) return kept;
  auto read = StardictIndex::read(file, offsets64);
  if (read) keep_table(idx_path, file, *read);
  return read;
}
}  // namespace

std::shared_ptr<const StardictIndex> stardict_table(const char* idx_path, const DictFile& file, bool offsets64) {
  auto& indexes = cache();
  if (file.size() > kDictIndexMax) {
    indexes.erase(idx_path);
    return nullptr;
  }
  auto at = indexes.find(idx_path);
  if (at != indexes.end()) {
    if (at->second.stamp == file.stamp() && at->second.offsets64 == offsets64) return at->second.index;
    indexes.erase(at);  // changed: its table goes before the new one is built
  }
  auto read = table_for(idx_path, file, offsets64);
  if (!read) return nullptr;
  auto index = std::make_shared<const StardictIndex>(std::move(*read));
  uint64_t held = index->held_bytes();
  for (const auto& [path, cached] : indexes) held += cached.index->held_bytes();
  if (indexes.size() >= kCachedIndexesMax || held > kDictTablesHeldMax) indexes.clear();
  indexes[idx_path] = {file.stamp(), offsets64, index};
  return index;
}
