// The screenshot mode draws each of these screens and ends with its PNG, as the real program.
#include <gtest/gtest.h>

#include "support/run_program.h"
#include "support/temp_dir.h"

#ifdef QL_TEST_QUILLO
TEST(SettingsScreenshots, EachScreenWritesItsPng) {
  TempDir dir;
  const EnvList env = {{"CVNL_DATA", dir / "data"}, {"CVNL_STDERR", "1"}, {"TMPDIR", dir.path()}};
  for (const char* name : {"quick", "lightfull", "light", "device", "usb", "about"}) {
    SCOPED_TRACE(name);
    const std::string png = dir / (std::string(name) + ".png");
    const ProgramResult r = run_program(QL_TEST_QUILLO, {"--screen", name, png}, env, 60000);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(file_exists(png));
  }
}
#endif
