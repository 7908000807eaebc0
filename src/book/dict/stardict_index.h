// A dictionary's index (".idx"): NUL-terminated headwords, each followed by the big-endian offset
// (32 or 64 bits) and 32-bit size of its definition. StarDict writes its indexes sorted by headword
// with ASCII capitals folded; such an index is searched where it lies on disk, through a table of the
// first headword of every few kilobytes, so what is held stays small however large the dictionary.
// An index in any other order has all its headwords held and sorted once.
// Either table is built by one pass over the file, held while the file stays unchanged, and kept in
// the state folder (stardict_table_file.h), so that a later start reads the table instead of the
// index.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "book/dict/dict_file.h"

constexpr uint64_t kDictIndexMax = 0x10000000;  // 256 MiB
// The most the held tables take together: a device has little memory to spare.
constexpr uint64_t kDictTablesHeldMax = uint64_t{64} << 20;

struct DictEntry {
  uint64_t offset;
  uint32_t size;
};

class StardictIndex {
 public:
  // Reads `file` through once; nothing when it cannot be read.
  static std::optional<StardictIndex> read(const DictFile& file, bool offsets64);
  // A block of index bytes with where each whole entry in it starts.
  struct Block {
    std::string bytes;
    std::vector<uint32_t> starts;
  };
  // The block read by a lookup, kept for its next search: the base forms tried for one word sort
  // near it, in the same block. Blocks are kept between lookups too, within a bound, for the
  // file as its stamp gives it once that stamp would show any change.
  struct ReadBlocks {
    uint64_t from = 0;
    std::shared_ptr<const Block> block;
  };
  // The first entry in file order whose headword equals `word`, ignoring the case of ASCII
  // letters; `file` is the index file this was read from.
  std::optional<DictEntry> find(const DictFile& file, std::string_view word, ReadBlocks& read) const;
  // Bytes held in memory, for the cache's bound.
  uint64_t held_bytes() const;

  // The table in the form kept in the state folder, for the index at `idx_path` as `stamp` gives it.
  std::string kept_form(std::string_view idx_path, const DictFile::Stamp& stamp) const;
  // A table from its kept form; nothing unless the bytes are whole, were made for `file` at
  // `idx_path` as the file is now, and agree with the file where spot-checked.
  static std::optional<StardictIndex> from_kept_form(std::string_view bytes, std::string_view idx_path,
                                                     const DictFile& file, bool offsets64);

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
  // The size of the entry a sample starts: its headword, the NUL and the numbers.
  uint64_t entry_size(const Sample& s) const { return uint64_t{s.word_size} + 1 + (offsets64_ ? 12 : 8); }
  bool scan(const DictFile& file, bool every_entry);
  bool agrees_with(const DictFile& file) const;
  bool offsets64_;
  bool in_order_ = true;
  uint64_t end_ = 0;            // where the last whole entry ends
  std::vector<Sample> samples_; // in order: one per block of the file; else every entry, sorted
  std::string words_;           // the samples' headwords
};

// An index open for one lookup: its file, its table and the bytes the lookup has read.
struct OpenIndex {
  const DictFile& file;
  std::shared_ptr<const StardictIndex> index;
  StardictIndex::ReadBlocks read;
  std::optional<DictEntry> find(std::string_view word) { return index->find(file, word, read); }
};

// The table of the index open as `file` at the device path `idx_path`: the one held for it while
// the file is unchanged, else the one kept in the state folder when it verifies, else one built
// by reading the file through (and kept). Tables are held within a bound, so that a lookup holds
// only the tables it uses. Nothing when the file cannot be read or is larger than kDictIndexMax.
std::shared_ptr<const StardictIndex> stardict_table(const char* idx_path, const DictFile& file, bool offsets64);
