// The engine thread: opens a part, runs the control loop (command, seek, sleep timer, pause,
// decode, status, position), follows on to the next part of the folder and tears down.
#include "audio/audio_engine.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_files.h"
#include "audio/time_stretch.h"
#include "base/file_kinds.h"
#include "base/paths.h"
#include "host/plat.h"

namespace {
constexpr int kBlockFrames = 4096;
constexpr int kMinSpeed = 50;
constexpr int kMaxSpeed = 300;
constexpr uint32_t kMinRate = 4000;
constexpr int kStopPolls = 500;
constexpr auto kStopPoll = std::chrono::milliseconds(10);
constexpr auto kPausePoll = std::chrono::milliseconds(200);
constexpr auto kPositionEvery = std::chrono::seconds(5);
constexpr size_t kNameMax = 1024;
constexpr double kNullOutputPace = 0.02;  // AUDIO_NULL plays at fifty times real time

struct Job {
  char path[4096];
  int speed;
  uint32_t timer;
  uint32_t auto_advance;
  double start_pos;
};
Job job;  // written by ql_audio_start only while no engine thread is alive

// Written by both sides (0 = stop at the next pass); polled by the engine thread.
std::atomic<int> run{0};
// Set by ql_audio_start, cleared by the engine thread when its body has returned.
std::atomic<int> th_alive{0};

// Everything below belongs to the engine thread.
std::atomic<int> paused{0};
int g_speed = 100;
double seek_req = -1.0;
int64_t timer_end = 0;
double pos_sec = 0;
double dur_sec = 0;
std::string g_path;
std::string pospath;
uint32_t g_hz = 0;
int g_ch = 0;
FilePtr sink;
bool sink_open = false;
bool null_out = false;
bool host_out = false;
bool output_failed_at_open = false;
const DecoderOps* D = nullptr;
AudioInfo CUR;
ChapterTable chapters;
TimeStretch* stretch = nullptr;

int64_t now_s() { return static_cast<int64_t>(time(nullptr)); }

void write_status() {
  AudioStatus s;
  s.position = pos_sec;
  s.duration = dur_sec;
  s.playing = paused ? 0 : 1;
  s.rate = g_hz;
  s.channels = g_ch;
  s.timer_left = timer_end > now_s() ? static_cast<long>(timer_end - now_s()) : 0;
  s.path = g_path;
  audio_write_status(s);
}

void output_failed() {
  run = 0;
  audio_write_error("no-output\n");
}

void close_output() {
  if (host_out) plat_audio_close();
  sink.reset();
  host_out = null_out = sink_open = false;
}

void open_output(uint32_t rate, int channels) {
  if (sink_open && g_hz == rate && g_ch == channels) return;
  g_hz = rate;
  g_ch = channels;
  close_output();
  if (getenv("AUDIO_NULL")) {
    null_out = true;
  } else if (const char* raw = getenv("AUDIO_RAW")) {
    sink.reset(fopen(raw, "ab"));
    null_out = !sink;
  } else if (plat_audio_open(static_cast<int>(rate), channels)) {
    host_out = true;
  } else {
    output_failed();
    output_failed_at_open = true;
    return;
  }
  sink_open = true;
}

void emit(const int16_t* frames, int n) {
  if (null_out) {
    std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(
        n * 1000000.0 / g_hz * kNullOutputPace));
    return;
  }
  if (sink) {
    size_t samples = static_cast<size_t>(n) * g_ch;
    if (fwrite(frames, sizeof(int16_t), samples, sink.get()) != samples) output_failed();
    return;
  }
  if (!run) return;
  if (!plat_audio_write(frames, n)) output_failed();
}

void close_decoder() {
  if (D) D->close();
  D = nullptr;
}

bool open_part(const std::string& device_path) {
  char buf[4400];
  const char* host = ql_path(device_path.c_str(), buf, sizeof buf);
  chapters.clear();
  CUR = AudioInfo{};
  close_decoder();
  const DecoderOps* dec = *host ? detect_decoder(host) : nullptr;
  bool ok = dec && dec->open(host, &CUR, &chapters) && CUR.rate >= kMinRate && CUR.channels > 0;
  if (!ok) {
    if (dec) dec->close();
    chapters.clear();
    fprintf(stderr, "qlaudio: cannot decode %s\n", device_path.c_str());
    return false;
  }
  D = dec;
  g_path = device_path;
  pospath = audio_position_path(device_path);
  open_output(CUR.rate, CUR.channels < 2 ? 1 : 2);
  dur_sec = CUR.duration;
  pos_sec = 0;
  stretch->reset();
  fprintf(stderr, "qlaudio: %u Hz %u ch %.1fs chapters=%zu\n", CUR.rate, CUR.channels, dur_sec,
          chapters.size());
  audio_write_chapters(chapters);
  return true;
}

// The next part: the smallest audio file name of the folder that sorts after the current one.
std::string find_next_part(const std::string& current) {
  size_t slash = current.rfind('/');
  if (slash == std::string::npos) return {};
  std::string folder = current.substr(0, slash);
  const char* name = current.c_str() + slash + 1;
  DirPtr dir(qlp_opendir(folder.empty() ? "/" : folder.c_str()));
  if (!dir) return {};
  std::string best;
  while (dirent* e = readdir(dir.get())) {
    std::string_view n(e->d_name);
    if (n.empty() || n[0] == '.' || n.size() >= kNameMax || !is_audio_extension(n)) continue;
    if (strcmp(e->d_name, name) > 0 && (best.empty() || strcmp(e->d_name, best.c_str()) < 0))
      best = e->d_name;
  }
  return best.empty() ? best : folder + "/" + best;
}

void apply_command(const AudioCommand& c) {
  switch (c.kind) {
    case AudioCommand::kSeekBy:
      // A backward seek past the start lands on the start rather than being lost.
      seek_req = std::max(0.0, pos_sec + c.value);
      break;
    case AudioCommand::kSeekTo:
      seek_req = std::max(0.0, c.value);
      break;
    case AudioCommand::kPause:
      paused = !paused;
      break;
    case AudioCommand::kStop:
      run = 0;
      break;
    case AudioCommand::kSpeed: {
      int v = static_cast<int>(c.value);
      if (v >= kMinSpeed && v <= kMaxSpeed && v != g_speed) {
        g_speed = v;
        stretch->reset();
      }
      break;
    }
    case AudioCommand::kTimer:
      timer_end = c.value >= 1 ? now_s() + static_cast<int64_t>(c.value) : 0;
      break;
    case AudioCommand::kNone:
      break;
  }
}

void teardown() {
  paused = 1;
  timer_end = 0;
  write_status();
  close_output();
  close_decoder();
  chapters.clear();
  stretch->release();
}

// Runs parts until the engine stops; the decoder of the first part is open.
void control_loop(uint32_t auto_advance) {
  std::vector<int16_t> block(static_cast<size_t>(kBlockFrames) * 2);
  int64_t frames = 0;
  int64_t last_status_s = -1;
  auto last_save = std::chrono::steady_clock::time_point{};
  bool saved_once = false;
  auto save_position = [&] {
    // A seek not yet carried out is where the listener is.
    if (!output_failed_at_open) audio_write_position(pospath, seek_req >= 0 ? seek_req : pos_sec);
  };
  while (run) {
    if (std::optional<std::string> line = audio_take_command())
      apply_command(audio_parse_command(*line));
    if (seek_req >= 0) {
      double req = seek_req;
      if (dur_sec > 0 && req > dur_sec - 1) req = std::max(0.0, dur_sec - 1);
      D->seek(req);
      pos_sec = req;
      frames = static_cast<int64_t>(req * CUR.rate);
      seek_req = -1.0;
      stretch->reset();
      write_status();
    }
    if (timer_end != 0 && now_s() >= timer_end) break;
    if (paused) {
      write_status();
      std::this_thread::sleep_for(kPausePoll);
      continue;
    }
    int n = D->read(block.data(), kBlockFrames, g_ch);
    if (n > 0) {
      frames += n;
      pos_sec = static_cast<double>(frames) / CUR.rate;
      if (g_speed == 100) {
        emit(block.data(), n);
      } else if (!stretch->push(block.data(), n, g_ch, g_speed, emit)) {
        run = 0;
      }
    } else {
      if (dur_sec > 0) pos_sec = dur_sec;
      qlp_unlink(pospath.c_str());
      if (!auto_advance || !run) return;
      std::string next = find_next_part(g_path);
      if (next.empty() || !open_part(next)) return;
      qlp_unlink(pospath.c_str());
      write_status();
      frames = 0;
      continue;
    }
    if (now_s() != last_status_s) {
      last_status_s = now_s();
      write_status();
    }
    auto t = std::chrono::steady_clock::now();
    if (!saved_once || t - last_save >= kPositionEvery) {
      save_position();
      last_save = t;
      saved_once = true;
    }
  }
  if (D) save_position();
}
}  // namespace

bool audio_stop_requested() { return th_alive && !run; }

int ql_audio_engine(const char* path, int speed, uint32_t timer_s, uint32_t auto_advance,
                    double start_pos) {
  g_speed = std::clamp(speed, kMinSpeed, kMaxSpeed);
  paused = 0;
  seek_req = -1.0;
  sink_open = false;
  output_failed_at_open = false;
  D = nullptr;
  g_path.clear();
  pos_sec = dur_sec = 0;
  timer_end = timer_s >= 1 ? now_s() + timer_s : 0;
  qlp_mkdir(kAudioStateDir, 0755);
  qlp_unlink(kAudioErrPath);
  qlp_unlink(kAudioCmdPath);
  TimeStretch ts;
  stretch = &ts;
  if (!open_part(path)) {
    audio_write_error("cannot-decode\n");
    stretch = nullptr;
    return 0;
  }
  if (start_pos < 0) {
    std::optional<double> saved = audio_read_position(pospath);
    if (saved && *saved > 0 && (dur_sec <= 0 || *saved < dur_sec - 2)) {
      seek_req = *saved;
      fprintf(stderr, "qlaudio: resume at %.1fs\n", *saved);
    }
  } else {
    seek_req = start_pos;
  }
  control_loop(auto_advance);
  teardown();
  stretch = nullptr;
  return 1;
}

namespace {
void* th_main(void*) {
  ql_audio_engine(job.path, job.speed, job.timer, job.auto_advance, job.start_pos);
  th_alive = 0;
  return nullptr;
}

bool wait_for_engine_end() {
  for (int i = 0; i < kStopPolls && th_alive; i++) std::this_thread::sleep_for(kStopPoll);
  return !th_alive;
}
}  // namespace

int ql_audio_start(const char* path, int speed, uint32_t timer_s, uint32_t auto_advance,
                   double start_pos) {
  run = 0;
  if (!wait_for_engine_end()) return 0;
  snprintf(job.path, sizeof job.path, "%s", path);
  job.speed = speed;
  job.timer = timer_s;
  job.auto_advance = auto_advance;
  job.start_pos = start_pos;
  qlp_unlink(kAudioStatusPath);
  run = 1;
  th_alive = 1;
  if (!plat_thread(th_main, nullptr)) {
    th_alive = 0;
    return 0;
  }
  return 1;
}

void ql_audio_stop() {
  run = 0;
  wait_for_engine_end();
}

bool ql_audio_alive() { return th_alive != 0; }
