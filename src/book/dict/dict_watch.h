// One look per lookup that tells whether anything the lookups keep may have changed: an inotify
// instance watching the folders from the storage down to the dictionaries folder, the folders the
// dictionaries lie in and every dictionary file held open, read without waiting. It says nothing
// of what changed: any report sends the lookup back to comparing stamps.
#pragma once
#include <cstdint>
#include <optional>

#include "book/dict/dict_file.h"

class DictWatch {
 public:
  // A new instance watching nothing yet; nothing when the system gives none (no inotify, or its
  // limit of instances reached).
  static std::optional<DictWatch> start();
  ~DictWatch();
  DictWatch(DictWatch&& other) noexcept;
  DictWatch& operator=(DictWatch&& other) noexcept;
  DictWatch(const DictWatch&) = delete;
  DictWatch& operator=(const DictWatch&) = delete;

  // What a folder's watch reports: always its entries made, removed or renamed and the folder
  // itself moved or removed; with `contents` also a file in it written or its status changed.
  // False when the folder at the host path cannot be watched (errno says why).
  bool watch_folder(const char* host_path, bool contents);
  // Reports the open file written, its status changed (a link removed, say), moved or removed,
  // by whatever name that is done. False when it cannot be watched.
  bool watch_file(const DictFile& file);
  // Reports the file open for writing as `fd` having its status changed, moved or removed, or
  // written by another program that closed it: not the writes through `fd`. False when it cannot
  // be watched.
  bool watch_written_file(int fd);
  // True when nothing was reported since the watches were added: no change, no lost report, no
  // watch gone away. Takes what was reported.
  bool quiet();

 private:
  explicit DictWatch(int fd) : fd_(fd) {}
  bool watch_descriptor(int fd, uint32_t reports);
  int fd_;
};
