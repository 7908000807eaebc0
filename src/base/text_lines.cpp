#include "base/text_lines.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/paths.h"
#include "base/utf8.h"

namespace {
void skip_rest_of_line(FILE* f) {
  int c = getc(f);
  while (c != EOF && c != '\n') c = getc(f);
}

// Positions `f` at the first line that begins within its last `tail_bytes` bytes (or at the start
// of a shorter file or one that cannot seek).
void seek_tail(FILE* f, long tail_bytes) {
  if (fseek(f, 0, SEEK_END) != 0) {
    rewind(f);
    return;
  }
  long size = ftell(f);
  if (size <= tail_bytes) {
    rewind(f);
    return;
  }
  // Look at the byte before the cut: when it ends a line, the cut is already on a line start and
  // no partial line must be dropped.
  if (fseek(f, size - tail_bytes - 1, SEEK_SET) != 0) {
    rewind(f);
    return;
  }
  skip_rest_of_line(f);
}

FilePtr open_at_tail(const char* path, long tail_bytes) {
  FilePtr f(qlp_fopen(path, "rb"));
  if (f && tail_bytes > 0) seek_tail(f.get(), tail_bytes);
  return f;
}

// Reads the next line that is not blank into `line`, trimmed and NUL-terminated: its length, or
// none at the end of the file.
std::optional<size_t> next_line(FILE* f, TextLine& line, LongLines long_lines) {
  while (fgets(line.data(), static_cast<int>(line.size()), f)) {
    size_t n = strlen(line.data());
    if (long_lines == LongLines::Cut && n == line.size() - 1 && line[n - 1] != '\n') {
      // The buffer is full: a line of exactly 159 bytes ends at the next byte, a longer one is cut
      // before the character that the next byte may continue.
      const int next = getc(f);
      if (next != '\n' && next != EOF) {
        line[n] = static_cast<char>(next);
        n = utf8_prefix_length(std::string_view(line.data(), n + 1), n);
        skip_rest_of_line(f);
      }
    }
    n = trimmed_length(std::string_view(line.data(), n));
    if (n == 0) continue;
    line[n] = 0;
    return n;
  }
  return std::nullopt;
}
}  // namespace

size_t trimmed_length(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == '\n' || s[n - 1] == '\r' || s[n - 1] == ' ')) --n;
  return n;
}

size_t text_read_lines(const char* path, std::span<TextLine> lines,
                       std::span<std::string_view> spans, long tail_bytes, LongLines long_lines) {
  const size_t max = std::min(lines.size(), spans.size());
  if (max == 0) return 0;
  FilePtr f = open_at_tail(path, tail_bytes);
  if (!f) return 0;
  size_t count = 0;
  while (count < max) {
    const std::optional<size_t> n = next_line(f.get(), lines[count], long_lines);
    if (!n) break;
    spans[count] = std::string_view(lines[count].data(), *n);
    ++count;
  }
  return count;
}

size_t text_read_last_lines(const char* path, std::span<TextLine> lines,
                            std::span<std::string_view> spans, long tail_bytes,
                            LongLines long_lines) {
  const size_t max = std::min(lines.size(), spans.size());
  if (max == 0) return 0;
  FilePtr f = open_at_tail(path, tail_bytes);
  if (!f) return 0;
  // The buffers form a ring; a line is read aside first, so a blank line at the end cannot spoil
  // the oldest line kept.
  TextLine next{};
  uint64_t read = 0;
  while (next_line(f.get(), next, long_lines)) lines[read++ % max] = next;
  const size_t count = read < max ? size_t(read) : max;
  if (read > max) {
    const auto end = lines.begin() + ptrdiff_t(max);
    std::rotate(lines.begin(), lines.begin() + ptrdiff_t(read % max), end);
  }
  for (size_t i = 0; i < count; ++i) {
    spans[i] = std::string_view(lines[i].data(), strlen(lines[i].data()));
  }
  return count;
}

bool text_each_line(const char* path, const std::function<bool(std::string_view)>& each) {
  FilePtr f(qlp_fopen(path, "rb"));
  if (!f) return false;
  char* buf = nullptr;
  size_t cap = 0;
  ssize_t len;
  while ((len = getline(&buf, &cap, f.get())) >= 0) {
    std::string_view line(buf, static_cast<size_t>(len));
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (!each(line)) break;
  }
  free(buf);
  return true;
}
