#include "book/dict/installed_dictionaries.h"

#include <dirent.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <string_view>

#include "base/paths.h"
#include "book/dict/stardict.h"
#include "book/dict/stardict_table_file.h"

namespace {
constexpr size_t kIfoMax = 64 * 1024;

struct ListedFolder {
  std::string path;
  std::optional<DictFile::Stamp> stamp;  // nothing: it did not exist
};

struct Shelf {
  bool settled = false;  // false too before the first listing
  std::vector<ListedFolder> folders;  // the dictionaries folder, then the folders read below it
  std::vector<Dictionary> dictionaries;
  // Set up before the stamps were last compared, so it reports every change since. Trusted only
  // when that comparison found nothing changed, with every folder and open file already watched.
  std::optional<DictWatch> watch;
  bool watch_trusted = false;
  std::string watched_host_path;  // of the dictionaries folder, as the roots mapped it then
  uint64_t watch_number = 0;
  bool quiet = false;  // the last use found the watch trusted and nothing reported
  int64_t checked_at = 0;  // when the stamps were last compared, by the clock below
};

int64_t since_boot_ns() {
  timespec t{};
  clock_gettime(CLOCK_BOOTTIME, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}
int64_t (*dictionaries_clock)() = since_boot_ns;

Shelf& shelf() {
  static Shelf kept;
  return kept;
}

// Adds the dictionaries in `folder` (their ".ifo" names without it, after `prefix`), and with
// `descend` (the dictionaries folder itself) those in its folders too. Each folder read, and the
// dictionaries folder even when missing, is noted with its stamp, taken before it is read so that
// a change while it is read shows at the next use.
void add_dictionaries(const std::string& folder, const std::string& prefix, bool descend, Shelf& s,
                      std::vector<std::string>& names) {
  const auto stamp = DictFile::stamp_at(folder.c_str());
  DirPtr dir(qlp_opendir(folder.c_str()));
  if (dir || descend) s.folders.push_back({folder, stamp});
  if (!dir) return;
  while (const dirent* e = readdir(dir.get())) {
    const std::string_view name(e->d_name);
    // Dot files are the copies of other systems' metadata, not dictionaries.
    if (name.starts_with('.')) continue;
    if (name.size() >= 5 && name.ends_with(".ifo")) {
      names.push_back(prefix + std::string(name.substr(0, name.size() - 4)));
    } else if (descend && (e->d_type == DT_DIR || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN)) {
      add_dictionaries(folder + "/" + std::string(name), prefix + std::string(name) + "/", false, s, names);
    }
  }
}

// Watches the folders from the storage's root down to the one holding the dictionaries folder for
// their entries (one of them replaced or renamed), then every folder listed with its files. A
// folder that does not exist is left out: the watch on the folder above it reports its making.
bool watch_folders(DictWatch& watch, const Shelf& s) {
  constexpr std::string_view kStorage = "/mnt/us";
  const std::string_view folder(kDictFolder);
  for (size_t end = kStorage.size(); end < folder.size(); end = folder.find('/', end + 1)) {
    char buf[kQlPathMax];
    const std::string above(folder.substr(0, end));
    if (!watch.watch_folder(ql_path(above.c_str(), buf, sizeof buf), false) &&
        (errno != ENOENT || end == kStorage.size()))
      return false;
  }
  for (const ListedFolder& f : s.folders) {
    char buf[kQlPathMax];
    if (!watch.watch_folder(ql_path(f.path.c_str(), buf, sizeof buf), true) && errno != ENOENT) return false;
  }
  return true;
}

bool folders_unchanged(const Shelf& s) {
  return std::all_of(s.folders.begin(), s.folders.end(),
                     [](const ListedFolder& f) { return DictFile::stamp_at(f.path.c_str()) == f.stamp; });
}

void list_again(Shelf& s) {
  const int64_t listed_at = DictFile::now_ns();
  s.folders.clear();
  std::vector<std::string> names;
  add_dictionaries(kDictFolder, "", true, s, names);
  std::sort(names.begin(), names.end());
  s.settled = std::all_of(s.folders.begin(), s.folders.end(), [listed_at](const ListedFolder& f) {
    return !f.stamp || f.stamp->mtime_ns < listed_at - DictFile::kSettleNs;
  });
  s.dictionaries.clear();
  std::vector<std::string> idx_paths;
  for (std::string& name : names) {
    s.dictionaries.emplace_back(std::move(name));
    idx_paths.push_back(s.dictionaries.back().base() + ".idx");
  }
  // A missing folder (the storage away on a computer, say) is no reason to drop the tables.
  if (s.folders.front().stamp) forget_kept_tables_except(idx_paths);
}

// True when the watch, trusted and checked lately, has reported nothing and watches every file open.
bool unchanged_since_checked(Shelf& s) {
  char buf[kQlPathMax];
  return s.watch && s.watch_trusted && dictionaries_clock() - s.checked_at < kDictRecheckNs &&
         s.watched_host_path == ql_path(kDictFolder, buf, sizeof buf) &&
         std::none_of(s.dictionaries.begin(), s.dictionaries.end(),
                      [](const Dictionary& d) { return d.has_unwatched_files(); }) &&
         s.watch->quiet();
}

// Compares the stamps of every folder and open file, lists again or closes what changed, and
// trusts the watch, set up anew before, when nothing had.
void check_stamps(Shelf& s) {
  char buf[kQlPathMax];
  s.checked_at = dictionaries_clock();
  s.watch = DictWatch::start();
  ++s.watch_number;
  s.watched_host_path = ql_path(kDictFolder, buf, sizeof buf);
  bool watched = s.watch && watch_folders(*s.watch, s);
  bool unchanged = s.settled && folders_unchanged(s);
  if (!unchanged) list_again(s);
  for (Dictionary& d : s.dictionaries) {
    // Watched before compared: a change between the two shows at the next lookup.
    watched = watched && d.watch_open_files(*s.watch);
    unchanged = d.close_changed() && unchanged;
  }
  s.watch_trusted = watched && unchanged;
}
}  // namespace

Ifo read_ifo(const std::optional<DictFile>& file) {
  Ifo ifo;
  if (!file) return ifo;
  const auto text = file->read_at(0, std::min<uint64_t>(file->size(), kIfoMax));
  if (!text) return ifo;
  std::string_view rest(*text);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "bookname" && !ifo.name) ifo.name = std::string(value);
    if (key == "idxoffsetbits") ifo.offsets64 = value == "64";
    if (key == "sametypesequence") ifo.type_sequence = std::string(value);
  }
  return ifo;
}

Dictionary::Dictionary(std::string name) : name_(std::move(name)), base_(std::string(kDictFolder) + "/" + name_) {}

bool Dictionary::close_changed() {
  const auto kept = [&](const DictFile& file, const char* extension) {
    return file.unchanged_at((base_ + extension).c_str());
  };
  const bool ifo = !ifo_file_ || kept(*ifo_file_, ".ifo");
  const bool idx = !idx_file_ || kept(*idx_file_, ".idx");
  const bool plain = !plain_ || kept(*plain_, ".dict");
  const bool packed = !packed_ || kept(packed_->file(), ".dict.dz");
  if (!ifo) ifo_file_.reset();
  if (!idx) idx_file_.reset();
  if (!plain) plain_.reset();
  if (!packed) packed_.reset();
  return ifo && idx && plain && packed;
}

bool Dictionary::watch_open_files(DictWatch& watch) {
  const std::array<const DictFile*, 4> files = {ifo_file_ ? &*ifo_file_ : nullptr, idx_file_ ? &*idx_file_ : nullptr,
                                                plain_ ? &*plain_ : nullptr, packed_ ? &packed_->file() : nullptr};
  for (const DictFile* open : files) {
    if (open && !watch.watch_file(*open)) return false;
  }
  unwatched_ = false;
  return true;
}

std::optional<OpenIndex> Dictionary::open_for_lookup() {
  if (!ifo_file_) {
    ifo_file_ = DictFile::open((base_ + ".ifo").c_str());
    ifo_ = read_ifo(ifo_file_);
    unwatched_ = unwatched_ || ifo_file_;
  }
  const std::string idx_path = base_ + ".idx";
  if (!idx_file_) {
    idx_file_ = DictFile::open(idx_path.c_str());
    unwatched_ = unwatched_ || idx_file_;
  }
  auto table = idx_file_ ? stardict_table(idx_path.c_str(), *idx_file_, ifo_.offsets64) : nullptr;
  if (!table) return std::nullopt;
  return OpenIndex{*idx_file_, std::move(table), {}};
}

std::optional<std::string> Dictionary::definition(const DictEntry& entry) {
  if (!plain_ && !packed_) {
    plain_ = DictFile::open((base_ + ".dict").c_str());
    if (!plain_) packed_ = DictzipFile::open((base_ + ".dict.dz").c_str());
    unwatched_ = unwatched_ || plain_ || packed_;
  }
  if (plain_) {
    if (entry.size > kDictSliceMax) return std::nullopt;
    return plain_->read_at(entry.offset, entry.size);
  }
  return packed_ ? packed_->read(entry.offset, entry.size) : std::nullopt;
}

std::vector<Dictionary>& installed_dictionaries() {
  Shelf& s = shelf();
  s.quiet = unchanged_since_checked(s);
  if (!s.quiet) check_stamps(s);
  return s.dictionaries;
}

void forget_installed_dictionaries() {
  Shelf& s = shelf();
  const uint64_t watch_number = s.watch_number;  // never given to two watches
  s = Shelf{};
  s.watch_number = watch_number;
}

DictionariesWatch dictionaries_watch() {
  Shelf& s = shelf();
  return {s.watch ? &*s.watch : nullptr, s.watch_number, s.quiet};
}

void set_dictionaries_clock(int64_t (*now_ns)()) { dictionaries_clock = now_ns ? now_ns : since_boot_ns; }
