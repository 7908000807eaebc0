// What a power cut can leave of saves made at page turns. The program records the file calls of a
// run of saves (its own versions of the C library's calls stand before the library's), then builds
// every state a cut could leave: the name operations up to the cut persist in order, and data not
// yet flushed reads as it was before, as written, or as zeros. After the start's settling, each
// state must read as one of the last two contents saved, never as an empty file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/atomic_file.h"
#include "base/sync_later.h"
#include "support/device_folder.h"
#include "support/temp_dir.h"

namespace {
struct Op {
  enum Kind { Begin, Open, Write, Truncate, Sync, Rename, Exchange, Unlink } kind;
  std::string a, b;  // paths, the bytes written, or the number of the save begun
  int fd = -1;
  long n = 0;  // the flags of an open, the length of a truncation
};

struct Recorder {
  std::mutex mu;
  std::string folder;  // only calls on files in it are recorded; empty: none
  bool no_exchange = false;
  std::vector<Op> ops;
  std::set<int> fds;  // open descriptors of recorded files
} recorder;

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool watched(const char* path) {
  return !recorder.folder.empty() && std::string(path).starts_with(recorder.folder);
}

// Runs a call on a descriptor, recording it when it succeeds on a recorded file. One call at a
// time, so the record's order is the order the calls took effect in.
template <typename Call>
auto on_fd(int fd, Op op, Call call) {
  std::lock_guard lock(recorder.mu);
  const auto r = call();
  if (r >= 0 && recorder.fds.contains(fd)) recorder.ops.push_back(op);
  return r;
}

template <typename Call>
int on_names(const char* path, Op op, Call call) {
  if (!watched(path)) return call();
  std::lock_guard lock(recorder.mu);
  const int r = call();
  if (r == 0) recorder.ops.push_back(op);
  return r;
}
}  // namespace

extern "C" {
int open(const char* path, int flags, ...) {
  static auto call = real<int (*)(const char*, int, ...)>("open");
  mode_t mode = 0;
  if (flags & O_CREAT) {
    va_list ap;
    va_start(ap, flags);
    mode = va_arg(ap, mode_t);
    va_end(ap);
  }
  if (!watched(path)) return call(path, flags, mode);
  std::lock_guard lock(recorder.mu);
  const int fd = call(path, flags, mode);
  if (fd >= 0) recorder.ops.push_back({Op::Open, path, "", fd, flags});
  if (fd >= 0) recorder.fds.insert(fd);
  return fd;
}
ssize_t write(int fd, const void* bytes, size_t n) {
  static auto call = real<ssize_t (*)(int, const void*, size_t)>("write");
  return on_fd(fd, {Op::Write, std::string(static_cast<const char*>(bytes), n), "", fd},
               [&] { return call(fd, bytes, n); });
}
int ftruncate(int fd, off_t length) {
  static auto call = real<int (*)(int, off_t)>("ftruncate");
  return on_fd(fd, {Op::Truncate, "", "", fd, length}, [&] { return call(fd, length); });
}
int fsync(int fd) {
  static auto call = real<int (*)(int)>("fsync");
  return on_fd(fd, {Op::Sync, "", "", fd}, [&] { return call(fd); });
}
int close(int fd) {
  static auto call = real<int (*)(int)>("close");
  std::lock_guard lock(recorder.mu);
  recorder.fds.erase(fd);
  return call(fd);
}
int rename(const char* from, const char* to) {
  static auto call = real<int (*)(const char*, const char*)>("rename");
  return on_names(to, {Op::Rename, from, to}, [&] { return call(from, to); });
}
int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
  static auto call = real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  const Op op{(flags & RENAME_EXCHANGE) ? Op::Exchange : Op::Rename, from, to};
  return on_names(to, op, [&] {
    if (!recorder.no_exchange || !(flags & RENAME_EXCHANGE)) {
      return call(from_dir, from, to_dir, to, flags);
    }
    errno = EINVAL;  // as on FAT
    return -1;
  });
}
int unlink(const char* path) {
  static auto call = real<int (*)(const char*)>("unlink");
  return on_names(path, {Op::Unlink, path, ""}, [&] { return call(path); });
}
}

namespace {
// The file system as the disk holds it: names persist at once, data when flushed.
struct Model {
  struct Inode {
    std::string written, flushed;
  };
  std::map<std::string, int> names;
  std::vector<Inode> inodes;
  std::map<int, std::pair<int, size_t>> open;  // descriptor: inode, offset

  void apply(const Op& op) {
    if (op.kind == Op::Open) {
      if (!names.contains(op.a)) {
        EXPECT_TRUE(op.n & O_CREAT) << op.a << " opened while the record has no such file";
        inodes.push_back({});
        names[op.a] = static_cast<int>(inodes.size() - 1);
      }
      open[op.fd] = {names[op.a], 0};
    } else if (op.kind == Op::Write) {
      auto& [inode, offset] = open.at(op.fd);
      std::string& data = inodes[inode].written;
      data.resize(std::max(data.size(), offset + op.a.size()));
      data.replace(offset, op.a.size(), op.a);
      offset += op.a.size();
    } else if (op.kind == Op::Truncate) {
      inodes[open.at(op.fd).first].written.resize(static_cast<size_t>(op.n));
    } else if (op.kind == Op::Sync) {
      Inode& node = inodes[open.at(op.fd).first];
      node.flushed = node.written;
    } else if (op.kind == Op::Rename) {
      names[op.b] = names.at(op.a);
      names.erase(op.a);
    } else if (op.kind == Op::Exchange) {
      std::swap(names.at(op.a), names.at(op.b));
    } else if (op.kind == Op::Unlink) {
      names.erase(op.a);
    }
  }

  // Every folder a cut may leave (name: content): each file whose data was not flushed as it was
  // before, as written, or as zeros of the written length.
  std::vector<std::map<std::string, std::string>> states_after_cut() const {
    std::vector<std::map<std::string, std::string>> states{{}};
    for (const auto& [name, inode] : names) {
      const Inode& node = inodes[inode];
      std::vector<std::string> choices{node.flushed};
      if (node.written != node.flushed) {
        choices.insert(choices.end(), {node.written, std::string(node.written.size(), '\0')});
      }
      std::vector<std::map<std::string, std::string>> next;
      for (const auto& s : states) {
        for (const std::string& c : choices) {
          next.push_back(s);
          next.back()[name] = c;
        }
      }
      states.swap(next);
    }
    return states;
  }
};

std::string position(int i) { return std::to_string(100 * i) + " 40 WN 2\n"; }
}  // namespace

TEST(PowerCut, EveryCutOfPageTurnSavesReadsAsOneOfTheLastTwo) {
  struct Case {
    const char* name;
    bool exchange;
    bool flushed_between;  // turns at a reader's pace: each save reaches the disk before the next
  } cases[] = {
      {"swapping names, steady turning", true, true},
      {"renaming only (FAT), steady turning", false, true},
      {"swapping names, turns faster than the flushes", true, false},
      {"renaming only (FAT), turns faster than the flushes", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceFolder root;
    write_file(root.state("b.pos"), position(0));  // on the disk: written by an earlier run
    {
      std::lock_guard lock(recorder.mu);
      recorder.no_exchange = !c.exchange;
      recorder.folder = root.state("");
    }
    for (int i = 1; i <= 12; ++i) {
      {
        std::lock_guard lock(recorder.mu);
        recorder.ops.push_back({Op::Begin, std::to_string(i), ""});
      }
      const std::string line = position(i);
      ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/b.pos", line.data(), line.size()));
      if (c.flushed_between) sync_pending_now();
    }
    std::vector<Op> ops;
    {
      std::lock_guard lock(recorder.mu);
      recorder.folder.clear();
      ops.swap(recorder.ops);
    }

    Model model;
    model.inodes.push_back({position(0), position(0)});
    model.names[root.state("b.pos")] = 0;
    TempDir after;
    const std::string settled = after / "b.pos";
    int begun = 0;
    for (size_t cut = 0; cut <= ops.size(); ++cut) {
      if (cut > 0) model.apply(ops[cut - 1]);
      if (cut > 0 && ops[cut - 1].kind == Op::Begin) begun = std::stoi(ops[cut - 1].a);
      for (const auto& state : model.states_after_cut()) {
        for (const std::string& name : everything_below(after.path())) ::unlink((after / name).c_str());
        for (const auto& [name, content] : state) {
          write_file(after / name.substr(root.state("").size()), content);
        }
        file_settle(settled);
        const std::string read = read_file(settled);
        // Faster than the flushes, a cut reads as any position saved since the disk last had one.
        bool saved = false;
        for (int i = c.flushed_between ? std::max(begun - 1, 0) : 0; i <= begun; ++i) {
          saved |= read == position(i);
        }
        EXPECT_TRUE(saved) << "a cut after call " << cut << " in save " << begun << " reads " << read;
        EXPECT_FALSE(file_exists(settled + kFallbackSuffix));
      }
    }
    sync_pending_now();
    file_drop_fallbacks();
  }
}
