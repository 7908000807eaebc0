#include "host/data_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace {
// Sets or clears environment variables for one test and puts the old values back.
class EnvGuard {
 public:
  void set(const char* name, std::optional<std::string> value) {
    if (!saved_.contains(name)) {
      const char* old = getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) setenv(name, value->c_str(), 1);
    else unsetenv(name);
  }
  ~EnvGuard() {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};
}  // namespace

TEST(DataFolder, Choice) {
  struct {
    const char* name;
    std::optional<std::string> data, xdg, home;
    std::string expected;
  } cases[] = {
      {"data folder given", "/srv/books", "/x/share", "/home/u", "/srv/books"},
      {"empty data folder ignored", "", "/x/share", "/home/u", "/x/share/Corvell Nalo"},
      {"XDG data home", std::nullopt, "/x/share", "/home/u", "/x/share/Corvell Nalo"},
      {"XDG with a trailing slash", std::nullopt, "/x/share/", "/home/u", "/x/share/Corvell Nalo"},
      {"relative XDG ignored", std::nullopt, "share", "/home/u", "/home/u/.local/share/Corvell Nalo"},
      {"home default", std::nullopt, std::nullopt, "/home/u", "/home/u/.local/share/Corvell Nalo"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    EnvGuard env;
    env.set("CVNL_DATA", c.data);
    env.set("XDG_DATA_HOME", c.xdg);
    env.set("HOME", c.home);
    EXPECT_EQ(host_data_folder(), c.expected);
  }
}

TEST(DataFolder, PrivateTemporaryRootPerCall) {
  TempDir base;
  EnvGuard env;
  env.set("TMPDIR", base.path());
  std::string a = host_make_tmp_root();
  std::string b = host_make_tmp_root();
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(base.path() + "/", 0), 0u);
  struct stat st;
  ASSERT_EQ(stat(a.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  env.set("TMPDIR", base / "missing");
  EXPECT_EQ(host_make_tmp_root(), "");
}
