#include "store/audio_unpack.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <sys/statvfs.h>
#include <tuple>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/atomic_file.h"
#include "base/file_kinds.h"
#include "base/free_name.h"
#include "base/paths.h"
#include "book/zip_reader.h"
#include "store/download_manager.h"
#include "store/download_policy.h"
#include "store/free_catalog.h"

namespace {
constexpr size_t kLeftoverMax = 16;
constexpr size_t kArchiveNameMax = 299;
// Kept free beyond the recordings, so the state files can still be written.
constexpr uint64_t kReserveBytes = 20'000'000;
constexpr size_t kNamesTold = 5;
constexpr char kStaging[] = ".unpacking";
constexpr char kJournal[] = ".unpacking.job";
constexpr std::string_view kRemoveArchive = "remove";
constexpr std::string_view kKeepArchive = "keep";

std::string_view last_part(std::string_view name) {
  const size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

std::string host_path(const std::string& device_path) {
  char buf[kQlPathMax];
  return ql_path(device_path.c_str(), buf, sizeof buf);
}

bool exists(const std::string& host) {
  struct stat st;
  return lstat(host.c_str(), &st) == 0;
}

void remove_tree(const std::string& host) {
  std::error_code ec;
  std::filesystem::remove_all(host, ec);
}

// The members written into the folder. Hidden files, resource forks, symbolic links (whose data is
// only another file's name) and everything else that is not a recording are not, so an archive
// holding any of them is kept.
bool is_recording(const ZipMember& m) {
  const std::string_view last = last_part(m.name);
  if (m.is_link || last.empty() || last.front() == '.') return false;
  if (m.name.find("__MACOSX") != std::string_view::npos) return false;
  return is_audio_extension(last);
}

// Members that hold no file of anyone's: folder entries and the resource forks a Mac archiver
// adds beside each file. Losing them with the archive loses nothing.
bool is_folder_or_fork(std::string_view name) {
  return name.ends_with('/') || name.starts_with("__MACOSX/") ||
         name.find("/__MACOSX/") != std::string_view::npos || last_part(name).starts_with("._");
}

// A file name safe on every file system the storage may be shared with, cut to the name limit
// before the extension (so the recording still reads as one), never inside a character. Every
// recording is written flat, so a name's folders, drive letters and ".." can lead nowhere.
std::string output_name(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\\:*?\"<>|/").find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  const auto [stem, ext] = split_extension(out, false);
  return fit_name(stem, ext, kNameMax);
}

// The folder path every recording shares ("Book/" for Book/CD1/01.mp3 and Book/CD2/01.mp3).
std::string_view common_folder(const std::vector<const ZipMember*>& members) {
  if (members.empty()) return {};
  std::string_view common = members.front()->name;
  common = common.substr(0, common.rfind('/') + 1);
  for (const ZipMember* m : members) {
    while (!common.empty() && !m->name.starts_with(common)) {
      common.remove_suffix(1);
      common = common.substr(0, common.rfind('/') + 1);
    }
  }
  return common;
}

// Recordings are written flat, by their own names. Two recordings of one name in different
// folders (CD1/01.mp3, CD2/01.mp3) would overwrite each other: then every name carries its folders
// ("CD1 - 01.mp3"), which keeps the parts in order. Names that still meet, also once shortened to
// the limit, are numbered.
std::vector<std::string> output_names(const std::vector<const ZipMember*>& members) {
  std::vector<std::string> names;
  std::unordered_map<std::string, int> seen;
  bool clash = false;
  for (const ZipMember* m : members) {
    names.push_back(output_name(last_part(m->name)));
    clash = clash || ++seen[names.back()] > 1;
  }
  if (!clash) return names;
  const size_t skip = common_folder(members).size();
  for (size_t i = 0; i < members.size(); ++i) {
    std::string qualified;
    for (char c : members[i]->name.substr(skip)) {
      if (c == '/') {
        qualified += " - ";
      } else {
        qualified += c;
      }
    }
    names[i] = output_name(qualified);
  }
  std::set<std::string> taken;
  for (std::string& name : names) {
    const auto [stem, ext] = split_extension(name, false);
    name = free_name(stem, ext, kNameMax, [&taken](const std::string& n) { return taken.contains(n); });
    taken.insert(name);
  }
  return names;
}

// Bytes free for new files in the folder; nothing when the file system cannot be asked.
std::optional<uint64_t> free_bytes(const char* folder) {
  struct statvfs vfs;
  if (statvfs(host_path(folder).c_str(), &vfs) != 0) return std::nullopt;
  return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

// Writes one recording to its name. The folder is a staging folder that is renamed into view only
// once every recording is in, so no part name is needed here; a failed write removes the file.
bool write_recording(const ZipArchive& zip, const ZipMember& m, const std::string& path,
                     const std::atomic<uint32_t>& cancel) {
  const std::string host = host_path(path);
  const int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  FILE* out = fdopen(fd, "wb");
  if (!out) {
    close(fd);
    unlink(host.c_str());
    return false;
  }
  const ZipStreamStatus status =
      zip_stream_member(zip, m, [out, &cancel](std::span<const uint8_t> block) {
        return !cancel.load() && fwrite(block.data(), 1, block.size(), out) == block.size();
      });
  const bool ok = fclose(out) == 0 && status == ZipStreamStatus::done;
  if (!ok) unlink(host.c_str());
  return ok;
}

// Archives this run could not unpack, by folder and name, with the size and time they had: one
// is not tried again until it changes.
struct Tried {
  std::string path;
  int64_t size;
  int64_t mtime;
  auto operator<=>(const Tried&) const = default;
};

// Never destroyed: a download's unpack may still run on its thread while the process ends (its
// journal finishes it at the next start).
std::mutex& notes_mutex = *new std::mutex;
std::set<Tried>& tried = *new std::set<Tried>;
std::vector<ArchiveReport>& reports = *new std::vector<ArchiveReport>;

std::optional<Tried> identity(const std::string& host) {
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return std::nullopt;
  return Tried{host, static_cast<int64_t>(st.st_size), static_cast<int64_t>(st.st_mtime)};
}

bool was_tried(const std::string& host) {
  const std::optional<Tried> id = identity(host);
  const std::lock_guard lock(notes_mutex);
  return id && tried.contains(*id);
}

void remember(const ArchiveReport& report, const std::string& archive_host) {
  const std::lock_guard lock(notes_mutex);
  const ArchiveOutcome o = report.outcome;
  if (o == ArchiveOutcome::no_audio || o == ArchiveOutcome::failed) {
    if (const std::optional<Tried> id = identity(archive_host)) tried.insert(*id);
  }
  if (!unpack_notice(report).empty()) reports.push_back(report);
}

// The journal: the archive's name, the folder's name and, once the staging folder holds every
// recording that will come out, what becomes of the archive. NUL-separated, since names may hold
// any other byte.
struct Journal {
  std::string archive;
  std::string folder;
  std::string after;
};

bool write_journal(const std::string& dir_host, const Journal& j) {
  std::string bytes = j.archive;
  bytes += '\0';
  bytes += j.folder;
  bytes += '\0';
  bytes += j.after;
  const std::string path = dir_host + "/" + kJournal;
  const std::string tmp = path + ".tmp";
  FILE* f = file_create_new_host(tmp.c_str());
  if (!f) return false;
  if (fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    fclose(f);
    unlink(tmp.c_str());
    return false;
  }
  return file_commit_host(f, tmp.c_str(), path.c_str());
}

std::optional<Journal> read_journal(const std::string& dir_host) {
  FilePtr f(fopen((dir_host + "/" + kJournal).c_str(), "rb"));
  if (!f) return std::nullopt;
  std::string bytes;
  char block[1024];
  for (size_t n; (n = fread(block, 1, sizeof block, f.get())) > 0;) bytes.append(block, n);
  Journal j;
  const size_t a = bytes.find('\0');
  if (a == std::string::npos) return j;
  const size_t b = bytes.find('\0', a + 1);
  if (b == std::string::npos) return j;
  j.archive = bytes.substr(0, a);
  j.folder = bytes.substr(a + 1, b - a - 1);
  j.after = bytes.substr(b + 1);
  return j;
}

void end_journal(const std::string& dir_host) {
  unlink((dir_host + "/" + kJournal).c_str());
  unlink((dir_host + "/" + kJournal + ".tmp").c_str());
}

// The new folder's name for an archive: its name without ".zip", numbered when that is taken.
std::string folder_for(const std::string& dir_host, const std::string& archive) {
  const std::string stem = archive.substr(0, archive.size() - 4);
  return free_name(stem, "", kNameMax,
                   [&dir_host](const std::string& n) { return exists(dir_host + "/" + n); });
}

// Puts every file of the staging folder on the storage, so the rename that shows them never
// shows a file that a power cut would empty.
void sync_folder(const std::string& host) {
  const int fd = open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  syncfs(fd);
  close(fd);
}

// The archive once its folder is in view: gone after a whole unpack, else kept inside the folder
// (beside the recordings it gave, out of the way of the next unpack).
bool put_away_archive(const std::string& dir_host, const Journal& j) {
  const std::string archive = dir_host + "/" + j.archive;
  if (j.after == kRemoveArchive) {
    unlink(archive.c_str());
    return false;
  }
  const std::string inside = dir_host + "/" + j.folder + "/" + j.archive;
  if (!exists(inside)) rename(archive.c_str(), inside.c_str());
  return exists(inside) || exists(archive);
}

// Staging, journal and archive after an unpack that brought nothing into view.
void abandon(const std::string& dir_host, const std::string& archive, bool remove_archive) {
  remove_tree(dir_host + "/" + kStaging);
  if (remove_archive) unlink((dir_host + "/" + archive).c_str());
  end_journal(dir_host);
}

std::string told_names(const std::vector<std::string>& names) {
  std::string out;
  const size_t shown = std::min(names.size(), kNamesTold);
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) out += ", ";
    out += names[i];
  }
  if (names.size() > shown) out += " and " + std::to_string(names.size() - shown) + " more";
  return out;
}
}  // namespace

UnpackResult unzip_audio(const char* zip_path, const char* folder,
                         const std::atomic<uint32_t>& cancel, const UnpackProgress& progress) {
  UnpackResult result;
  ZipArchive zip;
  if (!zipopen_any_size(zip, zip_path)) {
    result.unreadable = true;
    return result;
  }
  const std::vector<ZipMember> members = zip_members(zip);
  // A directory that ends early hides members: the archive must stay.
  result.complete = members.size() == zip.entries();
  std::vector<const ZipMember*> recordings;
  for (const ZipMember& m : members) {
    if (is_recording(m)) {
      recordings.push_back(&m);
    } else if (!is_folder_or_fork(m.name)) {
      result.others.emplace_back(m.name);
    }
  }
  // The stated sizes bound what each member may write, so their sum is all the room needed. Sizes
  // the archive cannot hold are not believed: such a recording is skipped as damaged. Overlapping
  // members may still state more than 64 bits count, which no storage has room for.
  result.needed = kReserveBytes;
  for (const ZipMember* m : recordings) {
    if (m->is_damaged) continue;
    if (__builtin_add_overflow(result.needed, m->uncompressed, &result.needed)) {
      result.needed = UINT64_MAX;
      break;
    }
  }
  if (const std::optional<uint64_t> room = free_bytes(folder); room && !recordings.empty()) {
    result.available = *room;
    if (result.needed > *room) {
      result.no_room = true;
      result.complete = false;
      return result;
    }
  }
  const std::string_view archive = last_part(zip_path);
  const std::vector<std::string> names = output_names(recordings);
  std::vector<std::string> written;
  for (size_t i = 0; i < recordings.size() && !cancel.load(); ++i) {
    const std::string path = std::string(folder) + "/" + names[i];
    if (names[i].empty() || recordings[i]->is_damaged ||
        !write_recording(zip, *recordings[i], path, cancel)) {
      result.complete = false;
      if (!cancel.load()) result.skipped.emplace_back(recordings[i]->name);
    } else {
      written.push_back(path);
    }
    if (progress) progress(archive, i + 1, recordings.size());
  }
  if (cancel.load()) {
    for (const std::string& path : written) qlp_remove(path.c_str());
    return {};
  }
  result.written = static_cast<int>(written.size());
  return result;
}

ArchiveReport unpack_archive(const std::string& dir, const std::string& name,
                             const std::atomic<uint32_t>& cancel, const UnpackProgress& progress,
                             bool from_download) {
  ArchiveReport report;
  report.archive = name;
  const std::string dir_host = host_path(dir);
  const std::string archive_host = dir_host + "/" + name;
  const std::string staging = dir_host + "/" + kStaging;
  Journal journal{name, folder_for(dir_host, name), {}};
  remove_tree(staging);
  if (journal.folder.empty() || !write_journal(dir_host, journal) || mkdir(staging.c_str(), 0755) != 0) {
    abandon(dir_host, name, false);
    remember(report, archive_host);
    return report;
  }
  report.result = unzip_audio(archive_host.c_str(), staging.c_str(), cancel, progress);
  const UnpackResult& r = report.result;
  if (cancel.load() || r.written == 0) {
    if (cancel.load()) {
      report.outcome = ArchiveOutcome::cancelled;
    } else if (r.no_room) {
      report.outcome = ArchiveOutcome::no_room;
    } else if (r.complete) {
      report.outcome = ArchiveOutcome::no_audio;
    }
    const bool useless = report.outcome == ArchiveOutcome::cancelled ||
                         (report.outcome == ArchiveOutcome::no_audio && r.others.empty());
    report.archive_kept = !(from_download && useless);
    abandon(dir_host, name, !report.archive_kept);
    remember(report, archive_host);
    return report;
  }
  sync_folder(staging);
  journal.folder = folder_for(dir_host, name);  // in case the name was taken meanwhile
  // Only an archive that gave everything it held may go.
  const bool whole = r.complete && r.others.empty();
  journal.after = whole ? kRemoveArchive : kKeepArchive;
  const std::string folder_host = dir_host + "/" + journal.folder;
  if (journal.folder.empty() || !write_journal(dir_host, journal) || exists(folder_host) ||
      rename(staging.c_str(), folder_host.c_str()) != 0) {
    report.result = {};
    abandon(dir_host, name, false);
    remember(report, archive_host);
    return report;
  }
  report.folder = journal.folder;
  report.outcome = whole        ? ArchiveOutcome::unpacked
                   : r.complete ? ArchiveOutcome::with_others
                                : ArchiveOutcome::partly;
  report.archive_kept = put_away_archive(dir_host, journal);
  end_journal(dir_host);
  remember(report, archive_host);
  return report;
}

void ql_unpack_resume(const char* dir, const UnpackProgress& progress) {
  const std::string dir_host = host_path(dir);
  const std::string staging = dir_host + "/" + kStaging;
  const std::optional<Journal> j = read_journal(dir_host);
  if (!j || j->archive.empty() || j->archive.find('/') != std::string::npos ||
      j->folder.find('/') != std::string::npos) {
    // Nothing recorded: a staging folder can only be one whose journal never got written.
    remove_tree(staging);
    end_journal(dir_host);
    return;
  }
  const std::string folder_host = dir_host + "/" + j->folder;
  if (!j->after.empty() && !j->folder.empty()) {
    // Every recording was in: the rename into view and the archive are all that may be left.
    if (exists(staging) && !exists(folder_host)) rename(staging.c_str(), folder_host.c_str());
    if (exists(folder_host) && !exists(staging)) {
      put_away_archive(dir_host, *j);
      end_journal(dir_host);
      return;
    }
  }
  // Cut short while the recordings came out: they are unpacked again, from the start.
  remove_tree(staging);
  end_journal(dir_host);
  if (exists(dir_host + "/" + j->archive)) {
    const std::atomic<uint32_t> never{0};
    unpack_archive(dir, j->archive, never, progress, false);
  }
}

int ql_unpack_zips(const char* dir, const UnpackProgress& progress) {
  const DownloadState s = ql_dl_state(nullptr, nullptr);
  if (s == DL_DOWNLOADING || s == DL_UNPACKING || !dir) return 0;
  ql_unpack_resume(dir, progress);
  const std::string dir_host = host_path(dir);
  std::vector<std::string> names;
  if (DirPtr d{opendir(dir_host.c_str())}) {
    while (dirent* e = readdir(d.get())) {
      const std::string_view name = e->d_name;
      if (name.front() == '.' || name.size() > kArchiveNameMax || !is_archive_name(name)) continue;
      if (was_tried(dir_host + "/" + std::string(name))) continue;
      names.emplace_back(name);
      if (names.size() == kLeftoverMax) break;
    }
  }
  const std::atomic<uint32_t> never{0};
  int unpacked = 0;
  for (const std::string& name : names) {
    const ArchiveOutcome o = unpack_archive(dir, name, never, progress, false).outcome;
    unpacked += o == ArchiveOutcome::unpacked || o == ArchiveOutcome::with_others;
  }
  return unpacked;
}

std::vector<ArchiveReport> unpack_take_reports() {
  const std::lock_guard lock(notes_mutex);
  return std::exchange(reports, {});
}

std::string unpack_notice(const ArchiveReport& report) {
  const std::string& a = report.archive;
  const std::string skipped = told_names(report.result.skipped);
  switch (report.outcome) {
    case ArchiveOutcome::unpacked:
    case ArchiveOutcome::cancelled:
      return {};
    case ArchiveOutcome::with_others:
      return a + " also holds files that are not recordings (" + told_names(report.result.others) +
             "). Its recordings are in the folder " + report.folder +
             (report.archive_kept ? ", where the archive is kept." : ".");
    case ArchiveOutcome::partly:
      return "Some recordings in " + a + " could not be unpacked" +
             (skipped.empty() ? std::string(" (the archive is damaged)") : ": " + skipped) +
             ". The others are in the folder " + report.folder +
             (report.archive_kept ? ", where the archive is kept." : ".");
    case ArchiveOutcome::no_audio:
      return a + " holds no audio files, so nothing was unpacked." +
             (report.archive_kept ? " It stays in the documents folder." : "");
    case ArchiveOutcome::no_room:
      return "There is no room to unpack " + a + ": its recordings need " +
             format_size_mb(report.result.needed) + " and " +
             format_size_mb(report.result.available) +
             " are free. It stays in the documents folder and is unpacked when books are next "
             "added, once there is room.";
    case ArchiveOutcome::failed:
      if (report.result.unreadable) {
        return a + " could not be read as a ZIP archive, so nothing was unpacked." +
               (report.archive_kept ? " It stays in the documents folder." : "");
      }
      break;
  }
  return "The recordings in " + a + " could not be unpacked" +
         (skipped.empty() ? std::string() : " (" + skipped + ")") +
         ": the archive may be damaged or the storage full." +
         (report.archive_kept ? " It stays in the documents folder." : "");
}
