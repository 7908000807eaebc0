// Every named screen of the screenshot mode, through the real program: each writes a full-size
// PNG that shows something, in a fresh data folder holding one book, which is also the book opened
// for the reader's screens.
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "shell/screen_shots.h"
#include "display/images.h"
#include "support/epub_builder.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

TEST(ScreenTable, EveryScreenWritesItsPng) {
  TempDir dir;
  const std::string data = dir / "data";
  mkdir(data.c_str(), 0755);
  mkdir((data + "/documents").c_str(), 0755);
  const std::string book = data + "/documents/Sample.epub";
  write_file(book,
             build_epub(simple_book({"<h1>One</h1><p>The first chapter's words.</p>",
                                     "<h1>Two</h1><p>More words.</p>"})));
  for (const ScreenShot& shot : screen_shots()) {
    const std::string name(shot.name);
    SCOPED_TRACE(name);
    ASSERT_NE(shot.show, nullptr) << "no renderer";
    const std::string png = dir / (name + ".png");
    const ProgramResult r = run_program(QL_TEST_QUILLO, {"--screen", name, png, book},
                                        {{"CVNL_DATA", data}, {"TMPDIR", dir.path()}}, 60000);
    EXPECT_EQ(r.status, 0);
    const std::string bytes = read_file(png);
    int w = 0, h = 0;
    uint8_t* grey =
        ql_img_gray(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &w, &h);
    ASSERT_NE(grey, nullptr) << "no PNG written";
    EXPECT_EQ(w, 1072);
    EXPECT_EQ(h, 1448);
    EXPECT_LT(*std::min_element(grey, grey + size_t(w) * size_t(h)), 64) << "a blank screen";
    free(grey);
  }
}
