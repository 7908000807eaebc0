#include "base/text_lines.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/device_folder.h"

namespace {
std::vector<std::string> read_lines(const char* path, size_t max_lines, size_t max_spans,
                                    long tail_bytes) {
  std::vector<TextLine> lines(max_lines);
  std::vector<std::string_view> spans(max_spans);
  size_t n = text_read_lines(path, lines, spans, tail_bytes);
  return std::vector<std::string>(spans.begin(), spans.begin() + static_cast<long>(n));
}

// `count` lines "line NNN" padded with dots to `width` bytes including the newline.
std::string numbered_lines(int count, size_t width) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    std::string line = "line " + std::to_string(i);
    line.resize(width - 1, '.');
    text += line + "\n";
  }
  return text;
}

std::string line_number(const std::string& line) {
  return line.substr(5, line.find('.') - 5);
}
}  // namespace

TEST(TextLines, SkipsBlankLinesWithoutUsingTheLimit) {
  DeviceFolder root;
  write_file(root.state("t.txt"), "\n   \none  \r\n\r\n two\nthree\nfour\n");
  EXPECT_EQ(read_lines("/mnt/us/ql/state/t.txt", 3, 10, 0),
            (std::vector<std::string>{"one", " two", "three"}));
  EXPECT_EQ(read_lines("/mnt/us/ql/state/t.txt", 10, 2, 0),
            (std::vector<std::string>{"one", " two"}));
  EXPECT_EQ(read_lines("/mnt/us/ql/state/t.txt", 10, 10, 0).size(), 4u);
  EXPECT_TRUE(read_lines("/mnt/us/ql/state/t.txt", 0, 10, 0).empty());
  EXPECT_TRUE(read_lines("/mnt/us/ql/state/missing.txt", 10, 10, 0).empty());
}

TEST(TextLines, LongLineArrivesInPieces) {
  DeviceFolder root;
  std::string longline(400, 'x');
  write_file(root.state("long.txt"), longline + "\nend");
  auto lines = read_lines("/mnt/us/ql/state/long.txt", 10, 10, 0);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].size(), 159u);
  EXPECT_EQ(lines[1].size(), 159u);
  EXPECT_EQ(lines[2].size(), 82u);
  EXPECT_EQ(lines[3], "end");
}

TEST(TextLines, CutKeepsOnlyTheFirstPieceOfALongLineAndNeverSplitsACharacter) {
  DeviceFolder root;
  const std::string two = "\xc3\xa4";  // one character of two bytes
  struct {
    const char* name;
    std::string line;
    std::string kept;
  } cases[] = {
      {"exactly the limit", std::string(159, 'a'), std::string(159, 'a')},
      {"one byte over", std::string(160, 'b'), std::string(159, 'b')},
      {"far over", std::string(5000, 'c'), std::string(159, 'c')},
      {"a character across the limit", std::string(158, 'd') + two + "tail", std::string(158, 'd')},
      {"a character ending at the limit", std::string(157, 'e') + two + "tail",
       std::string(157, 'e') + two},
      {"a stray lead byte at the limit", std::string(158, 'f') + "\xe2" + "xyz",
       std::string(158, 'f') + "\xe2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(root.state("cut.txt"), c.line + "\nnext\n" + c.line);
    std::vector<TextLine> lines(10);
    std::vector<std::string_view> spans(10);
    const size_t n = text_read_lines("/mnt/us/ql/state/cut.txt", lines, spans, 0, LongLines::Cut);
    ASSERT_EQ(n, 3u);
    EXPECT_EQ(spans[0], c.kept);
    EXPECT_EQ(spans[1], "next");
    EXPECT_EQ(spans[2], c.kept);
  }
}

TEST(TextLines, TailKeepsOnlyWholeLines) {
  DeviceFolder root;
  struct {
    const char* name;
    size_t width;     // bytes per line, newline included
    int count;
    long tail;
    const char* first;  // number of the first line returned
    size_t returned;
  } cases[] = {
      // 5000 bytes; the cut at 4000 falls on the start of line 80, which is whole and kept.
      {"cut on a line start", 50, 100, 1000, "80", 20},
      // 4700 bytes; the cut at 3700 falls inside line 78, which is dropped.
      {"cut inside a line", 47, 100, 1000, "79", 21},
      // The cut one byte after a line start drops that line.
      {"cut just after a line start", 50, 100, 999, "81", 19},
      {"file shorter than the tail", 50, 10, 1000, "0", 10},
      {"file as long as the tail", 50, 20, 1000, "0", 20},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(root.state("log.txt"), numbered_lines(c.count, c.width));
    auto lines = read_lines("/mnt/us/ql/state/log.txt", 200, 200, c.tail);
    ASSERT_EQ(lines.size(), c.returned);
    EXPECT_EQ(line_number(lines[0]), c.first);
    EXPECT_EQ(line_number(lines.back()), std::to_string(c.count - 1));
    for (auto& l : lines) EXPECT_EQ(l.size(), c.width - 1);
  }
}

TEST(TextLines, LastLinesKeepsTheNewestOldestFirst) {
  DeviceFolder root;
  struct {
    const char* name;
    std::string text;
    size_t max;
    long tail;
    std::vector<std::string> numbers;  // of the lines returned, in order
  } cases[] = {
      {"fewer lines than room", numbered_lines(3, 20), 5, 0, {"0", "1", "2"}},
      {"exactly the room", numbered_lines(5, 20), 5, 0, {"0", "1", "2", "3", "4"}},
      {"ring wrapped once", numbered_lines(7, 20), 5, 0, {"2", "3", "4", "5", "6"}},
      {"ring wrapped many times", numbered_lines(23, 20), 4, 0, {"19", "20", "21", "22"}},
      // A blank line after the last kept one must not spoil the oldest kept line.
      {"blank lines at the end", numbered_lines(7, 20) + "\n  \n\r\n", 5, 0,
       {"2", "3", "4", "5", "6"}},
      // The tail (last 100 bytes: lines 15 to 19) holds fewer than the room.
      {"tail shorter than the room", numbered_lines(20, 20), 10, 100,
       {"15", "16", "17", "18", "19"}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(root.state("v.txt"), c.text);
    std::vector<TextLine> lines(c.max);
    std::vector<std::string_view> spans(c.max);
    const size_t n = text_read_last_lines("/mnt/us/ql/state/v.txt", lines, spans, c.tail);
    std::vector<std::string> numbers;
    for (size_t i = 0; i < n; ++i) numbers.push_back(line_number(std::string(spans[i])));
    EXPECT_EQ(numbers, c.numbers);
  }
  std::vector<TextLine> lines(3);
  std::vector<std::string_view> spans(3);
  EXPECT_EQ(text_read_last_lines("/mnt/us/ql/state/missing.txt", lines, spans, 0), 0u);
  write_file(root.state("empty.txt"), "");
  EXPECT_EQ(text_read_last_lines("/mnt/us/ql/state/empty.txt", lines, spans, 4000), 0u);
}

TEST(TextLines, EachLineComesWholeWithoutItsNewlineUntilTheCallerStops) {
  DeviceFolder root;
  const std::string long_line(5000, 'x');
  write_file(root.state("e.txt"), "first\r\n\n" + long_line + "\nlast");
  std::vector<std::string> got;
  auto keep = [&](std::string_view line) {
    got.emplace_back(line);
    return true;
  };
  EXPECT_TRUE(text_each_line("/mnt/us/ql/state/e.txt", keep));
  EXPECT_EQ(got, (std::vector<std::string>{"first\r", "", long_line, "last"}));
  got.clear();
  EXPECT_TRUE(text_each_line("/mnt/us/ql/state/e.txt", [&](std::string_view line) {
    got.emplace_back(line);
    return got.size() < 2;
  }));
  EXPECT_EQ(got.size(), 2u);
  EXPECT_FALSE(text_each_line("/mnt/us/ql/state/missing.txt", keep));
}
