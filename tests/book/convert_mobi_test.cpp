#include <gtest/gtest.h>

#include "book/convert.h"
#include "convert_fixture.h"
#include "display/ql_error.h"

namespace {

TEST(ConvertMobi, FixturesOpenWithTheirWordsPicturesAndMetadata) {
  const std::vector<std::string> want = split_words(fixture("source-words.txt"));
  for (const char* name : {"old.mobi", "old-plain.mobi", "joint.mobi", "book.azw3", "book.fb2"}) {
    SCOPED_TRACE(name);
    ConvertRoot root;
    const std::string path = root.put(name, fixture(name));
    ASSERT_EQ(ql_open(path.c_str()), 1) << ql_error();
    EXPECT_EQ(text_words(), want);
    EXPECT_STREQ(ql_title(), "The Lantern Harbour");
    EXPECT_STREQ(ql_author(), "Ada Stone");
    EXPECT_EQ(picture_words(), 1u);
  }
}

}  // namespace
