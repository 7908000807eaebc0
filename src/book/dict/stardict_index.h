// A dictionary's index (".idx"): NUL-terminated headwords, each followed by the big-endian offset
// (32 or 64 bits) and 32-bit size of its definition. StarDict writes its indexes sorted by headword
// with ASCII capitals folded; such an index is searched where it lies on disk, through a table of the
// first headword of every few kilobytes built by one pass at the first lookup, so what is held stays
// small however large the dictionary. An index in any other order has all its headwords held and
// sorted once.
// Either is kept while its file stays unchanged.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "book/dict/dict_file.h"

constexpr uint64_t kDictIndexMax = 0x10000000;  // 256 MiB

struct DictEntry {
  uint64_t offset;
  uint32_t size;
};

class StardictIndex {
 public:
  // Reads `file` through once; nothing when it cannot be read.
  static std::optional<StardictIndex> read(const DictFile& file, bool offsets64);
  // Index bytes read by a lookup, kept for its next search: the base forms tried for one word sort
  // near it, in the same blocks.
  struct ReadBlocks {
    uint64_t from = 0;
    std::optional<std::string> bytes;
  };
  // The first entry in file order whose headword equals `word`, ignoring the case of ASCII
  // letters; `file` is the index file this was read from.
  std::optional<DictEntry> find(const DictFile& file, std::string_view word, ReadBlocks& read) const;
  // Bytes held in memory, for the cache's bound.
  uint64_t held_bytes() const;

 private:
  struct Sample {
    uint64_t at;         // where the entry starts in the file
    uint32_t word_at;    // its headword in `words_`
    uint32_t word_size;
  };
  explicit StardictIndex(bool offsets64) : offsets64_(offsets64) {}
  std::string_view sample_word(const Sample& s) const {
    return std::string_view(words_).substr(s.word_at, s.word_size);
  }
  bool scan(const DictFile& file, bool every_entry);
  bool offsets64_;
  bool in_order_ = true;
  uint64_t end_ = 0;            // where the last whole entry ends
  std::vector<Sample> samples_; // in order: one per block of the file; else every entry, sorted
  std::string words_;           // the samples' headwords
};

// The index file at a device path, open for one lookup, with its table; nothing when it is
// missing, unreadable or larger than kDictIndexMax.
struct OpenIndex {
  DictFile file;
  std::shared_ptr<const StardictIndex> index;
  StardictIndex::ReadBlocks read;
  std::optional<DictEntry> find(std::string_view word) { return index->find(file, word, read); }
};
std::optional<OpenIndex> stardict_index(const char* idx_path, bool offsets64);
