// Telling a folder a living program uses from one a killed program left: the program holds a lock
// on the folder (flock), which the system lets go of when the program ends however it ends, a
// kill -9 too. A folder whose lock can be taken exclusively is used by no running program.
#pragma once
#include <optional>
#include <string>

// Whether a path whose last name is a symbolic link reaches the folder it names. A per-run folder
// in the shared temporary folder is never one (another user could plant it); the data folder may
// well be (a memory card, say), and its lock belongs to the folder, whatever name leads to it.
enum class LastLink { Refuse, Follow };

class FolderLock {
 public:
  // An exclusive lock, without waiting: none when another program holds the folder (errno
  // EWOULDBLOCK), or when it cannot be opened or locked (errno says why).
  static std::optional<FolderLock> try_exclusive(const std::string& path, LastLink link);
  // A shared lock, waiting while another program holds the folder exclusively (tidies it).
  static std::optional<FolderLock> shared(const std::string& path, LastLink link);

  FolderLock(FolderLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  ~FolderLock();

  // Turns an exclusive lock into a shared one (waiting as `shared` does); false when that failed.
  bool share();
  // True while `path` still names the locked folder (it was not removed or replaced meanwhile).
  bool names(const std::string& path) const;
  // Keeps the lock for the rest of the process.
  void hold_for_life() { fd_ = -1; }
  // The owner of the folder (a user id).
  unsigned owner() const;

 private:
  explicit FolderLock(int fd) : fd_(fd) {}
  static std::optional<FolderLock> locked(const std::string& path, LastLink link, int how);
  int fd_;
};
