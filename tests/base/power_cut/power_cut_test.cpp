// What a power cut can leave of saves made at page turns. The program records the file calls of a
// run of saves (its own versions of the C library's calls stand before the library's), then builds
// every state a cut could leave: the name operations up to the cut persist in order, and data not
// yet flushed reads as it was before, as written, or as zeros. After the start's settling, each
// state must read as one of the last two contents saved, never as an empty file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
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
  std::string a, b;  // paths, or the bytes written
  int fd = -1;
  int flags = 0;  // of an open; the length of a truncation
};

struct Recorder {
  std::mutex mu;
  std::string folder;  // only calls on paths in it are recorded; empty: none
  bool no_exchange = false;
  std::vector<Op> ops;
  std::set<int> fds;  // open descriptors of recorded files
};

Recorder& recorder() {
  static Recorder* r = new Recorder;
  return *r;
}

bool watched(const char* path) {
  const std::string& f = recorder().folder;
  return !f.empty() && path && std::string(path).starts_with(f);
}

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
}  // namespace

// The calls a save, a flush and the settling make, recorded while they run (one at a time, so the
// record's order is the order they took effect in).
extern "C" {
int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & O_CREAT) {
    va_list ap;
    va_start(ap, flags);
    mode = va_arg(ap, mode_t);
    va_end(ap);
  }
  static auto call = real<int (*)(const char*, int, ...)>("open");
  if (!watched(path)) return call(path, flags, mode);
  std::lock_guard lock(recorder().mu);
  const int fd = call(path, flags, mode);
  if (fd >= 0) {
    recorder().ops.push_back({Op::Open, path, "", fd, flags});
    recorder().fds.insert(fd);
  }
  return fd;
}

ssize_t write(int fd, const void* bytes, size_t n) {
  static auto call = real<ssize_t (*)(int, const void*, size_t)>("write");
  std::lock_guard lock(recorder().mu);
  const ssize_t done = call(fd, bytes, n);
  if (done > 0 && recorder().fds.contains(fd)) {
    recorder().ops.push_back({Op::Write, std::string(static_cast<const char*>(bytes), done), "", fd});
  }
  return done;
}

int ftruncate(int fd, off_t length) {
  static auto call = real<int (*)(int, off_t)>("ftruncate");
  std::lock_guard lock(recorder().mu);
  const int r = call(fd, length);
  if (r == 0 && recorder().fds.contains(fd)) {
    recorder().ops.push_back({Op::Truncate, "", "", fd, static_cast<int>(length)});
  }
  return r;
}

int fsync(int fd) {
  static auto call = real<int (*)(int)>("fsync");
  std::lock_guard lock(recorder().mu);
  const int r = call(fd);
  if (r == 0 && recorder().fds.contains(fd)) recorder().ops.push_back({Op::Sync, "", "", fd});
  return r;
}

int close(int fd) {
  static auto call = real<int (*)(int)>("close");
  std::lock_guard lock(recorder().mu);
  recorder().fds.erase(fd);
  return call(fd);
}

int rename(const char* from, const char* to) {
  static auto call = real<int (*)(const char*, const char*)>("rename");
  if (!watched(to)) return call(from, to);
  std::lock_guard lock(recorder().mu);
  const int r = call(from, to);
  if (r == 0) recorder().ops.push_back({Op::Rename, from, to});
  return r;
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
  static auto call = real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  if (!watched(to)) return call(from_dir, from, to_dir, to, flags);
  std::lock_guard lock(recorder().mu);
  if (recorder().no_exchange && (flags & RENAME_EXCHANGE)) {
    errno = EINVAL;  // as on FAT
    return -1;
  }
  const int r = call(from_dir, from, to_dir, to, flags);
  if (r == 0) recorder().ops.push_back({(flags & RENAME_EXCHANGE) ? Op::Exchange : Op::Rename, from, to});
  return r;
}

int unlink(const char* path) {
  static auto call = real<int (*)(const char*)>("unlink");
  if (!watched(path)) return call(path);
  std::lock_guard lock(recorder().mu);
  const int r = call(path);
  if (r == 0) recorder().ops.push_back({Op::Unlink, path, ""});
  return r;
}
}

namespace {

// The file system as the disk holds it: names persist at once, data when flushed.
struct Inode {
  std::string written, flushed;
};

struct Model {
  std::map<std::string, int> names;
  std::vector<Inode> inodes;
  std::map<int, std::pair<int, size_t>> open;  // descriptor: inode, offset

  void apply(const Op& op) {
    switch (op.kind) {
      case Op::Begin:
        break;
      case Op::Open: {
        auto it = names.find(op.a);
        if (it == names.end()) {
          EXPECT_TRUE(op.flags & O_CREAT) << op.a << " opened while the record has no such file";
          inodes.push_back({});
          it = names.emplace(op.a, static_cast<int>(inodes.size() - 1)).first;
        }
        if (op.flags & O_TRUNC) inodes[it->second].written.clear();
        open[op.fd] = {it->second, 0};
        break;
      }
      case Op::Write: {
        auto& [inode, offset] = open.at(op.fd);
        std::string& data = inodes[inode].written;
        if (data.size() < offset + op.a.size()) data.resize(offset + op.a.size());
        data.replace(offset, op.a.size(), op.a);
        offset += op.a.size();
        break;
      }
      case Op::Truncate:
        inodes[open.at(op.fd).first].written.resize(static_cast<size_t>(op.flags));
        break;
      case Op::Sync:
        inodes[open.at(op.fd).first].flushed = inodes[open.at(op.fd).first].written;
        break;
      case Op::Rename:
        names[op.b] = names.at(op.a);
        names.erase(op.a);
        break;
      case Op::Exchange:
        std::swap(names.at(op.a), names.at(op.b));
        break;
      case Op::Unlink:
        names.erase(op.a);
        break;
    }
  }
};

using Folder = std::map<std::string, std::string>;  // the files a cut leaves: name, content

// Every state the model's names may hold after a cut: each file whose data was not flushed as it
// was before, as written, or as zeros of the written length.
std::vector<Folder> states_after_cut(const Model& m) {
  std::vector<Folder> states{{}};
  for (const auto& [name, inode] : m.names) {
    const Inode& node = m.inodes[inode];
    std::vector<std::string> choices{node.flushed};
    if (node.written != node.flushed) {
      choices.push_back(node.written);
      choices.push_back(std::string(node.written.size(), '\0'));
    }
    std::vector<Folder> next;
    for (const Folder& s : states) {
      for (const std::string& c : choices) {
        Folder f = s;
        f[name] = c;
        next.push_back(f);
      }
    }
    states.swap(next);
  }
  return states;
}

std::string position(int i) { return std::to_string(100 * i) + " 40 WN 2\n"; }

}  // namespace

TEST(PowerCut, EveryCutOfAtPageTurnSavesReadsAsOneOfTheLastTwo) {
  constexpr int kSaves = 12;
  struct Case {
    const char* name;
    bool exchange;
    bool flushed_between;  // turning at a reader's pace: each save reaches the disk before the next
  } cases[] = {
      {"swapping names, steady turning", true, true},
      {"renaming only (FAT), steady turning", false, true},
      {"swapping names, turns faster than the flushes", true, false},
      {"renaming only (FAT), turns faster than the flushes", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceFolder root;
    const std::string pos = root.state("b.pos");
    write_file(pos, position(0));  // on the disk: written by an earlier run
    {
      std::lock_guard lock(recorder().mu);
      recorder().ops.clear();
      recorder().no_exchange = !c.exchange;
      recorder().folder = root.state("");
    }
    for (int i = 1; i <= kSaves; ++i) {
      {
        std::lock_guard lock(recorder().mu);
        recorder().ops.push_back({Op::Begin, std::to_string(i), ""});
      }
      const std::string line = position(i);
      ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/b.pos", line.data(), line.size()));
      if (c.flushed_between) sync_pending_now();
    }
    sync_pending_now();
    std::vector<Op> ops;
    {
      std::lock_guard lock(recorder().mu);
      recorder().folder.clear();
      ops.swap(recorder().ops);
    }

    Model model;
    model.inodes.push_back({position(0), position(0)});
    model.names[pos] = 0;
    int begun = 0;
    size_t states = 0;
    TempDir after;
    const std::string settled = after / "b.pos";
    for (size_t cut = 0; cut <= ops.size(); ++cut) {
      if (cut > 0) model.apply(ops[cut - 1]);
      if (cut > 0 && ops[cut - 1].kind == Op::Begin) begun = std::stoi(ops[cut - 1].a);
      for (const Folder& state : states_after_cut(model)) {
        ++states;
        for (const std::string& name : everything_below(after.path())) ::unlink((after / name).c_str());
        for (const auto& [name, content] : state) write_file(after / name.substr(root.state("").size()), content);
        file_settle(settled);
        const std::string read = read_file(settled);
        if (c.flushed_between) {
          EXPECT_TRUE(read == position(begun) || read == position(std::max(begun - 1, 0)))
              << "cut after call " << cut << " of save " << begun << " reads " << read;
        } else {
          bool saved = false;
          for (int i = 0; i <= begun; ++i) saved = saved || read == position(i);
          EXPECT_TRUE(saved) << "cut after call " << cut << " of save " << begun << " reads " << read;
        }
        EXPECT_FALSE(file_exists(settled + kFallbackSuffix));
      }
    }
    EXPECT_GT(states, ops.size());
    file_drop_fallbacks();
  }
}
