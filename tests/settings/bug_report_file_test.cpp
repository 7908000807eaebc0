// The report document: escaping, a document any JSON parser reads back to what was written, and
// the log excerpt with book names removed and lines cut on character boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "settings/bug_report_file.h"
#include "support/device_folder.h"
#include "support/event_ceiling.h"
#include "support/run_program.h"

namespace {

// The document parsed by python's json module: its keys and string values in order (the parse
// fails on invalid UTF-8, a raw control byte or a value that is not a string).
std::vector<std::pair<std::string, std::string>> parse_with_python(const std::string& document) {
  TempDir dir;
  write_file(dir / "doc.json", document);
  const char* script =
      "import json,sys\n"
      "pairs=json.loads(open(sys.argv[1],'rb').read().decode('utf-8'),object_pairs_hook=list)\n"
      "open(sys.argv[2],'wb').write(b''.join(k.encode()+b'\\0'+v.encode()+b'\\0' for k,v in pairs))\n";
  const ProgramResult r =
      run_program("python3", {"-c", script, dir / "doc.json", dir / "out"}, {}, kEventCeilingMs);
  EXPECT_EQ(r.status, 0) << "not valid JSON: " << document;
  std::vector<std::pair<std::string, std::string>> pairs;
  const std::string out = read_file(dir / "out");
  for (size_t at = 0; at < out.size();) {
    const size_t k_end = out.find('\0', at);
    const size_t v_end = out.find('\0', k_end + 1);
    if (k_end == std::string::npos || v_end == std::string::npos) break;
    pairs.emplace_back(out.substr(at, k_end - at), out.substr(k_end + 1, v_end - k_end - 1));
    at = v_end + 1;
  }
  return pairs;
}

}  // namespace

TEST(BugReportFile, EscapesEachByteKind) {
  struct Case {
    const char* name;
    std::string in;
    size_t cap;
    std::string out;
  } cases[] = {
      {"quote and backslash", "say \"hi\" \\o/", 100, "say \\\"hi\\\" \\\\o/"},
      {"tab becomes a space", "a\tb", 100, "a b"},
      {"line feed escaped", "a\nb", 100, "a\\nb"},
      {"carriage return dropped", "a\r\nb", 100, "a\\nb"},
      {"other control bytes dropped", std::string("a\x01\x1f\x00z", 5), 100, "az"},
      {"UTF-8 copied", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x96", 100,
       "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x96"},
      {"a stray byte becomes ?", "a\xE9z", 100, "a?z"},
      {"a cut-short character becomes ?", "a\xE2\x82", 100, "a??"},
      {"an overlong form is not a character", "\xC0\xAF", 100, "??"},
      {"a surrogate is not a character", "\xED\xA0\x80", 100, "???"},
      {"cap: the value ends once past it", "abcdef", 3, "abcd"},
      {"cap: an escape may carry it two over", "ab\"cd", 2, "ab\\\""},
      {"cap: never inside a character", "ab\xE2\x82\xAC\xE2\x82\xAC", 3, "ab\xE2\x82\xAC"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "prefix:";
    bug_escape_append(out, c.in, c.cap);
    EXPECT_EQ(out, "prefix:" + c.out);
  }
}

TEST(BugReportFile, DocumentParsesBackToWhatWasWritten) {
  const BugReport report = {
      "Pages \"jump\" twice\tafter C:\\path\r\nsecond line \xC3\xA9t\xC3\xA9",
      "1. open\n2. turn",
      "kim@example.org",
      "quillo: opened \xE9 book\n",
  };
  const std::optional<std::string> doc = bug_report_json(report);
  ASSERT_TRUE(doc);
  EXPECT_NE(doc->back(), '\n');
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(parse_with_python(*doc),
            (Pairs{{"app_version", "0.9.5"},
                   {"platform", "linux"},
                   {"device", bug_device()},
                   {"description", "Pages \"jump\" twice after C:\\path\nsecond line \xC3\xA9t\xC3\xA9"},
                   {"steps", "1. open\n2. turn"},
                   {"log", "quillo: opened ? book\n"},
                   {"contact", "kim@example.org"}}));
}

TEST(BugReportFile, DeviceIsTheMachineUnameNames) {
  TempDir dir;
  ASSERT_EQ(run_program("sh", {"-c", "uname -m > '" + dir / "m" + "'"}, {}, kEventCeilingMs).status, 0);
  EXPECT_EQ(bug_device() + "\n", read_file(dir / "m"));
}

TEST(BugReportFile, LongestValuesAreCutIntoValidJson) {
  // Escapes and multi-byte characters across every cap: each value ends whole, never inside an
  // escape or a character, and the longest document still fits its buffer.
  std::string text;
  while (text.size() < 4000) text += "\"\\\xC3\xA9\t";
  const BugReport report = {text, text, text, text};
  const std::optional<std::string> doc = bug_report_json(report);
  ASSERT_TRUE(doc);
  const auto pairs = parse_with_python(*doc);
  ASSERT_EQ(pairs.size(), 7u);
  std::string shown = text;  // what a parser gives back: the same characters, TAB as a space
  std::replace(shown.begin(), shown.end(), '\t', ' ');
  for (size_t i = 3; i < pairs.size(); ++i) {
    SCOPED_TRACE(pairs[i].first);
    EXPECT_GT(pairs[i].second.size(), 100u);
    EXPECT_EQ(pairs[i].second, shown.substr(0, pairs[i].second.size()));
  }
}

TEST(BugReportFile, LogExcerpt) {
  DeviceFolder root;
  const std::string mapped = std::string(ql_data_root()) + "/documents/";
  const std::string e_acute = "\xC3\xA9";
  const std::string long_line = std::string(109, 'x') + e_acute + "tail";
  std::string nine_lines;
  for (int i = 1; i <= 9; ++i) nine_lines += "line " + std::to_string(i) + "\n";
  std::string eight_kept;
  for (int i = 2; i <= 9; ++i) eight_kept += "line " + std::to_string(i) + "\n";
  // A log longer than the 4000 bytes read: its first whole line in that window is "keep".
  const std::string filler(5000, 'f');
  struct Case {
    const char* name;
    std::string log;
    std::string excerpt;
  } cases[] = {
      {"device path of a book", "quillo: cannot open /mnt/us/documents/Secret Title.epub\n",
       "quillo: cannot open [book]\n"},
      {"mapped documents folder", "quillo: cannot open " + mapped + "Secret Title.epub\n",
       "quillo: cannot open [book]\n"},
      {"the earlier of both forms", "a " + mapped + "One.epub then /mnt/us/documents/Two.epub\n",
       "a [book]\n"},
      {"other folders kept", "quillo: wrote /mnt/us/ql/state/ui.txt\n",
       "quillo: wrote /mnt/us/ql/state/ui.txt\n"},
      {"110 bytes, never inside a character", long_line + "\n", std::string(109, 'x') + "\n"},
      {"110 bytes on a boundary", std::string(108, 'x') + e_acute + "z\n",
       std::string(108, 'x') + e_acute + "\n"},
      {"the last eight non-blank lines", nine_lines + "\n   \n\r\n", eight_kept},
      {"trailing spaces and CR removed", "one  \r\ntwo\n", "one\ntwo\n"},
      {"no final line feed", "one\ntwo", "one\ntwo\n"},
      {"starts with a whole line", filler + "\nkeep\n" + std::string(3993, 'g'),
       "keep\n" + std::string(110, 'g') + "\n"},
      {"empty log", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(root.host("us/ql/quillo.log"), c.log);
    EXPECT_EQ(bug_log_excerpt(), c.excerpt);
  }
  remove(root.host("us/ql/quillo.log").c_str());
  EXPECT_EQ(bug_log_excerpt(), "");
}
