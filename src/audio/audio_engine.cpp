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
constexpr int kDrainSliceMs = 50;
constexpr int kDrainSlices = 120;  // the host queue holds at most about 4 s (8 kHz mono)
constexpr size_t kNameMax = 1024;
constexpr double kNullOutputPace = 0.02;  // AUDIO_NULL plays at fifty times real time

// The start request, handed from ql_audio_start to the thread; written only while no engine
// thread is alive.
struct Job {
  char path[4096];
  int speed;
  uint32_t timer;
  uint32_t auto_advance;
  double start_pos;
};
Job job;

// The only words both sides touch. `run`: written by both (0 = stop at the next pass), polled by
// the engine thread. `th_alive`: set by ql_audio_start, cleared by the engine thread when its
// body has returned.
std::atomic<int> run{0};
std::atomic<int> th_alive{0};

int64_t now_s() { return static_cast<int64_t>(time(nullptr)); }

// Where decoded frames go: the host's queue, a raw file (AUDIO_RAW) or nowhere (AUDIO_NULL).
class Output {
 public:
  ~Output() { close(false); }
  bool is_open() const { return open_; }
  bool matches(uint32_t rate, int channels) const {
    return open_ && rate_ == rate && channels_ == channels;
  }
  uint32_t rate() const { return rate_; }
  int channels() const { return channels_; }

  // False when the host output cannot be opened.
  bool open(uint32_t rate, int channels) {
    rate_ = rate;
    channels_ = channels;
    if (getenv("AUDIO_NULL")) {
      null_ = true;
    } else if (const char* raw = getenv("AUDIO_RAW")) {
      sink_.reset(fopen(raw, "ab"));
      null_ = !sink_;
    } else if (plat_audio_open(static_cast<int>(rate), channels)) {
      host_ = true;
    } else {
      return false;
    }
    open_ = true;
    return true;
  }

  // False on a failed write. A host write is skipped once the engine is asked to stop.
  bool write(const int16_t* frames, int n) {
    if (null_) {
      std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(
          n * 1000000.0 / rate_ * kNullOutputPace));
      return true;
    }
    if (sink_) {
      size_t samples = static_cast<size_t>(n) * channels_;
      return fwrite(frames, sizeof(int16_t), samples, sink_.get()) == samples;
    }
    if (!run) return true;
    return plat_audio_write(frames, n) != 0;
  }

  // `drain`: let the host play what it has queued first (the end of a part), unless the engine
  // is asked to stop meanwhile; otherwise queued audio is dropped.
  void close(bool drain) {
    if (host_) {
      for (int i = 0; drain && run && i < kDrainSlices; i++)
        if (plat_audio_drain(kDrainSliceMs)) break;
      plat_audio_close();
    }
    sink_.reset();
    host_ = null_ = open_ = false;
  }

 private:
  FilePtr sink_;
  bool open_ = false;
  bool null_ = false;
  bool host_ = false;
  uint32_t rate_ = 0;
  int channels_ = 0;
};

// Everything the engine knows while it runs. One instance lives on the engine thread's stack
// for the length of a run; nothing else touches it.
class Engine {
 public:
  Engine(int speed, uint32_t timer_s)
      : speed_(std::clamp(speed, kMinSpeed, kMaxSpeed)),
        timer_end_(timer_s >= 1 ? now_s() + timer_s : 0) {}
  ~Engine() { close_decoder(); }

  bool open_part(const std::string& device_path);
  void resume_or_start_at(double start_pos);
  void control_loop(uint32_t auto_advance);
  void teardown();

 private:
  void write_status() const;
  void output_failed();
  void emit(const int16_t* frames, int n);
  void apply_command(const AudioCommand& c);
  void seek_now();
  void save_position() const;
  bool end_of_part(uint32_t auto_advance);
  void close_decoder() {
    if (dec_) dec_->close();
    dec_ = nullptr;
  }

  int speed_;
  int64_t timer_end_;  // wall-clock seconds at which the sleep timer ends playback; 0 none
  bool paused_ = false;
  double seek_req_ = -1.0;  // pending seek target in seconds; -1 none
  double pos_ = 0;          // seconds into the open part
  double dur_ = 0;          // its length; 0 when the decoder cannot tell
  int64_t frames_ = 0;      // input frames of the part decoded so far (or seeked to)
  std::string path_;        // the open part's device path
  std::string pospath_;     // its position file
  Output out_;
  bool output_failed_at_open_ = false;
  const DecoderOps* dec_ = nullptr;
  AudioInfo cur_;
  ChapterTable chapters_;
  TimeStretch stretch_;
  bool ended_by_part_end_ = false;
  std::vector<std::string> skipped_;  // parts passed over because they could not be decoded
};

void Engine::write_status() const {
  AudioStatus s;
  s.position = pos_;
  s.duration = dur_;
  s.playing = paused_ ? 0 : 1;
  s.rate = out_.rate();
  s.channels = out_.channels();
  s.timer_left = timer_end_ > now_s() ? static_cast<long>(timer_end_ - now_s()) : 0;
  s.path = path_;
  audio_write_status(s);
}

void Engine::output_failed() {
  run = 0;
  audio_write_error("no-output\n", {path_});
}

void Engine::emit(const int16_t* frames, int n) {
  if (!out_.write(frames, n)) output_failed();
}

bool Engine::open_part(const std::string& device_path) {
  char buf[4400];
  const char* host = ql_path(device_path.c_str(), buf, sizeof buf);
  chapters_.clear();
  cur_ = AudioInfo{};
  close_decoder();
  const DecoderOps* dec = *host ? detect_decoder(host) : nullptr;
  bool ok = dec && dec->open(host, &cur_, &chapters_) && cur_.rate >= kMinRate && cur_.channels > 0;
  if (!ok) {
    if (dec) dec->close();
    chapters_.clear();
    fprintf(stderr, "qlaudio: cannot decode %s\n", device_path.c_str());
    return false;
  }
  dec_ = dec;
  path_ = device_path;
  pospath_ = audio_position_path(device_path);
  const int channels = cur_.channels < 2 ? 1 : 2;
  if (!out_.matches(cur_.rate, channels)) {
    // The previous part's last blocks are still queued: play them before switching.
    out_.close(true);
    if (!out_.open(cur_.rate, channels)) {
      output_failed();
      output_failed_at_open_ = true;
    }
  }
  dur_ = cur_.duration;
  pos_ = 0;
  frames_ = 0;
  stretch_.reset();
  fprintf(stderr, "qlaudio: %u Hz %u ch %.1fs chapters=%zu\n", cur_.rate, cur_.channels, dur_,
          chapters_.size());
  audio_write_chapters(chapters_);
  return true;
}

void Engine::resume_or_start_at(double start_pos) {
  if (start_pos >= 0) {
    seek_req_ = start_pos;
    return;
  }
  if (std::optional<double> saved = audio_resume_position(path_, dur_)) {
    seek_req_ = *saved;
    fprintf(stderr, "qlaudio: resume at %.1fs\n", *saved);
  }
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

void Engine::apply_command(const AudioCommand& c) {
  switch (c.kind) {
    case AudioCommand::kSeekBy:
      // A backward seek past the start lands on the start rather than being lost.
      seek_req_ = std::max(0.0, pos_ + c.value);
      break;
    case AudioCommand::kSeekTo:
      seek_req_ = std::max(0.0, c.value);
      break;
    case AudioCommand::kPause:
      paused_ = !paused_;
      break;
    case AudioCommand::kStop:
      run = 0;
      break;
    case AudioCommand::kSpeed: {
      int v = static_cast<int>(c.value);
      if (v >= kMinSpeed && v <= kMaxSpeed && v != speed_) {
        speed_ = v;
        stretch_.reset();
      }
      break;
    }
    case AudioCommand::kTimer:
      timer_end_ = c.value >= 1 ? now_s() + static_cast<int64_t>(c.value) : 0;
      break;
    case AudioCommand::kNone:
      break;
  }
}

void Engine::seek_now() {
  double req = seek_req_;
  if (dur_ > 0 && req > dur_ - 1) req = std::max(0.0, dur_ - 1);
  dec_->seek(req);
  pos_ = req;
  frames_ = static_cast<int64_t>(req * cur_.rate);
  seek_req_ = -1.0;
  stretch_.reset();
  write_status();
}

void Engine::save_position() const {
  // A seek not yet carried out is where the listener is.
  if (!output_failed_at_open_) audio_write_position(pospath_, seek_req_ >= 0 ? seek_req_ : pos_);
}

// The decoder has run dry. True when the next part is open and playing goes on.
bool Engine::end_of_part(uint32_t auto_advance) {
  if (speed_ != 100)
    stretch_.flush(speed_, [this](const int16_t* f, int n) { emit(f, n); });
  if (dur_ > 0) pos_ = dur_;
  qlp_unlink(pospath_.c_str());
  ended_by_part_end_ = true;
  if (!auto_advance || !run) return false;
  // A part that cannot be decoded is named in the error note and passed over for the next one;
  // the note names every part passed over in this run.
  std::string next = find_next_part(path_);
  while (!next.empty() && !open_part(next)) {
    skipped_.push_back(next);
    audio_write_error("cannot-decode\n", skipped_);
    next = find_next_part(next);
  }
  if (next.empty()) return false;
  ended_by_part_end_ = false;
  qlp_unlink(pospath_.c_str());
  write_status();
  return true;
}

void Engine::control_loop(uint32_t auto_advance) {
  std::vector<int16_t> block(static_cast<size_t>(kBlockFrames) * 2);
  int64_t last_status_s = -1;
  auto last_save = std::chrono::steady_clock::time_point{};
  bool saved_once = false;
  const TimeStretch::Emit emit_fn = [this](const int16_t* f, int n) { emit(f, n); };
  while (run) {
    if (std::optional<std::string> line = audio_take_command())
      apply_command(audio_parse_command(*line));
    if (seek_req_ >= 0) seek_now();
    if (timer_end_ != 0 && now_s() >= timer_end_) break;
    if (paused_) {
      write_status();
      std::this_thread::sleep_for(kPausePoll);
      continue;
    }
    const int channels = out_.channels();
    int n = dec_->read(block.data(), kBlockFrames, channels);
    if (n <= 0) {
      // A reader asked to stop hands back what it had, often nothing: that is a stop, which
      // keeps the place reached, not the end of the part, which forgets it.
      if (!run) break;
      if (!end_of_part(auto_advance)) return;
      continue;
    }
    frames_ += n;
    pos_ = static_cast<double>(frames_) / cur_.rate;
    if (speed_ == 100) {
      emit(block.data(), n);
    } else if (!stretch_.push(block.data(), n, channels, speed_, emit_fn)) {
      run = 0;
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
  if (dec_) save_position();
}

void Engine::teardown() {
  paused_ = true;
  timer_end_ = 0;
  write_status();
  // The last part's end is still in the host's queue; a stop or a sleep timer cuts it short.
  out_.close(ended_by_part_end_);
  close_decoder();
  chapters_.clear();
  stretch_.release();
}
}  // namespace

bool audio_stop_requested() { return th_alive && !run; }

int ql_audio_engine(const char* path, int speed, uint32_t timer_s, uint32_t auto_advance,
                    double start_pos) {
  qlp_mkdir(kAudioStateDir, 0755);
  audio_clear_error();
  qlp_unlink(kAudioCmdPath);
  Engine engine(speed, timer_s);
  if (!engine.open_part(path)) {
    audio_write_error("cannot-decode\n", {path});
    return 0;
  }
  engine.resume_or_start_at(start_pos);
  engine.control_loop(auto_advance);
  engine.teardown();
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
