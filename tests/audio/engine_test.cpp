// The engine run in-process through its thread, with its output going to a raw file (or a
// FIFO that the test drains at its own pace), steered and observed through its state files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "audio/audio_decoder.h"
#include "audio/audio_engine.h"
#include "audio/audio_files.h"
#include "base/paths.h"
#include "support/audio_fixtures.h"
#include "support/event_ceiling.h"
#include "support/temp_dir.h"

namespace {
using namespace std::chrono_literals;

// Reads what the engine writes into a FIFO, so the test decides how far it may run ahead.
class RawPipe {
 public:
  explicit RawPipe(const std::string& path) {
    mkfifo(path.c_str(), 0600);
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  }
  ~RawPipe() { close(fd_); }
  // Reads what has arrived, but never more than `limit` bytes in all.
  void drain(size_t limit = SIZE_MAX) {
    char buf[65536];
    ssize_t n;
    while (bytes.size() < limit &&
           (n = read(fd_, buf, std::min(sizeof buf, limit - bytes.size()))) > 0)
      bytes.append(buf, static_cast<size_t>(n));
  }
  // Reads exactly `count` bytes in all (or fewer when the ceiling passed). Reading no further keeps
  // the engine where it is: once the pipe is full it waits in its write, so a command sent
  // now is taken within a known distance of this point. Draining everything instead lets a
  // fast engine run to the end of the part before the command is even written.
  void read_until(size_t count) {
    auto end = std::chrono::steady_clock::now() + kEventCeiling;
    while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
      drain(count);
      std::this_thread::sleep_for(1ms);
    }
  }
  // Reads until the engine has ended.
  void read_to_end() {
    auto end = std::chrono::steady_clock::now() + kEventCeiling;
    while (ql_audio_alive() && std::chrono::steady_clock::now() < end) {
      drain();
      std::this_thread::sleep_for(1ms);
    }
    drain();
  }
  std::vector<int16_t> samples() const {
    std::vector<int16_t> s(bytes.size() / 2);
    memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
  }
  std::string bytes;

 private:
  int fd_ = -1;
};

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    data = dir / "data";
    std::string tmp = dir / "tmp";
    for (const std::string& d : {data, data + "/documents", data + "/documents/book",
                                 data + "/ql", data + "/ql/state", tmp})
      mkdir(d.c_str(), 0755);
    ql_set_root(data.c_str(), tmp.c_str());
    raw = dir / "out.raw";
    setenv("AUDIO_RAW", raw.c_str(), 1);
    unsetenv("AUDIO_NULL");
  }
  void TearDown() override {
    ql_audio_stop();
    unsetenv("AUDIO_RAW");
    unsetenv("AUDIO_NULL");
    unsetenv("SDL_AUDIODRIVER");
  }
  static std::string part(const std::string& name) { return "/mnt/us/documents/book/" + name; }
  std::string host(const std::string& name) const { return data + "/documents/book/" + name; }
  std::string state(const std::string& name) const { return data + "/ql/state/" + name; }
  void make_part(const std::string& name, double seconds, int rate = 44100, int channels = 2,
                 const std::string& codec = "-c:a pcm_s16le") {
    ASSERT_TRUE(make_test_audio(host(name), seconds, rate, channels, codec));
  }
  std::vector<int16_t> reference(const std::string& name, int channels = 2) {
    return ffmpeg_decode(host(name), channels);
  }
  void wait_end() {
    auto end = std::chrono::steady_clock::now() + kEventCeiling;
    while (ql_audio_alive() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(2ms);
    ASSERT_FALSE(ql_audio_alive());
  }
  std::vector<int16_t> raw_samples() {
    std::string b = read_file(raw);
    std::vector<int16_t> s(b.size() / 2);
    memcpy(s.data(), b.data(), s.size() * 2);
    return s;
  }
  // Commands count only once the engine has started: it clears `audio.cmd` as it starts.
  void wait_started() {
    auto end = std::chrono::steady_clock::now() + kEventCeiling;
    while (!file_exists(state("audio.status")) && ql_audio_alive() &&
           std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(1ms);
  }
  // Waits until the engine's status file shows what `done` asks for.
  template <class Done>
  void wait_status(Done done) {
    auto end = std::chrono::steady_clock::now() + kEventCeiling;
    while (std::chrono::steady_clock::now() < end) {
      std::optional<AudioStatus> s = audio_status_read();
      if (s && done(*s)) return;
      std::this_thread::sleep_for(2ms);
    }
    ADD_FAILURE() << "the engine never reached the state waited for";
  }
  void command_when_started(const char* text) {
    wait_started();
    ql_audio_cmd(text);
  }
  // Pauses an engine that writes into `pipe`. It waits in its output once the pipe is full, so
  // it takes the command within the pipe's size of what was read so far, however busy the
  // machine. The position the paused engine reports.
  double pause_through(RawPipe& pipe) {
    ql_audio_cmd("pause");
    double at = -1;
    auto until = std::chrono::steady_clock::now() + kEventCeiling;
    while (at < 0 && std::chrono::steady_clock::now() < until) {
      pipe.drain();
      std::optional<AudioStatus> s = audio_status_read();
      if (s && s->playing == 0) at = s->position;
      std::this_thread::sleep_for(2ms);
    }
    EXPECT_GE(at, 0) << "the engine never paused";
    return at;
  }
  void start(const std::string& name, double start_pos, int speed = 100, uint32_t timer = 0,
             uint32_t advance = 0) {
    ASSERT_EQ(ql_audio_start(part(name).c_str(), speed, timer, advance, start_pos), 1);
  }

  TempDir dir;
  std::string data;
  std::string raw;
};

// `got` must be ref[0, X) followed by ref[jump, end) for some X ≥ min_before; returns X.
size_t expect_jump(const std::vector<int16_t>& got, const std::vector<int16_t>& ref, size_t jump,
                   size_t min_before) {
  size_t x = 0;
  while (x < got.size() && x < ref.size() && got[x] == ref[x]) x++;
  x -= x % 2;
  EXPECT_GE(x, min_before);
  EXPECT_EQ(got.size() - x, ref.size() - jump) << "frames after the jump";
  if (got.size() - x != ref.size() - jump) return x;
  EXPECT_TRUE(std::equal(got.begin() + x, got.end(), ref.begin() + jump)) << "jump at " << x;
  return x;
}

TEST_F(Engine, PlaysAPartThroughAndReportsTheEnd) {
  make_part("a.wav", 1.0);
  start("a.wav", 0);
  wait_end();
  EXPECT_EQ(raw_samples(), reference("a.wav"));
  std::optional<AudioStatus> s = audio_status_read();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->playing, 0);
  EXPECT_NEAR(s->position, 1.0, 0.05);
  EXPECT_NEAR(s->duration, 1.0, 0.05);
  EXPECT_EQ(s->rate, 44100u);
  EXPECT_EQ(s->channels, 2);
  EXPECT_EQ(s->path, part("a.wav"));
  EXPECT_FALSE(file_exists(data + audio_position_path(part("a.wav")).substr(7)));
  EXPECT_FALSE(file_exists(state("audio.err")));
  EXPECT_EQ(ql_audio_playing(), 0);
}

TEST_F(Engine, GoesOnToTheNextAudioPartOfTheFolder) {
  make_part("a.wav", 0.2);
  make_part("b.wav", 0.3);
  make_part("C.WAV", 0.2);
  make_part("c.wav", 0.4);
  make_part(".d.wav", 0.2);
  // Not audio files of the shared list: never followed, whatever they hold.
  write_file(host("d.mp4"), read_file(host("a.wav")));
  write_file(host("notes.txt"), "notes");
  start("b.wav", 0, 100, 0, 1);
  wait_end();
  std::vector<int16_t> want = reference("b.wav");
  std::vector<int16_t> c = reference("c.wav");
  want.insert(want.end(), c.begin(), c.end());
  EXPECT_EQ(raw_samples(), want);
  std::optional<AudioStatus> s = audio_status_read();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->path, part("c.wav"));
  EXPECT_EQ(s->playing, 0);
}

TEST_F(Engine, ResumesFromThePositionFile) {
  make_part("r.wav", 4.0, 8000, 1);
  std::vector<int16_t> ref = reference("r.wav", 1);
  struct Case {
    const char* saved;
    double expected_start;
  };
  const Case kCases[] = {{"1.5\n", 1.5}, {"2.5\n", 0}, {"0.0\n", 0}, {"junk", 0}, {"-3\n", 0}};
  std::string pos = data + audio_position_path(part("r.wav")).substr(7);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.saved);
    write_file(pos, c.saved);
    unlink(raw.c_str());
    start("r.wav", -1);
    wait_end();
    size_t from = static_cast<size_t>(c.expected_start * 8000);
    EXPECT_EQ(raw_samples(), std::vector<int16_t>(ref.begin() + from, ref.end()));
  }
}

TEST_F(Engine, ResumeWorksAcrossARestart) {
  // Long enough that the status, rewritten once a second at fifty times real time, shows a
  // position well inside the part before the stop.
  make_part("long.wav", 600.0, 8000, 1);
  setenv("AUDIO_NULL", "1", 1);
  start("long.wav", 0);
  wait_status([](const AudioStatus& st) { return st.position > 3.0; });
  ql_audio_stop();
  ASSERT_FALSE(ql_audio_alive());
  std::string pos = data + audio_position_path(part("long.wav")).substr(7);
  double saved = atof(read_file(pos).c_str());
  std::optional<AudioStatus> s = audio_status_read();
  ASSERT_TRUE(s);
  EXPECT_GT(saved, 3.0);
  EXPECT_LT(saved, 598.0);
  EXPECT_NEAR(saved, s->position, 0.051);
  unsetenv("AUDIO_NULL");
  start("long.wav", -1);
  wait_end();
  std::vector<int16_t> ref = reference("long.wav", 1);
  // The frame a seek to the saved text lands on, whatever that text's binary value rounds to.
  size_t from = static_cast<size_t>(seek_frame(saved, 8000));
  EXPECT_EQ(raw_samples(), std::vector<int16_t>(ref.begin() + from, ref.end()));
}

TEST_F(Engine, SeekCommandsLandExactly) {
  make_part("s.wav", 3.0);
  std::vector<int16_t> ref = reference("s.wav");
  struct Case {
    const char* command;
    size_t jump_frames;
  };
  // A relative seek back past the start lands on the start; one past the end on the last second.
  const Case kCases[] = {{"seekto:2.0", 88200}, {"seek:-30", 0}, {"seekto:9999", 88200},
                         {"seekto:1.25", 55125}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.command);
    unlink(raw.c_str());
    RawPipe pipe(raw);
    start("s.wav", 0);
    pipe.read_until(32768);
    ql_audio_cmd(c.command);
    pipe.read_to_end();
    expect_jump(pipe.samples(), ref, c.jump_frames * 2, 32768 / 2);
  }
}

TEST_F(Engine, PauseStopsOutputAndResumesWithoutLoss) {
  make_part("p.wav", 2.0);
  RawPipe pipe(raw);
  start("p.wav", 0);
  pipe.read_until(32768);
  pause_through(pipe);
  EXPECT_EQ(ql_audio_playing(), 0);
  pipe.drain();
  size_t paused_at = pipe.bytes.size();
  std::this_thread::sleep_for(500ms);
  pipe.drain();
  EXPECT_EQ(pipe.bytes.size(), paused_at) << "output while paused";
  ql_audio_cmd("pause");
  pipe.read_to_end();
  EXPECT_EQ(pipe.samples(), reference("p.wav"));
}

TEST_F(Engine, SpeedCommands) {
  make_part("v.wav", 4.0);
  const size_t full = reference("v.wav").size() / 2;
  struct Case {
    const char* command;
    bool changes;
  };
  const Case kCases[] = {{"speed:150", true}, {"speed:40", false}, {"speed:301", false},
                         {"speed:100", false}, {"speed:300", true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.command);
    unlink(raw.c_str());
    RawPipe pipe(raw);
    start("v.wav", 0);
    command_when_started(c.command);
    pipe.read_to_end();
    size_t frames = pipe.bytes.size() / 4;
    if (c.changes) {
      EXPECT_LT(frames, full - 40000);
    } else {
      EXPECT_EQ(frames, full);
    }
  }
}

TEST_F(Engine, StartSpeedShortensPlayback) {
  make_part("w.wav", 3.0);
  const double full = static_cast<double>(reference("w.wav").size() / 2);
  for (int speed : {150, 300, 75}) {
    SCOPED_TRACE(speed);
    unlink(raw.c_str());
    start("w.wav", 0, speed);
    wait_end();
    double frames = static_cast<double>(raw_samples().size() / 2);
    // The stretcher holds back about 2304 frames and starts with one silent block.
    EXPECT_NEAR(frames, full * 100 / speed, 4096);
  }
}

TEST_F(Engine, SleepTimerEndsPlaybackAndSavesThePosition) {
  make_part("t.wav", 120.0, 8000, 1);
  setenv("AUDIO_NULL", "1", 1);
  std::string pos = data + audio_position_path(part("t.wav")).substr(7);
  start("t.wav", 0, 100, 1);
  wait_end();
  std::optional<AudioStatus> s = audio_status_read();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->playing, 0);
  EXPECT_EQ(s->timer_left, 0);
  // The timer counts whole wall-clock seconds, so it ends 0 to 1 s after its second began
  // (before the first block, when that second was about to end).
  EXPECT_GE(s->position, 0.0);
  EXPECT_LT(s->position, 110.0);
  EXPECT_NEAR(atof(read_file(pos).c_str()), s->position, 0.051);
  unsetenv("AUDIO_NULL");

  // "timer:0" switches it off: the status no longer counts down, and the part plays to its end.
  // Paused, the engine is where the test left it while the commands are taken.
  {
    unlink(raw.c_str());
    RawPipe pipe(raw);
    start("t.wav", 0, 100, 3600);
    pipe.read_until(16384);
    pause_through(pipe);
    wait_status([](const AudioStatus& st) { return st.timer_left > 0; });
    ql_audio_cmd("timer:0");
    wait_status([](const AudioStatus& st) { return st.timer_left == 0; });
    ql_audio_cmd("pause");
    pipe.read_to_end();
    s = audio_status_read();
    ASSERT_TRUE(s);
    EXPECT_NEAR(s->position, 120.0, 0.05);
  }

  // The timer runs on while paused: one set during a pause ends the engine, which saves the
  // place where it paused.
  unlink(raw.c_str());
  RawPipe pipe(raw);
  start("t.wav", 30.0);
  pipe.read_until(16384);
  const double paused_at = pause_through(pipe);
  EXPECT_GE(paused_at, 30.0);
  ql_audio_cmd("timer:1");
  pipe.read_to_end();
  EXPECT_NEAR(atof(read_file(pos).c_str()), paused_at, 0.051);
}

// Playing goes on until the pause is taken: the place to keep is the one the paused engine
// reports, whatever way past the start it lies.
TEST_F(Engine, StopWhilePausedSavesThePosition) {
  make_part("q.wav", 60.0, 8000, 1);
  RawPipe pipe(raw);
  start("q.wav", 20.0);
  pipe.read_until(16384);
  const double paused_at = pause_through(pipe);
  EXPECT_GE(paused_at, 20.0);
  EXPECT_LT(paused_at, 58.0);
  ql_audio_cmd("stop");
  pipe.read_to_end();
  ASSERT_FALSE(ql_audio_alive());
  std::string pos = data + audio_position_path(part("q.wav")).substr(7);
  EXPECT_NEAR(atof(read_file(pos).c_str()), paused_at, 0.051);
}

// A stop is never the end of a part: with every decoder, a "stop" taken while the part plays
// keeps the position reached (within one read of the output written) in the part's position
// file, and the status stays there instead of jumping to the part's end.
TEST_F(Engine, AStopDuringPlaybackKeepsThePositionWithEveryDecoder) {
  struct Case {
    const char* name;
    int rate;
    const char* codec;
  };
  const Case kCases[] = {{"s.wav", 22050, "-c:a pcm_s16le"}, {"s.mp3", 22050, "-c:a libmp3lame"},
                         {"s.flac", 22050, "-c:a flac"},     {"s.ogg", 22050, "-c:a libvorbis"},
                         {"s.opus", 48000, "-c:a libopus"},  {"s.m4b", 22050, "-c:a aac"},
                         {"s.aac", 22050, "-c:a aac"}};
  constexpr double kSeconds = 20;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(make_part(c.name, kSeconds, c.rate, 1, c.codec));
    const std::string pos = data + audio_position_path(part(c.name)).substr(7);
    unlink(raw.c_str());
    RawPipe pipe(raw);
    start(c.name, 0);
    // The engine now waits in its output a few seconds into the part, so the stop is taken
    // there, long before the end.
    pipe.read_until(65536);
    ql_audio_cmd("stop");
    pipe.read_to_end();
    ASSERT_FALSE(ql_audio_alive());
    const double reached = static_cast<double>(pipe.bytes.size() / 2) / c.rate;
    EXPECT_TRUE(file_exists(pos)) << "the stop was taken for the end of the part";
    const double saved = atof(read_file(pos).c_str());
    EXPECT_NEAR(saved, reached, 4096.0 / c.rate + 0.05);
    std::optional<AudioStatus> s = audio_status_read();
    ASSERT_TRUE(s);
    EXPECT_NEAR(s->position, saved, 0.051);
    EXPECT_LT(s->position, kSeconds - 2);
  }
}

TEST_F(Engine, FailuresAreReportedInTheErrorNote) {
  write_file(host("bad.mp3"), std::string(5000, 'x'));
  start("bad.mp3", 0);
  wait_end();
  EXPECT_EQ(read_file(state("audio.err")), "cannot-decode\n");
  EXPECT_FALSE(file_exists(state("audio.status")));

  // No sound output at the part's start: the saved resume position must survive.
  make_part("o.wav", 4.0, 8000, 1);
  std::string pos = data + audio_position_path(part("o.wav")).substr(7);
  write_file(pos, "1.5\n");
  unsetenv("AUDIO_RAW");
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  start("o.wav", -1);
  wait_end();
  EXPECT_EQ(read_file(state("audio.err")), "no-output\n");
  EXPECT_EQ(read_file(pos), "1.5\n");

  // An output that fails while playing stops the engine with the same note.
  setenv("AUDIO_RAW", "/dev/full", 1);
  unsetenv("SDL_AUDIODRIVER");
  start("o.wav", 0);
  wait_end();
  EXPECT_EQ(read_file(state("audio.err")), "no-output\n");
}

// Following on, parts that cannot be decoded are passed over and the next playable one plays.
// The error note names each part passed over, in a file of its own that outlives the program,
// until the next start of the engine removes both.
TEST_F(Engine, UndecodablePartsArePassedOverAndEachIsNamed) {
  make_part("a.wav", 0.5, 8000, 1);
  write_file(host("b.wav"), std::string(5000, 'x'));
  write_file(host("c.wav"), std::string(5000, 'y'));
  make_part("d.wav", 0.5, 8000, 1);
  start("a.wav", 0, 100, 0, 1);
  wait_end();
  EXPECT_EQ(read_file(state("audio.err")), "cannot-decode\n");
  EXPECT_EQ(audio_error_parts(), (std::vector<std::string>{part("b.wav"), part("c.wav")}));
  std::optional<AudioStatus> s = audio_status_read();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->path, part("d.wav"));
  EXPECT_EQ(raw_samples().size(), 8000u);  // both playable parts, whole

  // A note left without its list of parts (by an older program) names none.
  unlink(state("audio.err.parts").c_str());
  EXPECT_TRUE(audio_error_parts().empty());

  start("d.wav", 0);
  wait_end();
  EXPECT_FALSE(file_exists(state("audio.err")));
  EXPECT_FALSE(file_exists(state("audio.err.parts")));
  EXPECT_TRUE(audio_error_parts().empty());
}

// A status left fresh by a program that has just ended is no engine playing.
TEST_F(Engine, AFreshStatusWithoutAnEngineIsNotPlaying) {
  write_file(state("audio.status"), "9.0 30.0 1 8000 1 0\n" + part("a.wav") + "\n");
  ASSERT_FALSE(ql_audio_alive());
  EXPECT_EQ(ql_audio_playing(), 0);
}

TEST_F(Engine, StopRightAfterStartKeepsTheResumePosition) {
  make_part("k.wav", 60.0, 8000, 1);
  setenv("AUDIO_NULL", "1", 1);
  std::string pos = data + audio_position_path(part("k.wav")).substr(7);
  write_file(pos, "30.0\n");
  start("k.wav", -1);
  ql_audio_stop();
  EXPECT_GE(atof(read_file(pos).c_str()), 30.0);
}
}  // namespace

namespace {
// A damaged status file never hands the player a time that is not a number.
TEST_F(Engine, StatusWithNonFiniteTimesReadsThemAsZero) {
  const std::pair<const char*, double> kCases[] = {
      {"3.66e666 2.0 0\n/mnt/us/a.mp3\n", 2.0},  // an overflowing number reads as inf
      {"inf -inf 1 8000 1 0\n/mnt/us/a.mp3\n", 0.0},
      {"nan nan 1\n\n", 0.0},
  };
  for (const auto& [text, duration] : kCases) {
    SCOPED_TRACE(text);
    write_file(state("audio.status"), text);
    std::optional<AudioStatus> s = audio_status_read();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->position, 0.0);
    EXPECT_EQ(s->duration, duration);
  }
}
}  // namespace

namespace {
// Through the host's output (SDL's disk driver writes what the device would play): the end of
// each part is played before the output closes, at the end of the book and when the next part
// needs another rate, instead of being dropped from the queue.
TEST_F(Engine, HostOutputPlaysEachPartToItsEnd) {
  make_part("a.wav", 0.5, 8000, 1);
  make_part("b.wav", 1.0, 11025, 1);
  std::string played = dir / "played.raw";
  unsetenv("AUDIO_RAW");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", played.c_str(), 1);
  start("a.wav", 0, 100, 0, 1);
  wait_end();
  unsetenv("SDL_DISKAUDIOFILE");
  ASSERT_FALSE(file_exists(state("audio.err"))) << read_file(state("audio.err"));
  // The disk driver starts the file anew for each device, so the file holds part b; part a's
  // end took the same path at the change of rate.
  std::string b = read_file(played);
  std::vector<int16_t> got(b.size() / 2);
  if (!got.empty()) memcpy(got.data(), b.data(), got.size() * 2);
  std::vector<int16_t> ref = reference("b.wav", 1);
  auto at = std::search(got.begin(), got.end(), ref.begin(), ref.end());
  EXPECT_NE(at, got.end()) << "part b's " << ref.size() << " samples are not all in the "
                           << got.size() << " played";
}

// A part far shorter than the stretcher's window still plays at another speed, and a longer
// one plays to its end: the stretcher's tail is flushed when the part ends.
TEST_F(Engine, StretchedPartsKeepTheirTail) {
  make_part("short.wav", 0.1, 8000, 1);
  make_part("long.wav", 2.0, 8000, 1);
  struct Case {
    const char* name;
    int speed;
    double seconds;
  };
  const Case kCases[] = {{"short.wav", 150, 0.1}, {"short.wav", 50, 0.1}, {"long.wav", 200, 2.0},
                         {"long.wav", 75, 2.0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(c.speed));
    unlink(raw.c_str());
    start(c.name, 0, c.speed);
    wait_end();
    const double input = c.seconds * 8000;
    // Input shorter than one search window plays unchanged; otherwise only the first block
    // after the start is silent by design, which costs 1024 frames of output.
    const double want = input < 2304 ? input : input * 100 / c.speed - 1024;
    EXPECT_NEAR(static_cast<double>(raw_samples().size()), want, 8);
  }
}

// A command written while the engine takes the previous one is never lost: the last command
// written is always the last one taken.
TEST_F(Engine, CommandsWrittenWhileOneIsTakenAreKept) {
  constexpr int kCommands = 3000;
  std::atomic<bool> writing{true};
  std::vector<int> taken;
  std::thread taker([&] {
    while (true) {
      bool last_round = !writing;
      while (std::optional<std::string> line = audio_take_command())
        taken.push_back(static_cast<int>(audio_parse_command(*line).value));
      if (last_round) break;
    }
  });
  for (int i = 1; i <= kCommands; i++) ql_audio_cmd(("timer:" + std::to_string(i)).c_str());
  writing = false;
  taker.join();
  ASSERT_FALSE(taken.empty());
  EXPECT_EQ(taken.back(), kCommands);
  EXPECT_TRUE(std::is_sorted(taken.begin(), taken.end()));
}
}  // namespace
