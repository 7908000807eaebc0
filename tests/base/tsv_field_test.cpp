// Fields of the tab-separated files: escaped fields come back whole, and the checks for files
// without escaping catch every byte that would split or end a record.
#include "base/tsv_field.h"

#include <gtest/gtest.h>
#include <string>

TEST(TsvField, EscapedFieldsComeBackWholeAndHoldNoSeparator) {
  const std::string fields[] = {"plain", "a\tb", "line\r\nbreak", "back\\slash", "\\t literal", ""};
  for (const std::string& field : fields) {
    SCOPED_TRACE(field);
    std::string out;
    tsv_escape_append(out, field);
    EXPECT_TRUE(tsv_field_plain(out));
    EXPECT_EQ(tsv_unescape(out), field);
  }
  EXPECT_EQ(tsv_unescape("odd\\q and end\\"), "odd\\q and end\\") << "other backslashes stay";
}

TEST(TsvField, UnescapedFilesRefuseOrSpaceOutBreakingBytes) {
  struct Case {
    std::string field;
    bool plain;
    std::string spaced;
  } cases[] = {
      {"Moby Dick.epub", true, "Moby Dick.epub"},
      {"A\tB.epub", false, "A B.epub"},
      {"A\nB", false, "A B"},
      {"A\rB", false, "A B"},
      {"bell\x07 and del\x7F", true, "bell  and del "},
      {"\xC3\xA9t\xC3\xA9", true, "\xC3\xA9t\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(tsv_field_plain(c.field), c.plain);
    EXPECT_EQ(tsv_field_spaced(c.field), c.spaced);
    EXPECT_TRUE(tsv_field_plain(tsv_field_spaced(c.field)));
  }
}
