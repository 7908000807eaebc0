// What the reader made (the reading position, notes, collections, the vocabulary, audiobook
// bookmarks) is kept in memory while its file cannot be written (a full or read-only storage): the
// whole new content of a file that is replaced, or the lines an appended file still lacks. Every
// later write of the same file writes them first, held_files_write tries them all again (before
// another book's notes replace the open one's, and at quit), and nothing is dropped until it is on
// disk. Core thread only.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "base/atomic_file.h"

// The kinds of the reader's own work, which a failed save names to the reader.
enum class ReaderWork : unsigned char {
  ReadingPosition,
  Notes,
  Collections,
  Vocabulary,
  AudioBookmarks
};
constexpr unsigned kReaderWorkKinds = 5;
constexpr unsigned reader_work_bit(ReaderWork work) { return 1u << static_cast<unsigned>(work); }

// Replaces the file at the device path `path` (its folder made when missing, but for a reading
// position's) with `bytes`, atomically; with `same`, a file that already holds them is treated as
// file_update_atomic does. When that fails the bytes are held as the file's content: held_content
// gives them and the next write puts them on disk. True when written; on false errno tells why.
bool held_replace(const std::string& path, std::string bytes, ReaderWork work,
                  std::optional<SameBytes> same = std::nullopt);

// Appends `bytes` to the file at `path` after what earlier failed appends hold. When that fails
// all of it stays held and no part of it is left in the file. True when written; on false errno
// tells why.
bool held_append(const std::string& path, std::string_view bytes, ReaderWork work);

// What a failed replace holds for `path`; null when the file is as last written.
const std::string* held_content(const std::string& path);

// Writes every held file again. The kinds that are still held afterwards (reader_work_bit set);
// 0 when everything is on disk. errno tells why the last write failed.
unsigned held_files_write();
