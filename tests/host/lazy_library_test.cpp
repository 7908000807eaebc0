// Libraries opened when first needed: a missing one is reported with the loader's reason and
// leaves nothing half bound; calls are found by name in whichever of the libraries holds them.
#include "host/lazy_library.h"

#include <gtest/gtest.h>

TEST(LazyLibraries, AMissingLibraryIsReportedByName) {
  const LazyLibraries libs{"libm.so.6", "libquillo-no-such-library.so.0"};
  EXPECT_FALSE(libs.loaded());
  EXPECT_NE(libs.failure("Test").find("libquillo-no-such-library.so.0"), std::string::npos)
      << libs.failure("Test");
}

TEST(LazyLibraries, BindsCallsFromAnyOfTheLibrariesAndRefusesUnknownNames) {
  const LazyLibraries libs{"libz.so.1", "libm.so.6"};
  ASSERT_TRUE(libs.loaded()) << libs.failure("Test");
  double (*cosine)(double) = nullptr;
  ASSERT_TRUE(libs.bind("cos", cosine));
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_FALSE(libs.bind("quillo_no_such_function", cosine));
  EXPECT_EQ(cosine, nullptr);
}
