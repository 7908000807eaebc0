#include "base/held_files.h"

#include <unistd.h>

#include <cerrno>
#include <map>

#include "base/paths.h"

namespace {
constexpr mode_t kFolderMode = 0755;

struct Held {
  std::string bytes;
  ReaderWork work;
  bool append;  // bytes still to be appended, else the file's whole content
  std::optional<SameBytes> same;  // none: written whatever the file holds
};

// By device path.
std::map<std::string, Held, std::less<>> held;

void make_folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) qlp_mkdir(path.substr(0, slash).c_str(), kFolderMode);
}

bool append_whole(const std::string& path, std::string_view bytes) {
  FilePtr f(qlp_fopen(path.c_str(), "a"));
  if (!f) return false;
  bool written = false;
  // Unbuffered, so that nothing is left to be written by the close after a cut below.
  if (setvbuf(f.get(), nullptr, _IONBF, 0) == 0 && fseek(f.get(), 0, SEEK_END) == 0) {
    const long start = ftell(f.get());
    written = fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    // A part of the lines may have reached the file: cut it off, so the retry adds whole lines
    // (the reason the write failed is the one to tell).
    const int error = errno;
    if (!written && start >= 0 && ftruncate(fileno(f.get()), start) == 0) errno = error;
  }
  const int write_error = errno;
  const bool closed = fclose(f.release()) == 0;
  if (!written) errno = write_error;
  return written && closed;
}

bool write_out(const std::string& path, const Held& h) {
  // A position goes into the state folder the start made: a page turn does not make it.
  if (h.work != ReaderWork::ReadingPosition) make_folder_of(path);
  if (h.append) return append_whole(path, h.bytes);
  return h.same ? file_update_atomic(path.c_str(), h.bytes.data(), h.bytes.size(), *h.same)
                : file_write_atomic(path.c_str(), h.bytes.data(), h.bytes.size());
}

// Writes `h` as the new held state of `path`: dropped once on disk, else kept.
bool write_or_hold(const std::string& path, Held h) {
  if (write_out(path, h)) {
    held.erase(path);
    return true;
  }
  const int error = errno;
  held.insert_or_assign(path, std::move(h));
  errno = error;
  return false;
}
}  // namespace

bool held_replace(const std::string& path, std::string bytes, ReaderWork work,
                  std::optional<SameBytes> same) {
  return write_or_hold(path, Held{std::move(bytes), work, false, same});
}

bool held_append(const std::string& path, std::string_view bytes, ReaderWork work) {
  std::string pending;
  if (auto it = held.find(path); it != held.end() && it->second.append) pending = it->second.bytes;
  pending += bytes;
  return write_or_hold(path, Held{std::move(pending), work, true, std::nullopt});
}

const std::string* held_content(const std::string& path) {
  auto it = held.find(path);
  return it == held.end() || it->second.append ? nullptr : &it->second.bytes;
}

unsigned held_files_write() {
  unsigned left = 0;
  int error = 0;
  for (auto it = held.begin(); it != held.end();) {
    if (write_out(it->first, it->second)) {
      it = held.erase(it);
    } else {
      error = errno;
      left |= reader_work_bit(it->second.work);
      ++it;
    }
  }
  if (left) errno = error;
  return left;
}
