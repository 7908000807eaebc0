#include "base/byte_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Eight bytes whose order shows in every read.
constexpr uint8_t kBytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

TEST(ByteReader, PeeksReadBothByteOrdersAndGiveZeroOutside) {
  const ByteReader r(kBytes, sizeof kBytes);
  struct Case {
    const char* name;
    uint64_t got;
    uint64_t expected;
  } cases[] = {
      {"u8 first", r.u8_at(0), 0x01},
      {"u8 last", r.u8_at(7), 0x08},
      {"u8 at the end", r.u8_at(8), 0},
      {"u16le", r.u16le_at(0), 0x0201},
      {"u16be", r.u16be_at(0), 0x0102},
      {"u16be ending at the end", r.u16be_at(6), 0x0708},
      {"u16be one past", r.u16be_at(7), 0},
      {"u24le", r.u24le_at(1), 0x040302},
      {"u24be", r.u24be_at(1), 0x020304},
      {"u24be one past", r.u24be_at(6), 0},
      {"u32le", r.u32le_at(4), 0x08070605},
      {"u32be", r.u32be_at(4), 0x05060708},
      {"u32le one past", r.u32le_at(5), 0},
      {"u64le", r.u64le_at(0), 0x0807060504030201},
      {"u64be", r.u64be_at(0), 0x0102030405060708},
      {"u64be one past", r.u64be_at(1), 0},
      {"offset that would wrap around", r.u32be_at(SIZE_MAX - 1), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.got, c.expected);
  }
  EXPECT_FALSE(r.failed()) << "peeks never touch the flag";
  EXPECT_EQ(r.pos(), 0u);
}

TEST(ByteReader, CursorReadsFailAtTheEndAndStayFailed) {
  struct Case {
    const char* name;
    size_t skip;                        // bytes skipped before the read
    uint64_t (*read)(ByteReader&);
    uint64_t expected;                  // 0 when the read does not fit
    bool fits;
  } cases[] = {
      {"u8 of the last byte", 7, [](ByteReader& r) -> uint64_t { return r.u8(); }, 0x08, true},
      {"u8 at the end", 8, [](ByteReader& r) -> uint64_t { return r.u8(); }, 0, false},
      {"u16le exactly fitting", 6, [](ByteReader& r) -> uint64_t { return r.u16le(); }, 0x0807, true},
      {"u16be one short", 7, [](ByteReader& r) -> uint64_t { return r.u16be(); }, 0, false},
      {"u24le", 5, [](ByteReader& r) -> uint64_t { return r.u24le(); }, 0x080706, true},
      {"u24be one short", 6, [](ByteReader& r) -> uint64_t { return r.u24be(); }, 0, false},
      {"u32le", 4, [](ByteReader& r) -> uint64_t { return r.u32le(); }, 0x08070605, true},
      {"u32be one short", 5, [](ByteReader& r) -> uint64_t { return r.u32be(); }, 0, false},
      {"u64le whole", 0, [](ByteReader& r) -> uint64_t { return r.u64le(); }, 0x0807060504030201, true},
      {"u64be one short", 1, [](ByteReader& r) -> uint64_t { return r.u64be(); }, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteReader r(kBytes, sizeof kBytes);
    ASSERT_TRUE(r.skip(c.skip));
    EXPECT_EQ(c.read(r), c.expected);
    EXPECT_EQ(r.failed(), !c.fits);
    if (c.fits) continue;
    // A failed read leaves nothing to read, and the flag stays after a seek back.
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(r.u8(), 0);
    ASSERT_TRUE(r.seek(0));
    EXPECT_EQ(r.u8(), 0x01);
    EXPECT_TRUE(r.failed());
  }
}

TEST(ByteReader, SkipSeekAndTakeRefuseWhatDoesNotFit) {
  ByteReader r(kBytes, sizeof kBytes);
  EXPECT_TRUE(r.skip(3));
  EXPECT_EQ(r.pos(), 3u);
  EXPECT_EQ(r.remaining(), 5u);
  EXPECT_TRUE(r.seek(8));
  EXPECT_EQ(r.remaining(), 0u);
  EXPECT_TRUE(r.skip(0));
  EXPECT_FALSE(r.failed());

  EXPECT_FALSE(r.seek(9));
  EXPECT_TRUE(r.failed());

  ByteReader s(kBytes, sizeof kBytes);
  EXPECT_FALSE(s.skip(SIZE_MAX));
  EXPECT_TRUE(s.failed());
  EXPECT_EQ(s.remaining(), 0u);

  ByteReader t(kBytes, sizeof kBytes);
  t.u8();
  const ByteReader middle = t.take(4);
  EXPECT_EQ(t.pos(), 5u);
  EXPECT_EQ(middle.size(), 4u);
  EXPECT_EQ(middle.u32be_at(0), 0x02030405u);
  const ByteReader too_long = t.take(4);
  EXPECT_TRUE(too_long.empty());
  EXPECT_TRUE(too_long.failed());
  EXPECT_TRUE(t.failed());
}

TEST(ByteReader, SubViewsStayInsideTheirParent) {
  const ByteReader r(kBytes, sizeof kBytes);
  struct Case {
    const char* name;
    ByteReader view;
    size_t size;
    bool failed;
  } cases[] = {
      {"sub in the middle", r.sub(2, 3), 3, false},
      {"sub to the end", r.sub(5, 3), 3, false},
      {"empty sub at the end", r.sub(8, 0), 0, false},
      {"sub one past", r.sub(6, 3), 0, true},
      {"sub starting past", r.sub(9, 0), 0, true},
      {"sub with a length that would wrap", r.sub(4, SIZE_MAX - 2), 0, true},
      {"from the middle", r.from(6), 2, false},
      {"from the end", r.from(8), 0, false},
      {"from past the end", r.from(9), 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.view.size(), c.size);
    EXPECT_EQ(c.view.failed(), c.failed);
  }
  // A sub-view's reads end at its own end, not its parent's.
  ByteReader middle = r.sub(2, 3);
  EXPECT_EQ(middle.u16be_at(1), 0x0405);
  EXPECT_EQ(middle.u16be_at(2), 0);
  EXPECT_EQ(middle.u24be(), 0x030405u);
  EXPECT_EQ(middle.u8(), 0);
  EXPECT_TRUE(middle.failed());
}

TEST(ByteReader, TextAndTagsComeFromTheBytes) {
  const std::string file = std::string("RIFF\x10\0\0\0WAVE", 12);
  ByteReader r(file);
  EXPECT_TRUE(r.matches_at(0, "RIFF"));
  EXPECT_TRUE(r.matches_at(8, "WAVE"));
  EXPECT_FALSE(r.matches_at(9, "WAVE")) << "a tag running past the end";
  EXPECT_FALSE(r.matches_at(0, "RIFX"));
  EXPECT_EQ(r.text(4), "RIFF");
  EXPECT_EQ(r.u32le(), 16u);
  EXPECT_EQ(r.text(5), "");
  EXPECT_TRUE(r.failed());
}

TEST(ByteReader, EmptyAndNullViewsReadNothing) {
  const std::vector<uint8_t> none;
  for (ByteReader r : {ByteReader(), ByteReader(none.data(), none.size()), ByteReader(static_cast<const uint8_t*>(nullptr), 5)}) {
    EXPECT_TRUE(r.empty());
    EXPECT_EQ(r.u32le_at(0), 0u);
    EXPECT_EQ(r.u8(), 0);
    EXPECT_TRUE(r.failed());
  }
}

}  // namespace
