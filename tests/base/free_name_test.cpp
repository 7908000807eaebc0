// Names for new folder entries: the first free one of a numbered series, and a name that already
// carries a number going on from it rather than gaining a second one.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/free_name.h"

namespace {

TEST(FreeName, NumbersGoOnFromANameThatHasOne) {
  const struct {
    const char* name;
    const char* stem;
    const char* ext;
    std::set<std::string> taken;
    const char* expected;
  } cases[] = {
      {"free as it is", "Small Audiobook", "", {}, "Small Audiobook"},
      {"taken once", "Small Audiobook", "", {"Small Audiobook"}, "Small Audiobook (2)"},
      {"a numbered name free as it is", "Small Audiobook (2)", "", {"Small Audiobook"},
       "Small Audiobook (2)"},
      {"a numbered name taken goes on", "Small Audiobook (2)", "",
       {"Small Audiobook", "Small Audiobook (2)"}, "Small Audiobook (3)"},
      {"and on past what is taken", "Tale (2)", ".epub", {"Tale (2).epub", "Tale (3).epub"},
       "Tale (4).epub"},
      {"never back below its own number", "Tale (3)", ".epub", {"Tale (3).epub"}, "Tale (4).epub"},
      {"(1) is no number of ours", "Tale (1)", "", {"Tale (1)"}, "Tale (1) (2)"},
      {"nor a leading zero", "Tale (02)", "", {"Tale (02)"}, "Tale (02) (2)"},
      {"nor words in brackets", "Tale (abridged)", "", {"Tale (abridged)"}, "Tale (abridged) (2)"},
      {"nor brackets alone", " (2)", "", {" (2)"}, " (2) (2)"},
      {"the last number", "Tale (999)", "", {"Tale (999)"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::set<std::string>& taken = c.taken;
    EXPECT_EQ(free_name(c.stem, c.ext, kNameMax,
                        [&taken](const std::string& n) { return taken.contains(n); }),
              c.expected);
  }
  // A cut name keeps its number whole, and the number after it.
  const std::string stem(300, 's');
  const std::string cut = free_name(stem + " (2)", ".mp3", kNameMax, [](const std::string& n) {
    return n.ends_with(" (2).mp3");
  });
  EXPECT_EQ(cut, std::string(kNameMax - 8, 's') + " (3).mp3");
}

}  // namespace
