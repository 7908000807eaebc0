#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

std::string fixture(const std::string& name) {
  return read_file(std::string(QL_SOURCE_DIR) + "/tests/book/data/" + name);
}

// The tool modes through the real program, on a fresh data folder: the conversion folder is made
// as it is needed, and the second run finds the converted book.
TEST(ConvertTools, RenderAndBenchOpenConvertedBooks) {
  TempDir dir;
  const std::string data = dir / "data";
  mkdir(data.c_str(), 0755);
  const EnvList env = {{"CVNL_DATA", data}, {"QUILLO_STATE", dir / "state"}, {"CVNL_HEADLESS", "1"}};
  const std::string fb2 = data + "/book.fb2", azw3 = data + "/book.azw3";
  write_file(fb2, fixture("book.fb2"));
  write_file(azw3, fixture("book.azw3"));
  EXPECT_EQ(run_program(QL_TEST_QUILLO, {"--render", fb2, data + "/p3.png", "3"}, env, 60000).status, 0);
  EXPECT_EQ(read_file(data + "/p3.png").substr(1, 3), "PNG");
  EXPECT_EQ(entries_in(data + "/ql/state/conv"), 1u);
  EXPECT_EQ(run_program(QL_TEST_QUILLO, {"--bench-open", azw3, "2"}, env, 60000).status, 0);
  EXPECT_EQ(run_program(QL_TEST_QUILLO, {"--render", fb2, data + "/again.png", "3"}, env, 60000).status, 0);
  EXPECT_EQ(read_file(data + "/again.png"), read_file(data + "/p3.png"));
  EXPECT_EQ(entries_in(data + "/ql/state/conv"), 2u);
}

}  // namespace
