// Pair kerning read straight from a face's tables: GPOS pair adjustment (formats 1 and 2, also
// behind extension lookups) of the `kern` feature, else the format-0 `kern` table. Every read is
// bounded, so a damaged table gives 0 rather than a crash.
#pragma once
#include <cstdint>
#include <vector>

#include "display/sfnt.h"

class KernReader {
 public:
  void init(ByteReader file, uint32_t face);
  // Whether the face has a `kern` or a `GPOS` table at all.
  bool has_tables() const { return has_tables_; }
  // Horizontal advance adjustment between two glyphs, in font units.
  int advance(uint32_t first, uint32_t second) const;

 private:
  struct Lookup {
    std::vector<ByteReader> pair_subtables;
  };
  std::vector<Lookup> lookups_;
  ByteReader kern_pairs_;  // format-0 pairs, 6 bytes each
  bool has_tables_ = false;
};
