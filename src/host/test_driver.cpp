#include "host/test_driver.h"

#include "base/atomic_file.h"
#include "host/add_books.h"
#include "host/host_queue.h"
#include "host/main_thread.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kOpenRetryMs = 100;
constexpr int kGrowPollMs = 50;

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The rest of the line after a command word and its spaces, as a path; empty when missing or
// too long (a cut path would name another file).
std::string path_arg(std::string_view line, std::string_view word) {
  if (line.substr(0, word.size()) != word || line.size() == word.size()) return {};
  std::string_view rest = line.substr(word.size());
  if (rest[0] != ' ' && rest[0] != '\t') return {};
  const size_t first = rest.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  rest = rest.substr(first);
  if (rest.size() > kScriptPathMax) return {};
  return std::string(rest);
}

// Writes a screenshot under a temporary name and commits it, so a reader never sees half a file.
void write_shot(const std::string& path, const std::string& header, const FrameCopy& frame,
                bool rgb) {
  const std::string tmp = path + ".tmp";
  FILE* f = fopen(tmp.c_str(), "wb");
  if (!f) return;
  bool ok = true;
  if (!frame.pixels.empty()) {
    ok = fwrite(header.data(), 1, header.size(), f) == header.size();
    if (rgb) {
      const size_t n = frame.pixels.size() / 4;
      std::string row;
      row.resize(static_cast<size_t>(frame.w) * 3);
      for (size_t i = 0; ok && i < n; i += static_cast<size_t>(frame.w)) {
        for (size_t x = 0; x < static_cast<size_t>(frame.w); x++) {
          memcpy(&row[x * 3], &frame.pixels[(i + x) * 4], 3);
        }
        ok = fwrite(row.data(), 1, row.size(), f) == row.size();
      }
    } else {
      ok = ok && fwrite(frame.pixels.data(), 1, frame.pixels.size(), f) == frame.pixels.size();
    }
  }
  if (!ok) {
    fclose(f);
    unlink(tmp.c_str());
    return;
  }
  if (!file_commit_host(f, tmp.c_str(), path.c_str())) unlink(tmp.c_str());
}

void shot(const std::string& path, bool rgb) {
  FrameCopy frame;
  if (rgb) {
    host_copy_rgba(frame);
  } else {
    host_copy_grey(frame);
  }
  char header[64];
  snprintf(header, sizeof header, rgb ? "P6\n%d %d\n255\n" : "P5\n%d %d\n255\n", frame.w,
           frame.h);
  write_shot(path, header, frame, rgb);
}

bool is_bare_word(std::string_view line, std::string_view word) {
  if (line.substr(0, word.size()) != word) return false;
  return line.find_first_not_of(" \t", word.size()) == std::string_view::npos;
}

void run_script(std::string path) {
  int fd;
  while ((fd = open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0) sleep_ms(kOpenRetryMs);
  ScriptLines lines;
  char buf[4096];
  for (;;) {
    const ssize_t r = read(fd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      sleep_ms(kGrowPollMs);  // the script may still be growing
      continue;
    }
    lines.feed(buf, static_cast<size_t>(r));
    while (auto line = lines.next()) test_driver_line(*line);
  }
}

}  // namespace

void ScriptLines::feed(const char* data, size_t n) {
  pending_.erase(0, start_);
  start_ = 0;
  pending_.append(data, n);
}

std::optional<std::string> ScriptLines::next() {
  for (;;) {
    const size_t lf = pending_.find('\n', start_);
    if (lf == std::string::npos) {
      // An unfinished line that is already too long is dropped up to its line feed.
      if (pending_.size() - start_ > kScriptLineMax) {
        overlong_ = true;
        start_ = pending_.size();
      }
      return std::nullopt;
    }
    std::string line = pending_.substr(start_, lf - start_);
    start_ = lf + 1;
    const bool dropped = overlong_;
    overlong_ = false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (dropped || line.size() > kScriptLineMax) continue;
    return line;
  }
}

void test_driver_line(std::string_view line_view) {
  const std::string line(line_view);  // NUL-terminated for sscanf
  const char* s = line.c_str();
  int x = 0, y = 0;
  if (sscanf(s, "tap %d %d", &x, &y) == 2) {
    host_clamp_point(&x, &y);
    host_tap(x, y);
  } else if (sscanf(s, "down %d %d", &x, &y) == 2) {
    host_clamp_point(&x, &y);
    host_push(HOST_POINTER_DOWN, x, y);
  } else if (sscanf(s, "up %d %d", &x, &y) == 2) {
    host_clamp_point(&x, &y);
    host_push(HOST_POINTER_UP, x, y);
  } else if (is_bare_word(line, "key forward")) {  // a page key, as the window sends it
    host_push(HOST_PAGE_KEY, 1, 0);
  } else if (is_bare_word(line, "key back")) {
    host_push(HOST_PAGE_KEY, 0, 0);
  } else if (std::string p = path_arg(line, "drop"); !p.empty()) {
    host_post_task([p] { add_books({p}); });
  } else if (std::string p = path_arg(line, "shotc"); !p.empty()) {
    shot(p, true);
  } else if (sscanf(s, "theme %d", &x) == 1) {
    host_set_test_dark(x);
    host_push(HOST_APPEARANCE, 0, 0);
  } else if (std::string p = path_arg(line, "shot"); !p.empty()) {
    shot(p, false);
  } else if (is_bare_word(line, "quit")) {
    host_push(HOST_QUIT, 0, 0);
  } else if (sscanf(s, "wait %d", &x) == 1) {
    if (x > 0) sleep_ms(x);
  } else if (is_bare_word(line, "idle")) {
    // A drop is handed over on the main thread, copied on a thread of its own and then told to
    // the core; idle covers all three.
    host_wait_tasks_done(kIdleLimitMs);
    wait_added_books(kIdleLimitMs);
    host_wait_idle(kIdleLimitMs);
  }
}

void test_driver_start(const std::string& path) { std::thread(run_script, path).detach(); }
