// The MOBI-family reader's pieces: PalmDB records, the headers, decompression, KF8 indexes and the
// turning of HTML parts into chapters. Shared by the reader and the library's metadata probe.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_reader.h"
#include "book/convert/convert_model.h"

constexpr uint32_t kNoRecord = 0xFFFFFFFF;
constexpr uint32_t kCompressionNone = 1;
constexpr uint32_t kCompressionPalmDoc = 2;
constexpr uint32_t kCompressionHuff = 17480;
constexpr uint64_t kMobiTextMax = 419430400;  // 400 MiB of decompressed text
constexpr const char* kDrmMessage = "This book is copy-protected (DRM). Corvell Nalo opens only books without DRM.";

struct PalmDb {
  ByteReader file;
  uint32_t count = 0;
  // Record i, or an empty view when it is missing or its bounds are broken.
  std::optional<ByteReader> rec(uint32_t i) const;
};

// Opens the PalmDB header (type and creator "BOOKMOBI" or, with allow_text, "TEXtREAd").
std::optional<PalmDb> palmdb_open(ByteReader file, bool allow_text);

struct MobiHeader {
  uint32_t record = 0;  // the header's own record; the others count from it
  uint32_t text_count = 0;
  uint32_t compression = 0;
  uint32_t first_image = kNoRecord;
  uint32_t huff_record = kNoRecord;
  uint32_t huff_count = 0;
  uint32_t extra_flags = 0;
  uint32_t version = 0;
  uint32_t encoding = 1252;
  uint32_t fdst = kNoRecord, fragment_index = kNoRecord, skeleton_index = kNoRecord;
  bool has_mobi = false;  // false: a PalmDOC record with no pictures

  // A record number of the header as a number in the file (kNoRecord for none or past the range).
  uint32_t at(uint64_t relative) const {
    return relative >= kNoRecord || record + relative >= kNoRecord ? kNoRecord
                                                                   : static_cast<uint32_t>(record + relative);
  }
};

struct MobiMeta {
  std::string title, author, language;
  uint32_t cover = kNoRecord;     // counted from the first image
  uint32_t boundary = kNoRecord;  // the KF8 half's header record
};

enum class HeadResult { parsed, damaged, encrypted };
HeadResult mobi_head(const PalmDb& db, uint32_t i, MobiHeader& h, MobiMeta& meta);

// PalmDOC LZ77 of one record, appended to out.
void palmdoc_unpack(std::string& out, ByteReader in);

// The HUFF and CDIC tables of a book, loaded once.
class HuffTables {
 public:
  bool load(const PalmDb& db, uint32_t huff_record, uint32_t huff_count);
  // Decodes one record, appending at most `budget` bytes to out.
  void unpack(std::string& out, ByteReader in, uint64_t budget);

 private:
  struct Entry {
    ByteReader bytes;
    bool literal = false;
    bool busy = false;      // being expanded (a loop in the dictionary)
    bool expanded = false;  // `expansion` holds the result
    std::string expansion;
  };
  void expand(std::string& out, ByteReader in, uint64_t budget, int depth);
  void emit(std::string& out, Entry& e, uint64_t budget, int depth);
  uint32_t cache_[256] = {};
  uint32_t min_code_[33] = {};
  uint32_t max_code_[33] = {};
  std::vector<Entry> dict_;
};

struct IndexEntry {
  uint64_t label = 0;
  uint32_t tag6[2] = {0, 0};
  uint32_t tag1 = 0;
};
// The entries of an INDX index starting at record `record`; empty when it cannot be read.
std::vector<IndexEntry> read_index(const PalmDb& db, uint32_t record);

// Assembles the KF8 parts from the skeleton and fragment indexes; empty when they cannot be read.
std::vector<std::string> kf8_parts(const PalmDb& db, const MobiHeader& h, std::string_view text);

// Turns one HTML part into a chapter, with picture references mapped to the picture files.
void add_part(ConvBook& book, std::string_view html, bool kf8);
