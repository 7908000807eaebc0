// A dictionary's index (".idx"): NUL-terminated headwords, each followed by the big-endian offset
// (32 or 64 bits) and 32-bit size of its definition. The index is read once and kept, sorted for
// lookups that ignore ASCII case, while its file stays unchanged, so a lookup does not read it.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr uint64_t kDictIndexMax = 0x10000000;  // 256 MiB

struct DictEntry {
  std::string_view headword;  // as the index spells it (valid while the index is held)
  uint64_t offset;
  uint32_t size;
};

class StardictIndex {
 public:
  StardictIndex(std::string bytes, bool offsets64);
  // The first entry in file order whose headword equals `word`, ignoring the case of ASCII
  // letters.
  std::optional<DictEntry> find(std::string_view word) const;
  size_t entries() const { return sorted_.size(); }

 private:
  DictEntry entry_at(uint32_t at) const;
  std::string bytes_;
  bool offsets64_;
  std::vector<uint32_t> sorted_;  // entry starts, by folded headword, then by file position
};

// The index at a device path; nothing when it is missing or larger than kDictIndexMax. An entry
// whose numbers would pass the end of the file ends the index there.
std::shared_ptr<const StardictIndex> stardict_index(const char* idx_path, bool offsets64);
