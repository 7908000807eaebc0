#include "app/ui/settings_file.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "support/device_root.h"
#include "support/file_size_limit.h"

namespace {
SettingsRecord load() {
  SettingsRecord r;
  r.font = -1;  // qls_load must start from the defaults
  qls_load(r);
  return r;
}
}  // namespace

TEST(Settings, DefaultsWithoutFile) {
  DeviceRoot root;
  SettingsRecord r = load();
  EXPECT_EQ(r.font, 56);
  EXPECT_EQ(r.margin, 64);
  EXPECT_EQ(r.line, 108);
  EXPECT_EQ(r.light, 12);
  EXPECT_EQ(r.wake_hour, 11);
  EXPECT_EQ(r.wake_min, 30);
  EXPECT_EQ(std::string(r.opds).substr(0, 8), "https://");
  EXPECT_STREQ(r.morning, "");
  EXPECT_STREQ(r.bt, "");
  EXPECT_EQ(r.speed, 100);
  EXPECT_EQ(r.sleeptimer, 0);
}

TEST(Settings, RoundTripInExactFormat) {
  DeviceRoot root;
  SettingsRecord r = settings_defaults();
  r.font = 62;
  r.margin = 40;
  r.line = 116;
  r.light = 0;
  r.wake_hour = 7;
  r.wake_min = 5;
  strcpy(r.opds, "http://feed.example/opds?q=a%20b");
  strcpy(r.morning, "http://paper.example/today.epub");
  strcpy(r.bt, "00:11:22:33:44:55");
  r.speed = 125;
  r.sleeptimer = 45;
  ASSERT_TRUE(qls_save(r));
  EXPECT_EQ(read_file(root.state("settings.txt")),
            "font=62\nmargin=40\nline=116\nlight=0\nwake=07:05\n"
            "opds=http://feed.example/opds?q=a%20b\nmorning=http://paper.example/today.epub\n"
            "bt=00:11:22:33:44:55\nspeed=125\nsleeptimer=45\n");
  EXPECT_FALSE(file_exists(root.state("settings.txt.tmp")));
  SettingsRecord back = load();
  EXPECT_EQ(back.font, 62);
  EXPECT_EQ(back.margin, 40);
  EXPECT_EQ(back.line, 116);
  EXPECT_EQ(back.light, 0);
  EXPECT_EQ(back.wake_hour, 7);
  EXPECT_EQ(back.wake_min, 5);
  EXPECT_STREQ(back.opds, r.opds);
  EXPECT_STREQ(back.morning, r.morning);
  EXPECT_STREQ(back.bt, r.bt);
  EXPECT_EQ(back.speed, 125);
  EXPECT_EQ(back.sleeptimer, 45);
}

TEST(Settings, ValuesOutsideTheirRangesFallBackToDefaults) {
  DeviceRoot root;
  struct { const char* line; int32_t SettingsRecord::* field; int32_t expected; } cases[] = {
      {"font=28", &SettingsRecord::font, 28},         {"font=110", &SettingsRecord::font, 110},
      {"font=27", &SettingsRecord::font, 56},         {"font=111", &SettingsRecord::font, 56},
      {"font=0", &SettingsRecord::font, 56},          {"font=", &SettingsRecord::font, 56},
      {"font=-60", &SettingsRecord::font, 56},        {"font=99999999999", &SettingsRecord::font, 56},
      {"font=60px", &SettingsRecord::font, 60},       {"margin=24", &SettingsRecord::margin, 24},
      {"margin=144", &SettingsRecord::margin, 144},   {"margin=0", &SettingsRecord::margin, 64},
      {"margin=5000", &SettingsRecord::margin, 64},   {"line=92", &SettingsRecord::line, 92},
      {"line=180", &SettingsRecord::line, 180},       {"line=91", &SettingsRecord::line, 108},
      {"line=400", &SettingsRecord::line, 108},       {"light=0", &SettingsRecord::light, 0},
      {"light=24", &SettingsRecord::light, 24},       {"light=25", &SettingsRecord::light, 12},
      {"light=-1", &SettingsRecord::light, 12},       {"speed=75", &SettingsRecord::speed, 75},
      {"speed=300", &SettingsRecord::speed, 300},     {"speed=0", &SettingsRecord::speed, 100},
      {"speed=1000", &SettingsRecord::speed, 100},    {"sleeptimer=90", &SettingsRecord::sleeptimer, 90},
      {"sleeptimer=-5", &SettingsRecord::sleeptimer, 0}, {"sleeptimer=600", &SettingsRecord::sleeptimer, 0},
      {"wake=7:05", &SettingsRecord::wake_hour, 7},   {"wake=7:05", &SettingsRecord::wake_min, 5},
      {"wake=24:00", &SettingsRecord::wake_hour, 11}, {"wake=23:60", &SettingsRecord::wake_min, 30},
      {"wake=-1:-1", &SettingsRecord::wake_hour, 11}, {"wake=9", &SettingsRecord::wake_hour, 9},
      {"wake=9", &SettingsRecord::wake_min, 30},      {"wake=x:15", &SettingsRecord::wake_min, 30},
      {"wake=x:15", &SettingsRecord::wake_hour, 11},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.line);
    write_file(root.state("settings.txt"), std::string(c.line) + "\n");
    EXPECT_EQ(load().*c.field, c.expected);
  }
}

TEST(Settings, LinesAndTexts) {
  DeviceRoot root;
  std::string long_link(600, 'L');
  write_file(root.state("settings.txt"),
             "font=60\nfont=70\n# font=80\nFONT=90\n"
             "opds=" + long_link + "\n"
             "bt=" + std::string(100, 'b') + "\r\n"
             "morning=http://m.example/e.epub\r\n"
             "unknown=1\n");
  SettingsRecord r = load();
  EXPECT_EQ(r.font, 70);  // a later line wins
  EXPECT_EQ(std::string(r.opds), long_link.substr(0, 511));
  EXPECT_EQ(std::string(r.bt), std::string(63, 'b'));
  EXPECT_STREQ(r.morning, "http://m.example/e.epub");
}

TEST(Settings, RestOfOverlongLineIsNotReadAsALine) {
  DeviceRoot root;
  // The line is cut after 599 bytes; what follows must not count as a "font=" line.
  std::string line = "opds=" + std::string(594, 'x') + "font=33";
  write_file(root.state("settings.txt"), line + "\nmargin=40\n");
  SettingsRecord r = load();
  EXPECT_EQ(r.font, 56);
  EXPECT_EQ(r.margin, 40);
  EXPECT_EQ(std::string(r.opds), std::string(511, 'x'));
}

TEST(Settings, StateFolderFromEnvironment) {
  DeviceRoot root;
  setenv("QUILLO_STATE", "/mnt/us/other", 1);
  SettingsRecord r = settings_defaults();
  r.font = 80;
  EXPECT_TRUE(qls_save(r));  // creates the folder
  EXPECT_EQ(load().font, 80);
  EXPECT_TRUE(file_exists(root.host("us/other/settings.txt")));
  setenv("QUILLO_STATE", ("/mnt/us/" + std::string(600, 's')).c_str(), 1);
  EXPECT_FALSE(qls_save(r));
  EXPECT_EQ(load().font, 56);
  unsetenv("QUILLO_STATE");
}

TEST(Settings, FailedSaveKeepsTheOldFile) {
  DeviceRoot root;
  write_file(root.state("settings.txt"), "font=70\n");
  SettingsRecord r = settings_defaults();
  r.font = 90;
  const FileSizeLimit full(0);
  EXPECT_FALSE(qls_save(r));
  EXPECT_EQ(read_file(root.state("settings.txt")), "font=70\n");
}
