#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "base/ql_error.h"
#include "book/inflate.h"
#include "book/zip_reader.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace {

struct ZipFile {
  TempDir dir;
  std::string path = dir / "a.zip";
  explicit ZipFile(const std::string& bytes) { write_file(path, bytes); }
};

std::string text_of(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; i++) s += "word" + std::to_string(i % 97) + " ";
  s.resize(n);
  return s;
}

TEST(ZipReader, OpensOnlyArchivesWithAnEndRecordAtTheEnd) {
  std::string empty_end = zipw::build({});
  ASSERT_EQ(empty_end.size(), 22u);
  std::string lost_record = zipw::build({}, {}, 0);
  lost_record[lost_record.size() - 34] = 1;  // the locator's offset of the ZIP64 end record
  struct Case {
    const char* name;
    std::string bytes;
    bool opens;
    const char* error;
  } cases[] = {
      {"21 bytes", std::string(21, '\0'), false, "File too large or too small"},
      {"empty file", "", false, "File too large or too small"},
      {"empty end record", empty_end, true, ""},
      {"trailing bytes not in the comment", empty_end + "xx", false, "Unsupported ZIP directory / ZIP64"},
      {"comment counted", zipw::build({}, "hello"), true, ""},
      {"garbage", std::string(5000, 'x'), false, "Unsupported ZIP directory / ZIP64"},
      {"ZIP64 end record not where its locator says", lost_record, false, "Damaged ZIP64 end record"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZipFile f(c.bytes);
    ZipArchive z;
    ql_clear_error();
    EXPECT_EQ(zipopen_mode(z, f.path.c_str(), 1), c.opens);
    EXPECT_STREQ(ql_error(), c.error);
    if (c.opens) {
      EXPECT_EQ(z.entries(), 0u);
      EXPECT_FALSE(zipextract(z, "mimetype"));
    }
  }
  ZipArchive z;
  EXPECT_FALSE(zipopen_mode(z, "/nonexistent/book.epub", 1));
  EXPECT_STREQ(ql_error(), "Cannot open book");

  // Size limits are checked before anything is read (sparse files cost no disk).
  TempDir dir;
  std::string big = dir / "big.epub";
  write_file(big, empty_end);
  ASSERT_EQ(truncate(big.c_str(), 0x8000001), 0);
  EXPECT_FALSE(zipopen_mode(z, big.c_str(), 0));
  EXPECT_STREQ(ql_error(), "ZIP size invalid or over 128 MiB");
  ASSERT_EQ(truncate(big.c_str(), 0x40000001), 0);
  EXPECT_FALSE(zipopen_mode(z, big.c_str(), 1));
  EXPECT_STREQ(ql_error(), "File too large or too small");
}

TEST(ZipReader, EndRecordWithDiskNumbersIsRefused) {
  std::string bytes = zipw::build({{"a", "b"}});
  bytes[bytes.size() - 22 + 4] = 1;  // this disk
  ZipFile f(bytes);
  ZipArchive z;
  EXPECT_FALSE(zipopen_mode(z, f.path.c_str(), 1));
  EXPECT_STREQ(ql_error(), "Unsupported ZIP directory / ZIP64");
}

TEST(ZipReader, ExtractsStoredAndDeflatedMembersByExactName) {
  std::string big = text_of(300000);
  std::string binary("\x89PNG\0\0\x01\x02", 8);
  ZipFile f(zipw::build({{"mimetype", "application/epub+zip", zipw::kStored},
                         {"OEBPS/Text/ch1.xhtml", big, zipw::kDeflated},
                         {"img/p.png", binary, zipw::kStored},
                         {"Ünïcode/名前.xhtml", "x", zipw::kDeflated},
                         {"empty", "", zipw::kDeflated}}));
  for (int map : {1, 0}) {
    SCOPED_TRACE(map);
    ZipArchive z;
    ASSERT_TRUE(zipopen_mode(z, f.path.c_str(), map));
    EXPECT_EQ(z.entries(), 5u);
    EXPECT_EQ(z.mapped(), static_cast<uint32_t>(map));
    EXPECT_EQ(zipextract(z, "mimetype"), "application/epub+zip");
    EXPECT_EQ(zipextract(z, "OEBPS/Text/ch1.xhtml"), big);
    EXPECT_EQ(zipextract(z, "img/p.png"), binary);
    EXPECT_EQ(zipextract(z, "Ünïcode/名前.xhtml"), "x");
    EXPECT_EQ(zipextract(z, "empty"), "");
    EXPECT_FALSE(zipextract(z, "oebps/text/ch1.xhtml"));  // letter case matters
    EXPECT_FALSE(zipextract(z, "/mimetype"));
    EXPECT_EQ(zip_read_prefix(z, "OEBPS/Text/ch1.xhtml", 2048), big.substr(0, 2048));
    EXPECT_EQ(zip_read_prefix(z, "img/p.png", 4), binary.substr(0, 4));
    EXPECT_EQ(zip_read_prefix(z, "img/p.png", 100), binary);
  }
}

// Each member is also listed, with the verdict on whether its stated sizes can be true of the
// archive (`is_damaged`); ZIP64 rows state theirs in the extra field.
TEST(ZipReader, RefusesMembersItCannotTrust) {
  std::string body = text_of(5000);
  constexpr uint64_t kTiB = uint64_t{1} << 40;
  struct Case {
    const char* name;
    zipw::Member member;
    std::optional<std::string> expected;
    bool listed_damaged = false;
    bool zip64 = false;
  } cases[] = {
      {"encrypted", {"m", body, zipw::kDeflated, 1}, std::nullopt},
      {"stored with sizes that differ", {"m", body, zipw::kStored, 0, 4000}, std::nullopt, true},
      {"inflates short of its size", {"m", body, zipw::kDeflated, 0, 6000}, std::nullopt},
      {"inflates past its size is cut off", {"m", body, zipw::kDeflated, 0, 4000}, body.substr(0, 4000)},
      {"unknown method", {"m", body, zipw::kStored, 0, std::nullopt, 12}, std::nullopt},
      {"deflate flag on stored bytes", {"m", body, zipw::kStored, 0, std::nullopt, 8}, std::nullopt},
      {"over 16 MiB stated", {"m", body, zipw::kDeflated, 0, 0x1000001}, std::nullopt, true},
      {"path traversal", {"../m", body, zipw::kStored}, std::nullopt},
      {"absolute path", {"/m", body, zipw::kStored}, std::nullopt},
      {"backslash path", {"..\\m", body, zipw::kStored}, std::nullopt},
      {"ZIP64 size of 2^64 - 1", {"m", body, zipw::kDeflated, 0, UINT64_MAX}, std::nullopt, true, true},
      {"ZIP64 deflated TiB", {"m", body, zipw::kDeflated, 0, kTiB}, std::nullopt, true, true},
      {"ZIP64 stored TiB past the file", {"m", body, zipw::kStored, 0, kTiB, {}, 0, kTiB}, std::nullopt, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZipFile f(zipw::build({c.member}, {}, c.zip64 ? std::optional<uint64_t>(0) : std::nullopt));
    ZipArchive z;
    ASSERT_TRUE(zipopen_mode(z, f.path.c_str(), 1));
    EXPECT_EQ(zipextract(z, c.member.name), c.expected);
    const std::vector<ZipMember> listed = zip_members(z);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].is_damaged, c.listed_damaged);
  }
}

TEST(ZipReader, MembersAtDeflatesHighestRatioStillExtract) {
  const std::string zeros(8 << 20, '\0');  // compresses about as far as deflate can
  ZipFile f(zipw::build({{"z", zeros, zipw::kDeflated}}));
  ZipArchive z;
  ASSERT_TRUE(zipopen_mode(z, f.path.c_str(), 1));
  EXPECT_EQ(zipextract(z, "z"), zeros);
}

TEST(ZipReader, MemberPathSafety) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {{"a/b.xhtml", true},  {"a..b/c", true}, {"..", false},     {"a/../../b", false},
               {"/etc/x", false},    {"C:/x", false},  {"a\\b", false},   {"", false},
               {"a/./b", true},      {"...", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(zip_member_path_is_safe(c.name), c.safe);
  }
}

TEST(ZipReader, DuplicateEntriesGiveTheFirst) {
  ZipFile f(zipw::build({{"a.txt", "first"}, {"a.txt", "second"}}));
  ZipArchive z;
  ASSERT_TRUE(zipopen_mode(z, f.path.c_str(), 1));
  EXPECT_EQ(zipextract(z, "a.txt"), "first");
}

TEST(ZipReader, FileTruncatedWhileOpenFailsReadsWithoutCrashing) {
  std::string big = text_of(200000);
  ZipFile f(zipw::build({{"a", big, zipw::kStored}, {"b", big, zipw::kDeflated}}));
  ZipArchive z;
  ASSERT_TRUE(zipopen_mode(z, f.path.c_str(), 1));
  ASSERT_EQ(truncate(f.path.c_str(), 1000), 0);
  EXPECT_FALSE(zipextract(z, "a"));
  EXPECT_FALSE(zipextract(z, "b"));
  ASSERT_EQ(truncate(f.path.c_str(), 0), 0);
  EXPECT_FALSE(zipextract(z, "a"));
  EXPECT_FALSE(zip_read_prefix(z, "b", 100).value_or("").size());
}

TEST(ZipReader, EveryPrefixAndByteFlipFailsOrReadsCleanly) {
  std::string bytes = zipw::build({{"mimetype", "application/epub+zip", zipw::kStored},
                                   {"a/b.xhtml", text_of(3000), zipw::kDeflated},
                                   {"c", text_of(500), zipw::kStored}});
  TempDir dir;
  std::string path = dir / "t.zip";
  auto try_all = [&](const std::string& b) {
    write_file(path, b);
    ZipArchive z;
    if (!zipopen_mode(z, path.c_str(), 1)) return;
    for (const char* name : {"mimetype", "a/b.xhtml", "c"}) {
      auto m = zipextract(z, name);
      if (m) {
        EXPECT_LE(m->size(), 3000u);
      }
      zip_read_prefix(z, name, 64);
    }
  };
  for (size_t n = 0; n <= bytes.size(); n++) try_all(bytes.substr(0, n));
  std::mt19937 rng(7);
  for (size_t i = 0; i < bytes.size(); i++) {
    std::string b = bytes;
    b[i] = static_cast<char>(b[i] ^ (1 + rng() % 255));
    try_all(b);
  }
}

TEST(Inflate, BoundedRawAndGzip) {
  std::string data = text_of(100000);
  std::string raw = zipw::deflate_raw(data);
  auto in = std::span(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
  std::vector<uint8_t> out(data.size());
  InflateResult r = inflate_raw(in, out);
  EXPECT_EQ(r.status, InflateStatus::done);
  EXPECT_EQ(r.produced, data.size());
  EXPECT_EQ(std::string(out.begin(), out.end()), data);

  std::vector<uint8_t> small(1000);
  r = inflate_raw(in, small);
  EXPECT_EQ(r.status, InflateStatus::full);
  EXPECT_EQ(std::string(small.begin(), small.end()), data.substr(0, 1000));

  r = inflate_raw(in.subspan(0, raw.size() / 2), out);
  EXPECT_EQ(r.status, InflateStatus::short_input);
  EXPECT_LT(r.produced, data.size());

  std::string junk(100, '\xFF');
  r = inflate_raw(std::span(reinterpret_cast<const uint8_t*>(junk.data()), junk.size()), out);
  EXPECT_EQ(r.status, InflateStatus::damaged);

  // gzip: a zlib stream with the gzip wrapper.
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string gz(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(gz.data());
  z.avail_out = static_cast<uInt>(gz.size());
  deflate(&z, Z_FINISH);
  gz.resize(z.total_out);
  deflateEnd(&z);
  auto gzs = std::span(reinterpret_cast<const uint8_t*>(gz.data()), gz.size());
  EXPECT_EQ(inflate_gzip(gzs, data.size()), data);
  EXPECT_FALSE(inflate_gzip(gzs, data.size() - 1));
  EXPECT_FALSE(inflate_gzip(gzs.subspan(0, gz.size() - 4), data.size()));
  EXPECT_FALSE(inflate_gzip(in, data.size()));  // raw data is not gzip
}

}  // namespace
