#include "audio/audio_book.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/audio_files.h"
#include "base/atomic_file.h"
#include "base/held_files.h"
#include "base/paths.h"
#include "base/tsv_field.h"
#include "base/wyhash.h"

namespace {
constexpr size_t kPartFileMax = 4100;
constexpr size_t kBookmarksReadMax = 16000;
constexpr size_t kBookmarksKeepMax = size_t{1} << 24;  // a rewrite keeps a hand-edited file whole
constexpr const char* kStateDir = "/mnt/us/ql/state";

// Up to `max` bytes of a device-path file; none when it cannot be opened.
std::optional<std::string> read_head(const std::string& path, size_t max) {
  FilePtr f(qlp_fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  std::string bytes(max, '\0');
  bytes.resize(fread(bytes.data(), 1, max, f.get()));
  return bytes;
}

// Replaces a device-path file in the state folder (made when missing) with `bytes`.
bool write_whole(const std::string& path, std::string_view bytes) {
  qlp_mkdir(kStateDir, 0755);
  return file_write_atomic(path.c_str(), bytes.data(), bytes.size());
}

// A bookmarks file as the reader last made it: what a failed write holds, else the file.
std::optional<std::string> read_bookmarks(const std::string& path, size_t max) {
  if (const std::string* unsaved = held_content(path)) return unsaved->substr(0, max);
  return read_head(path, max);
}

std::string format_bookmark(double seconds, std::string_view part_name) {
  char secs[64];
  snprintf(secs, sizeof secs, "%.1f\t", seconds);
  return secs + std::string(part_name) + "\n";
}
}  // namespace

std::string_view audio_path_folder(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(0, slash);
}

std::string_view audio_path_name(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view audio_name_without_extension(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name.size() - dot > 5) return name;
  return name.substr(0, dot);
}

bool audio_parts_path_less(std::string_view a, std::string_view b) {
  // std::string_view compares chars, which may be signed; paths order by unsigned bytes.
  size_t n = std::min(a.size(), b.size());
  int c = memcmp(a.data(), b.data(), n);
  return c != 0 ? c < 0 : a.size() < b.size();
}

std::string audio_part_state_path(uint64_t key) {
  return std::string(kStateDir) + "/audio-part-" + cache_key_hex(key);
}

void audio_part_remember(std::string_view path) {
  write_whole(audio_part_state_path(CacheKey(audio_path_folder(path))), path);
}

std::string AudioBook::key_hex() const {
  return cache_key_hex(CacheKey(folder_mode ? std::string_view(folder) : current_path()));
}

std::optional<size_t> AudioBook::find_part(std::string_view path) const {
  for (size_t i = 0; i < parts.size(); i++)
    if (parts[i] == path) return i;
  return std::nullopt;
}

std::optional<size_t> AudioBook::find_part_named(std::string_view name) const {
  for (size_t i = 0; i < parts.size(); i++)
    if (audio_path_name(parts[i]) == name) return i;
  return std::nullopt;
}

AudioBook audio_book_make(std::string_view path, std::string_view folder,
                          const std::vector<std::string>& folder_parts) {
  AudioBook book;
  if (folder_parts.empty()) {
    book.parts.emplace_back(path);
    return book;
  }
  book.folder_mode = true;
  book.folder = folder;
  const size_t n = std::min(folder_parts.size(), kMaxAudioParts);
  book.parts.assign(folder_parts.begin(), folder_parts.begin() + static_cast<ptrdiff_t>(n));
  std::stable_sort(
      book.parts.begin(), book.parts.end(),
      [](const std::string& a, const std::string& b) { return audio_parts_path_less(a, b); });
  if (std::optional<std::string> last =
          read_head(audio_part_state_path(CacheKey(folder)), kPartFileMax)) {
    while (!last->empty() && (last->back() == ' ' || last->back() == '\r' || last->back() == '\n'))
      last->pop_back();
    book.current = book.find_part(*last).value_or(0);
  }
  return book;
}

std::string audio_bookmarks_path(const std::string& key_hex) {
  return std::string(kStateDir) + "/audio-bm-" + key_hex + ".txt";
}

std::vector<AudioBookmark> audio_bookmarks_read(const std::string& key_hex, std::string* rest) {
  std::vector<AudioBookmark> marks;
  if (rest) rest->clear();
  const std::string path = audio_bookmarks_path(key_hex);
  std::optional<std::string> head = read_bookmarks(path, kBookmarksReadMax);
  if (!head) return marks;
  size_t at = 0;
  while (at < head->size() && marks.size() < kMaxAudioBookmarks) {
    size_t end = head->find('\n', at);
    if (end == std::string::npos) end = head->size();
    std::string_view line(head->data() + at, end - at);
    at = std::min(end + 1, head->size());
    if (line.empty()) continue;
    const SecondsLine parsed = audio_split_seconds_line(line);
    AudioBookmark m;
    m.line = line;
    m.seconds = parsed.seconds;
    m.part_name = parsed.text;
    marks.push_back(std::move(m));
  }
  if (rest) {
    // Everything after the lines taken: the rest of the head and what lies beyond it.
    if (const std::string* unsaved = held_content(path)) {
      *rest = unsaved->substr(at);
      return marks;
    }
    FilePtr f(qlp_fopen(path.c_str(), "rb"));
    if (f && fseeko(f.get(), static_cast<off_t>(at), SEEK_SET) == 0) {
      char buf[65536];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, f.get())) > 0) rest->append(buf, n);
    }
  }
  return marks;
}

BookmarkAdd audio_bookmark_add(const std::string& key_hex, double seconds,
                               std::string_view part_name) {
  // The line has no escaping and "Go there" needs the name as it is: a part whose name would
  // split the line gets no bookmark.
  if (!tsv_field_plain(part_name)) return BookmarkAdd::NameRefused;
  const std::string path = audio_bookmarks_path(key_hex);
  std::string bytes = read_bookmarks(path, kBookmarksKeepMax).value_or("");
  if (!bytes.empty() && bytes.back() != '\n') bytes += '\n';
  return held_replace(path, bytes + format_bookmark(seconds, part_name), ReaderWork::AudioBookmarks)
             ? BookmarkAdd::Saved
             : BookmarkAdd::WriteFailed;
}

bool audio_bookmark_remove(const std::string& key_hex, size_t index) {
  std::string rest;
  std::vector<AudioBookmark> marks = audio_bookmarks_read(key_hex, &rest);
  if (index >= marks.size()) return false;
  std::string bytes;
  for (size_t i = 0; i < marks.size(); i++)
    if (i != index) bytes += marks[i].line + "\n";
  return held_replace(audio_bookmarks_path(key_hex), bytes + rest, ReaderWork::AudioBookmarks);
}
