#include <gtest/gtest.h>

#include "audio/audio_engine.h"
#include "base/file_kinds.h"

namespace {
TEST(AudioFiles, PositionKey) {
  EXPECT_EQ(audio_position_key(""), 5381u);
  EXPECT_EQ(audio_position_path(""), "/mnt/us/ql/state/audio-1505.pos");
  EXPECT_EQ(audio_position_path("a"), "/mnt/us/ql/state/audio-2b5c4.pos");
  // Bytes count as unsigned.
  EXPECT_EQ(audio_position_key("\xC3"), (5381u * 33) ^ 0xC3);
}

TEST(AudioFiles, Commands) {
  struct Case {
    const char* line;
    AudioCommand::Kind kind;
    double value;
  };
  const Case kCases[] = {
      {"seek:-30", AudioCommand::kSeekBy, -30},  {"seek:+12.5", AudioCommand::kSeekBy, 12.5},
      {"seekto:95.25", AudioCommand::kSeekTo, 95.25}, {"seekto:", AudioCommand::kSeekTo, 0},
      {"seekto:abc", AudioCommand::kSeekTo, 0},   {"seekto:nan", AudioCommand::kSeekTo, 0},
      {"pause", AudioCommand::kPause, 0},         {"pausex", AudioCommand::kPause, 0},
      {"stop", AudioCommand::kStop, 0},           {"speed:150", AudioCommand::kSpeed, 150},
      {"speed:1.5", AudioCommand::kSpeed, 1},     {"timer:600", AudioCommand::kTimer, 600},
      {"timer:", AudioCommand::kTimer, 0},        {"play", AudioCommand::kNone, 0},
      {"", AudioCommand::kNone, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    AudioCommand got = audio_parse_command(c.line);
    EXPECT_EQ(got.kind, c.kind);
    EXPECT_DOUBLE_EQ(got.value, c.value);
  }
  // Only the first 63 bytes are read.
  EXPECT_DOUBLE_EQ(audio_parse_command("seekto:" + std::string(56, '1') + "99").value,
                   std::stod(std::string(56, '1')));
}

TEST(AudioFiles, SharedExtensionList) {
  const std::pair<const char*, bool> kCases[] = {
      {"a.mp3", true},  {"B.M4B", true},  {"c.Opus", true}, {"d.flac", true}, {"e.wav", true},
      {"f.oga", true},  {"g.aac", true},  {"h.mp4", false}, {"notes.txt", false},
      {"mp3", false},   {".mp3", true},   {"x.mp3.part", false},
  };
  for (auto [name, audio] : kCases) EXPECT_EQ(is_audio_extension(name), audio) << name;
}
}  // namespace
