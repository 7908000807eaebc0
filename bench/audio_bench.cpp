// Decoding speed per format (audio seconds per CPU second, one thread) beside ffmpeg decoding
// the same file with -threads 1 and its default decoder, and the time-stretcher at 150 % and
// 300 % beside sox's tempo. Both sides are timed alike, as whole processes, by their CPU time
// (this program runs itself with --decode FILE, or with --stretch FILE SPEED, which reads and
// decodes the WAV file and stretches it as sox does with its tempo effect), so start-up and file
// reading count on both; the start-up alone (an empty run of each) is printed too. The
// stretcher's time on PCM already in memory is printed apart, as quillo's in-process figure
// (sox has none of its own). The stretcher's output length is checked against what its speed
// gives.
// Usage: audio_bench [seconds of audio, default 1800]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/time_stretch.h"
#include "scratch_dir.h"

namespace {
double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

double children_cpu_seconds() {
  rusage u;
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

double child_cpu(const std::string& cmd, bool must_succeed = true) {
  double before = children_cpu_seconds();
  if (system(cmd.c_str()) != 0 && must_succeed) return -1;
  return children_cpu_seconds() - before;
}

struct Format {
  const char* name;
  const char* file;
  const char* args;
  int rate;
  const char* ffmpeg_decoder;  // "" for ffmpeg's default decoder of the format
};
const Format kFormats[] = {
    {"mp3", "b.mp3", "-c:a libmp3lame -b:a 128k", 44100, ""},
    {"flac", "b.flac", "-c:a flac", 44100, ""},
    {"opus", "b.opus", "-c:a libopus -b:a 64k", 48000, ""},
    {"vorbis", "b.ogg", "-c:a libvorbis -q:a 4", 44100, ""},
    {"aac (m4b)", "b.m4b", "-c:a aac -b:a 128k", 44100, ""},
    {"wav", "b.wav", "-c:a pcm_s16le", 44100, ""},
};

// The --decode mode: decodes a file whole as the engine does; the frame count on stdout.
int decode_file(const char* path) {
  const DecoderOps* d = detect_decoder(path);
  AudioInfo info;
  if (!d || !d->open(path, &info, nullptr)) return 1;
  std::vector<int16_t> block(4096 * 2);
  int64_t frames = 0;
  int n;
  while ((n = d->read(block.data(), 4096, static_cast<int>(info.channels))) > 0) frames += n;
  d->close();
  printf("%lld\n", static_cast<long long>(frames));
  return 0;
}

// The --stretch mode: the WAV file decoded and stretched in 4096-frame blocks, the output
// counted; the frame count on stdout.
int stretch_file(const char* path, int speed) {
  const DecoderOps* d = detect_decoder(path);
  AudioInfo info;
  if (!d || !d->open(path, &info, nullptr)) return 1;
  const int channels = static_cast<int>(info.channels);
  std::vector<int16_t> block(4096 * size_t(channels));
  TimeStretch ts;
  size_t out = 0;
  auto emit = [&](const int16_t*, int n) { out += size_t(n); };
  int n;
  while ((n = d->read(block.data(), 4096, channels)) > 0) ts.push(block.data(), n, channels, speed, emit);
  ts.flush(speed, emit);
  d->close();
  printf("%zu\n", out);
  return 0;
}

std::string self_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--decode") return decode_file(argv[2]);
  if (argc > 3 && std::string(argv[1]) == "--stretch") return stretch_file(argv[2], atoi(argv[3]));
  double seconds = argc > 1 ? atof(argv[1]) : 1800;
  const std::string self = self_path();
  const ScratchDir scratch("ql-audio-bench");
  if (scratch.path().empty()) return 1;
  const std::string& dir = scratch.path();
  std::string src = std::string(dir) + "/src.wav";
  // Speech-like material: a voice from espeak-ng over a quiet hiss, repeated to length.
  std::string make = "espeak-ng -w " + std::string(dir) + "/voice.wav 'The quick brown fox jumps over "
                     "the lazy dog. She sells sea shells by the sea shore, and the shells she sells are "
                     "surely sea shells.' && ffmpeg -v error -y -stream_loop -1 -i " + dir +
                     "/voice.wav -f lavfi -i 'anoisesrc=a=0.01:d=" + std::to_string(seconds) +
                     "' -filter_complex '[0]aresample=44100,pan=stereo|c0=c0|c1=c0[v];[v][1]amix=inputs=2:duration=shortest' -t " +
                     std::to_string(seconds) + " -ar 44100 -ac 2 " + src;
  if (system(make.c_str()) != 0) return 1;
  const std::string empty = std::string(dir) + "/empty";
  if (system(("touch " + empty).c_str()) != 0) return 1;
  // Both refuse the empty file; what they spend getting there is their start-up.
  const double start_ours = child_cpu("'" + self + "' --decode " + empty + " >/dev/null", false);
  const double start_ff =
      child_cpu("ffmpeg -v quiet -threads 1 -i " + empty + " -f s16le -y /dev/null", false);
  printf("start-up of an empty run: ours %.3f s, ffmpeg %.3f s (both included below)\n\n",
         start_ours, start_ff);
  printf("%-10s %14s %14s %8s\n", "format", "ours (x RT)", "ffmpeg (x RT)", "ratio");
  for (const Format& f : kFormats) {
    std::string path = std::string(dir) + "/" + f.file;
    std::string enc = "ffmpeg -v error -y -i " + src + " -ar " + std::to_string(f.rate) + " " + f.args + " " + path;
    if (system(enc.c_str()) != 0) continue;
    double best_ours = 1e9, best_ff = 1e9;
    const std::string frames_file = std::string(dir) + "/frames";
    for (int rep = 0; rep < 3; rep++) {
      best_ours = std::min(best_ours, child_cpu("'" + self + "' --decode " + path + " >" + frames_file));
      std::string ff = std::string("ffmpeg -v error -threads 1 ") +
                       (*f.ffmpeg_decoder ? std::string("-c:a ") + f.ffmpeg_decoder + " " : "") +
                       "-i " + path + " -f s16le -ac 2 -y /dev/null";
      best_ff = std::min(best_ff, child_cpu(ff));
    }
    FILE* fr = fopen(frames_file.c_str(), "r");
    long long frames = 0;
    if (!fr || fscanf(fr, "%lld", &frames) != 1) frames = 0;
    if (fr) fclose(fr);
    if (frames < static_cast<long long>(seconds * f.rate * 0.99))
      printf("  (%s decoded only %lld frames)\n", f.name, frames);
    printf("%-10s %14.0f %14.0f %7.2fx\n", f.name, seconds / best_ours, seconds / best_ff,
           best_ff / best_ours);
  }

  // The stretcher on the 44.1 kHz stereo source, fed in 4096-frame blocks.
  std::vector<int16_t> pcm;
  {
    const DecoderOps* d = detect_decoder((std::string(dir) + "/b.wav").c_str());
    AudioInfo info;
    if (d && d->open((std::string(dir) + "/b.wav").c_str(), &info, nullptr)) {
      std::vector<int16_t> block(4096 * 2);
      int n;
      while ((n = d->read(block.data(), 4096, 2)) > 0) pcm.insert(pcm.end(), block.begin(), block.begin() + n * 2);
      d->close();
    }
  }
  printf("\n%-10s %18s %18s %8s %22s\n", "stretch", "ours, whole (x RT)", "sox tempo (x RT)", "ratio",
         "ours, in-process (x RT)");
  const std::string wav = std::string(dir) + "/b.wav";
  for (int speed : {150, 300}) {
    double best = 1e9, best_whole = 1e9, best_sox = 1e9;
    for (int rep = 0; rep < 3; rep++) {
      TimeStretch ts;
      size_t out = 0;
      auto emit = [&](const int16_t*, int n) { out += n; };
      double t0 = cpu_seconds();
      for (size_t at = 0; at < pcm.size() / 2; at += 4096) {
        int n = static_cast<int>(std::min<size_t>(4096, pcm.size() / 2 - at));
        ts.push(pcm.data() + at * 2, n, 2, speed, emit);
      }
      ts.flush(speed, emit);
      best = std::min(best, cpu_seconds() - t0);
      // All input but the first block's share comes out, at the speed's ratio (above 225 % the
      // last block may reach up to 1024 - 230400 / speed frames past the input's end).
      const double want = (pcm.size() / 2.0) * 100 / speed - TimeStretch::kBlock;
      const double overshoot = std::max(0.0, 1024 - 230400.0 / speed);
      if (rep == 0 && (out < want - 2 || out > want + overshoot + 2))
        printf("  (at %d%% the stretcher gave %zu frames, %.0f expected)\n", speed, out, want);
      best_whole = std::min(best_whole, child_cpu("'" + self + "' --stretch " + wav + " " + std::to_string(speed) +
                                                  " >/dev/null"));
      std::string sox = "sox " + wav + " -n tempo " + std::to_string(speed / 100.0);
      best_sox = std::min(best_sox, child_cpu(sox));
    }
    printf("%-10d %18.0f %18.0f %7.2fx %22.0f\n", speed, seconds / best_whole, seconds / best_sox,
           best_sox / best_whole, seconds / best);
  }
  return 0;
}
