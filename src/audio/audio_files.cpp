#include "audio/audio_files.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/atomic_file.h"
#include "base/paths.h"

namespace {
constexpr size_t kCommandMax = 63;
constexpr time_t kStatusFreshSeconds = 5;

// Writes `text` to `path` + ".t" and renames it into place; nothing when that cannot be done.
void replace_file(const std::string& path, const std::string& text) {
  std::string tmp = path + ".t";
  FILE* f = file_create_new(tmp.c_str());
  if (!f) return;
  if (fwrite(text.data(), 1, text.size(), f) != text.size()) {
    fclose(f);
    qlp_unlink(tmp.c_str());
    return;
  }
  file_commit_unsynced(f, tmp.c_str(), path.c_str());
}

// Reads a decimal number at the start of `s` (after the command word); 0 when malformed.
double read_number(const char* s, bool integer) {
  char* end = nullptr;
  errno = 0;
  if (integer) {
    long v = strtol(s, &end, 10);
    return end == s ? 0 : static_cast<double>(v);
  }
  double v = strtod(s, &end);
  return end == s || !std::isfinite(v) ? 0 : v;
}
}  // namespace

AudioCommand audio_parse_command(std::string_view line) {
  char buf[kCommandMax + 1];
  size_t n = std::min(line.size(), kCommandMax);
  memcpy(buf, line.data(), n);
  buf[n] = 0;
  struct Word {
    const char* text;
    AudioCommand::Kind kind;
    bool integer;
  };
  static constexpr Word kWords[] = {
      {"seekto:", AudioCommand::kSeekTo, false}, {"seek:", AudioCommand::kSeekBy, false},
      {"pause", AudioCommand::kPause, false},    {"stop", AudioCommand::kStop, false},
      {"speed:", AudioCommand::kSpeed, true},    {"timer:", AudioCommand::kTimer, true},
  };
  for (const Word& w : kWords) {
    size_t len = strlen(w.text);
    if (strncmp(buf, w.text, len) != 0) continue;
    AudioCommand c;
    c.kind = w.kind;
    if (w.text[len - 1] == ':') c.value = read_number(buf + len, w.integer);
    return c;
  }
  return {};
}

uint64_t audio_position_key(std::string_view device_path) {
  uint64_t h = 5381;
  for (unsigned char b : device_path) h = (h * 33) ^ b;
  return h;
}

std::string audio_position_path(std::string_view device_path) {
  char buf[64];
  snprintf(buf, sizeof buf, "/mnt/us/ql/state/audio-%" PRIx64 ".pos",
           audio_position_key(device_path));
  return buf;
}

void ql_audio_cmd(const char* text) { replace_file(kAudioCmdPath, std::string(text) + "\n"); }

std::optional<std::string> audio_take_command() {
  // Moved to a name of the engine's own before reading: a command dropped in meanwhile lands
  // on the public name and waits for the next pass instead of being removed unread.
  if (qlp_rename(kAudioCmdPath, kAudioCmdTakenPath) != 0) return std::nullopt;
  FILE* f = qlp_fopen(kAudioCmdTakenPath, "r");
  if (!f) return std::nullopt;
  char line[kCommandMax + 1];
  bool got = fgets(line, sizeof line, f) != nullptr;
  fclose(f);
  qlp_unlink(kAudioCmdTakenPath);
  if (!got) return std::string();
  line[strcspn(line, "\r\n")] = 0;
  return std::string(line);
}

void audio_write_status(const AudioStatus& s) {
  char line[128];
  snprintf(line, sizeof line, "%.1f %.1f %d %u %d %ld\n", s.position, s.duration, s.playing,
           s.rate, s.channels, s.timer_left);
  replace_file(kAudioStatusPath, line + s.path + "\n");
}

std::optional<AudioStatus> audio_status_read() {
  FILE* f = qlp_fopen(kAudioStatusPath, "r");
  if (!f) return std::nullopt;
  AudioStatus s;
  char path[4200];
  int got = fscanf(f, "%lf %lf %d %u %d %ld", &s.position, &s.duration, &s.playing, &s.rate,
                   &s.channels, &s.timer_left);
  if (got >= 3 && fscanf(f, " ") == 0 && fgets(path, sizeof path, f)) {
    path[strcspn(path, "\n")] = 0;
    s.path = path;
  }
  fclose(f);
  if (got < 3) return std::nullopt;
  // The engine writes only finite times; "inf", "nan" or an overflowing number means damage.
  if (!std::isfinite(s.position)) s.position = 0;
  if (!std::isfinite(s.duration)) s.duration = 0;
  return s;
}

int ql_audio_playing() {
  // A fresh status left by a program that ended a moment ago describes no engine.
  if (!ql_audio_alive()) return 0;
  struct stat st;
  if (qlp_stat(kAudioStatusPath, &st) != 0) return 0;
  if (st.st_mtime < time(nullptr) - kStatusFreshSeconds) return 0;
  std::optional<AudioStatus> s = audio_status_read();
  return s && s->playing ? 1 : 0;
}

void audio_write_error(const char* note, const std::vector<std::string>& parts) {
  // The list first: once the note is there, what it is about is too. Each path ends with a NUL,
  // the one byte no file name holds.
  std::string list;
  for (const std::string& p : parts) list += p + '\0';
  replace_file(kAudioErrPartsPath, list);
  FilePtr f(qlp_fopen(kAudioErrPath, "w"));
  if (f) fputs(note, f.get());
}

std::vector<std::string> audio_error_parts() {
  std::vector<std::string> parts;
  struct stat st;
  if (qlp_stat(kAudioErrPath, &st) != 0) return parts;
  FilePtr f(qlp_fopen(kAudioErrPartsPath, "rb"));
  if (!f) return parts;
  std::string path;
  for (int c; (c = fgetc(f.get())) != EOF;) {
    if (c != 0) {
      path += static_cast<char>(c);
    } else if (!path.empty()) {
      parts.push_back(std::move(path));
      path.clear();
    }
  }
  return parts;
}

void audio_clear_error() {
  qlp_unlink(kAudioErrPath);
  qlp_unlink(kAudioErrPartsPath);
}

void audio_write_chapters(const ChapterTable& chapters) {
  FilePtr f(qlp_fopen(kAudioChaptersPath, "w"));
  if (!f) return;
  for (const Chapter& c : chapters.items()) fprintf(f.get(), "%.1f\t%s\n", c.start, c.title.c_str());
}

SecondsLine audio_split_seconds_line(std::string_view line) {
  SecondsLine out;
  const size_t tab = line.find('\t');
  const std::string secs(line.substr(0, tab));
  char* end = nullptr;
  const double v = strtod(secs.c_str(), &end);
  out.seconds = end != secs.c_str() && std::isfinite(v) ? v : 0;
  if (tab != std::string_view::npos) out.text = line.substr(tab + 1);
  return out;
}

std::optional<double> audio_read_position(const std::string& pospath) {
  FilePtr f(qlp_fopen(pospath.c_str(), "r"));
  double v;
  if (!f || fscanf(f.get(), "%lf", &v) != 1 || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<double> audio_resume_position(std::string_view device_path, double duration) {
  std::optional<double> saved = audio_read_position(audio_position_path(device_path));
  if (!saved || *saved <= 0 || (duration > 0 && *saved >= duration - 2)) return std::nullopt;
  return saved;
}

void audio_write_position(const std::string& pospath, double seconds) {
  char line[64];
  snprintf(line, sizeof line, "%.1f\n", seconds);
  replace_file(pospath, line);
}
