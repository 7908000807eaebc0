// An audiobook as the player plays it: one audio file, or the parts of a folder. Also the two
// files the player keeps per book in /mnt/us/ql/state: the part last played ("audio-part-" +
// key, folder books only) and the bookmarks ("audio-bm-" + key + ".txt").
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kMaxAudioParts = 400;
constexpr size_t kMaxAudioBookmarks = 40;

struct AudioBook {
  std::vector<std::string> parts;  // device paths; one in single-file mode
  size_t current = 0;
  bool folder_mode = false;
  std::string folder;  // folder mode only

  const std::string& current_path() const { return parts[current]; }
  // Parts follow on to the next one only in a folder of two parts or more.
  bool auto_advance() const { return folder_mode && parts.size() >= 2; }
  // The key naming the bookmarks file: the folder's, else the file's.
  std::string key_hex() const;
  // The index of the part with exactly this path.
  std::optional<size_t> find_part(std::string_view path) const;
  // The index of the part whose file name is `name`.
  std::optional<size_t> find_part_named(std::string_view name) const;
};

// The book for `path`. `folder_parts` (the library's audio files of the folder when the file is
// one part of a folder audiobook, else empty) become the parts, in audio_parts_path_less order
// (at most 400 are taken); the part named by the part file is current, else the first.
AudioBook audio_book_make(std::string_view path, std::string_view folder,
                          const std::vector<std::string>& folder_parts);

// Byte order of the full paths (unsigned bytes); a prefix goes first.
bool audio_parts_path_less(std::string_view a, std::string_view b);
// "/mnt/us/ql/state/audio-part-" + the key in lower-case hexadecimal.
std::string audio_part_state_path(uint64_t key);
// Writes `path` as the part last played of its folder (through ".tmp" and file_commit).
void audio_part_remember(std::string_view path);

// The folder of a path: the bytes before its last "/" (the whole path without one).
std::string_view audio_path_folder(std::string_view path);
// The last path component.
std::string_view audio_path_name(std::string_view path);
// A file name without its extension: a "." among the last five bytes that is not the first
// byte ends it.
std::string_view audio_name_without_extension(std::string_view name);

struct AudioBookmark {
  double seconds = 0;
  std::string part_name;  // the part's file name, extension included
  std::string line;       // the line as it stands in the file, without its line feed
};
// The bookmarks file of a book key (as last changed: what a failed write holds in memory, else the
// file): the first 40 non-empty lines of its first 16,000 bytes. `rest` (when given) receives
// every other byte after those lines, so a rewrite keeps them.
std::vector<AudioBookmark> audio_bookmarks_read(const std::string& key_hex,
                                                std::string* rest = nullptr);
// Appends a bookmark. A part name holding a tab or a line break cannot be stored in the line
// (the file has no escaping), so it is refused; a failed write leaves the old file, with errno,
// and the new bookmarks are held until a write succeeds.
enum class BookmarkAdd { Saved, NameRefused, WriteFailed };
BookmarkAdd audio_bookmark_add(const std::string& key_hex, double seconds,
                               std::string_view part_name);
// Removes the bookmark at `index` of what audio_bookmarks_read gives, keeping every other line
// of the file, also those it did not read; false when the file could not be written (held as for
// an add).
bool audio_bookmark_remove(const std::string& key_hex, size_t index);
std::string audio_bookmarks_path(const std::string& key_hex);
