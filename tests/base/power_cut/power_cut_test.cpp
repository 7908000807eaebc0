// What a power cut can leave of saves made at page turns. The program records the file calls of a
// run of saves (its own versions of the C library's calls stand before the library's), then builds
// every state a cut could leave: the names as the folder last flushed held them, with any number of
// the later name operations on top, in order; data not yet flushed reads as it was before, as
// written, or as zeros. Every state must read as a position that was saved, never one older than
// the newest save whose folder had been flushed, and never empty, zero or torn. A kill -9 between
// any two calls of a save, a restart and a cut must hold to the same.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/atomic_file.h"
#include "base/sync_later.h"
#include "support/device_folder.h"

namespace {
struct Op {
  enum Kind { Begin, Open, Write, Sync, Rename, Unlink } kind;
  std::string a, b;  // names in the folder ("" is the folder itself), or the bytes written
  int fd = -1;
  long n = 0;  // the flags of an open, the number of a save begun
};

struct Recorder {
  std::mutex mu;
  std::string folder;  // only calls on it and the files in it are recorded; empty: none
  std::vector<Op> ops;
  std::set<int> fds;  // open descriptors of recorded files
} recorder;

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The name of a path in the recorded folder ("" for the folder); none for any other path.
std::optional<std::string> in_folder(const char* path) {
  const std::string& folder = recorder.folder;
  const std::string p = path;
  if (folder.empty() || !p.starts_with(folder)) return std::nullopt;
  if (p.size() == folder.size()) return "";
  if (p[folder.size()] != '/') return std::nullopt;
  return p.substr(folder.size() + 1);
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

// The same for a call on names, recorded when it succeeds on a name in the folder.
template <typename Call>
int on_names(Op::Kind kind, const char* a, const char* b, Call call) {
  std::lock_guard lock(recorder.mu);
  const auto name_a = in_folder(a), name_b = in_folder(b ? b : a);
  const int r = call();
  if (r == 0 && name_b) recorder.ops.push_back({kind, name_a.value_or(""), b ? *name_b : ""});
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
  std::lock_guard lock(recorder.mu);
  const auto name = in_folder(path);
  const int fd = call(path, flags, mode);
  if (fd >= 0 && name) {
    recorder.ops.push_back({Op::Open, *name, "", fd, flags});
    recorder.fds.insert(fd);
  }
  return fd;
}
ssize_t write(int fd, const void* bytes, size_t n) {
  static auto call = real<ssize_t (*)(int, const void*, size_t)>("write");
  return on_fd(fd, {Op::Write, std::string(static_cast<const char*>(bytes), n), "", fd},
               [&] { return call(fd, bytes, n); });
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
  return on_names(Op::Rename, from, to, [&] { return call(from, to); });
}
int unlink(const char* path) {
  static auto call = real<int (*)(const char*)>("unlink");
  return on_names(Op::Unlink, path, nullptr, [&] { return call(path); });
}
}

namespace {
constexpr char kPos[] = "b.pos";

// The folder as the disk holds it. Data reaches the disk when its file is synced; names when the
// folder is, and any earlier in the order the calls made them.
struct Model {
  struct Inode {
    std::string written, flushed;
  };
  std::vector<Inode> inodes;
  std::map<std::string, int> names;    // as the running system sees them
  std::map<std::string, int> durable;  // as the last flush of the folder left them
  std::vector<Op> pending;             // the name operations since
  std::map<int, int> open;             // descriptor: inode, or -1 for the folder
  std::map<int, size_t> offsets;
  int save = 0;                // the save under way
  int save_on_disk = 0;        // the newest save whose rename the folder's flush took
  int save_in_place = 0;       // the newest save renamed into place

  // A name operation: a file made (`n` its inode), renamed or unlinked.
  static void rename_in(std::map<std::string, int>& n, const Op& op) {
    if (op.kind == Op::Open) {
      n[op.a] = static_cast<int>(op.n);
    } else if (op.kind == Op::Rename) {
      n[op.b] = n.at(op.a);
      n.erase(op.a);
    } else {
      n.erase(op.a);
    }
  }

  void apply(const Op& op) {
    switch (op.kind) {
      case Op::Begin:
        save = static_cast<int>(op.n);
        break;
      case Op::Open:
        if (op.a.empty()) {
          open[op.fd] = -1;
          break;
        }
        if (!names.contains(op.a)) {
          ASSERT_TRUE(op.n & O_CREAT) << op.a << " opened while the record has no such file";
          inodes.push_back({});
          const Op made{Op::Open, op.a, "", -1, static_cast<long>(inodes.size() - 1)};
          rename_in(names, made);
          pending.push_back(made);
        }
        open[op.fd] = names[op.a];
        offsets[op.fd] = 0;
        break;
      case Op::Write: {
        std::string& data = inodes[open.at(op.fd)].written;
        size_t& offset = offsets[op.fd];
        data.resize(std::max(data.size(), offset + op.a.size()));
        data.replace(offset, op.a.size(), op.a);
        offset += op.a.size();
        break;
      }
      case Op::Sync:
        if (open.at(op.fd) < 0) {
          durable = names;
          pending.clear();
          save_on_disk = save_in_place;
        } else {
          Inode& node = inodes[open.at(op.fd)];
          node.flushed = node.written;
        }
        break;
      case Op::Rename:
      case Op::Unlink:
        rename_in(names, op);
        pending.push_back(op);
        if (op.kind == Op::Rename && op.b == kPos) save_in_place = save;
        break;
    }
  }

  // Every content a cut may leave at `name` ("" with a marker when the name is gone).
  std::vector<std::string> contents_after_cut(const std::string& name) const {
    std::vector<std::string> out;
    std::map<std::string, int> n = durable;
    const auto add = [&] {
      const auto it = n.find(name);
      if (it == n.end()) {
        out.push_back("(no file)");
        return;
      }
      const Inode& node = inodes[it->second];
      out.push_back(node.flushed);
      if (node.written != node.flushed) {
        out.insert(out.end(), {node.written, std::string(node.written.size(), '\0')});
      }
    };
    add();
    for (const Op& op : pending) {
      rename_in(n, op);
      add();
    }
    return out;
  }
};

std::string position(int i) { return std::to_string(100 * i) + " 40 WN 2\n"; }

void begin_save(int save) {
  std::lock_guard lock(recorder.mu);
  recorder.ops.push_back({Op::Begin, "", "", -1, save});
}

std::vector<Op> stop_recording() {
  std::vector<Op> ops;
  std::lock_guard lock(recorder.mu);
  recorder.folder.clear();
  ops.swap(recorder.ops);
  return ops;
}

void start_recording(const std::string& folder) {
  std::lock_guard lock(recorder.mu);
  recorder.folder = folder;
}

// Checks every cut of the model as it stands: the position file reads as a save from the newest
// one the disk is known to hold to the one under way.
void expect_every_cut_reads_a_save(const Model& model, const std::string& where) {
  for (const std::string& read : model.contents_after_cut(kPos)) {
    bool saved = false;
    for (int i = model.save_on_disk; i <= model.save; ++i) saved |= read == position(i);
    EXPECT_TRUE(saved) << where << " reads \"" << read << "\"; the disk held save "
                       << model.save_on_disk;
  }
}

constexpr int kSaves = 12;
constexpr int kRestartSave = kSaves + 1;
}  // namespace

TEST(PowerCut, EveryCutOfPageTurnSavesReadsAsASavedPosition) {
  struct Case {
    const char* name;
    int flush_every;  // the saves between two flushes of the folder; 0: none but the thread's
  } cases[] = {
      {"the folder flushed after every save", 1},
      {"the folder flushed after every third save", 3},
      {"no flush of the folder", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceFolder root;
    const std::string folder = root.state("b");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    write_file(folder + "/" + kPos, position(0));  // on the disk: written by an earlier run
    sync_pending_now();
    start_recording(folder);
    for (int i = 1; i <= kSaves; ++i) {
      begin_save(i);
      const std::string line = position(i);
      ASSERT_TRUE(file_write_atomic("/mnt/us/ql/state/b/b.pos", line.data(), line.size()));
      if (c.flush_every > 0 && i % c.flush_every == 0) sync_pending_now();
    }
    const std::vector<Op> ops = stop_recording();

    Model model;
    model.inodes.push_back({position(0), position(0)});
    model.names[kPos] = 0;
    model.durable = model.names;
    for (size_t cut = 0; cut <= ops.size(); ++cut) {
      if (cut > 0) model.apply(ops[cut - 1]);
      expect_every_cut_reads_a_save(model, "a cut after call " + std::to_string(cut));

      // Killed here: a restart removes what sits at temporary names, reads the position, saves
      // it again as an open does, turns a page, and the power goes at any moment of that.
      if (cut == 0 || ops[cut - 1].kind == Op::Begin) continue;
      std::string name(1, 'k');
      name += std::to_string(cut);
      const std::string again = root.state(name);
      const std::string pos = "/mnt/us/ql/state/" + name + "/" + kPos;
      ASSERT_EQ(mkdir(again.c_str(), 0755), 0);
      for (const auto& [file, inode] : model.names) {
        write_file(again + "/" + file, model.inodes[inode].written);
      }
      start_recording(again);
      Model restarted = model;
      for (const auto& [file, inode] : model.names) {
        if (file.ends_with(".tmp")) ::unlink((again + "/" + file).c_str());
      }
      const std::string loaded = read_file(again + "/" + kPos);
      EXPECT_EQ(loaded, position(model.save_in_place));
      ASSERT_TRUE(
          file_update_atomic(pos.c_str(), loaded.data(), loaded.size(), SameBytes::Touch));
      begin_save(kRestartSave);
      const std::string next = position(kRestartSave);
      ASSERT_TRUE(file_write_atomic(pos.c_str(), next.data(), next.size()));
      for (const Op& op : stop_recording()) {
        restarted.apply(op);
        expect_every_cut_reads_a_save(restarted, "a cut after a kill at call " + std::to_string(cut));
      }
      EXPECT_EQ(read_file(again + "/" + kPos), next);
    }
  }
  sync_pending_now();
}
