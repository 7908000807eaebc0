// The installed dictionaries, listed once and kept open between lookups. The list is taken again
// when a folder it was read from changes; a dictionary's files are opened again when one of them
// changes. A folder changed within the last seconds is listed again at every use, since a change
// within the clock's resolution would leave its stamp as it was. The stamps are compared when the
// watch on the folders and open files reports something, has not yet seen every file open, or
// cannot be had, and at least every few seconds while it is quiet: it cannot report a file system
// mounted below the folder, nor a change made on a network file system by another machine.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "book/dict/dict_file.h"
#include "book/dict/dict_watch.h"
#include "book/dict/dictzip.h"
#include "book/dict/stardict_index.h"

// What a dictionary's ".ifo" says.
struct Ifo {
  std::optional<std::string> name;  // the bookname value, without its line ending
  bool offsets64 = false;
  std::string type_sequence;
};
// What an ".ifo" file says; a missing or unreadable one says nothing.
Ifo read_ifo(const std::optional<DictFile>& file);

class Dictionary {
 public:
  // `name`: its path below the dictionaries folder, without ".ifo".
  explicit Dictionary(std::string name);
  const std::string& name() const { return name_; }
  // Its device path without an extension.
  const std::string& base() const { return base_; }
  // Closes each of its files that changed since it was opened; false when one did.
  bool close_changed();
  // Adds a watch for each of its open files; false when one cannot be watched.
  bool watch_open_files(DictWatch& watch);
  // True when it opened a file since its files were last watched.
  bool has_unwatched_files() const { return unwatched_; }
  // Opens whatever is not open; the index open for this lookup, which lives no longer than this
  // dictionary; nothing when the index cannot be read.
  std::optional<OpenIndex> open_for_lookup();
  const Ifo& ifo() const { return ifo_; }
  // The stored definition of an entry (the ".dict" file when there is one, else the ".dict.dz");
  // nothing when neither gives it.
  std::optional<std::string> definition(const DictEntry& entry);

 private:
  std::string name_;
  std::string base_;
  std::optional<DictFile> ifo_file_;
  Ifo ifo_;
  std::optional<DictFile> idx_file_;
  std::optional<DictFile> plain_;
  std::optional<DictzipFile> packed_;
  bool unwatched_ = false;
};

// The dictionaries, each lying directly in the folder or one folder below (where a StarDict
// archive unpacks), in the byte order of their names so that every machine gives the same order.
// Only the core thread looks words up.
std::vector<Dictionary>& installed_dictionaries();
// Closes every kept dictionary file and forgets the list: the storage they lie on is going away
// (exported over USB) and may come back changed.
void forget_installed_dictionaries();

// The watch the last use of the list looked at, for a lookup to watch what else it keeps: null
// when there is none; a number that is new with every new watch; and whether it had reported
// nothing. A watch added to it holds while the number stays and nothing is reported.
struct DictionariesWatch {
  DictWatch* watch;
  uint64_t number;
  bool quiet;
};
DictionariesWatch dictionaries_watch();

// How long a quiet watch is trusted before the stamps are compared again.
constexpr int64_t kDictRecheckNs = int64_t{3} * 1000000000;
// The clock that times it, in nanoseconds: the time since boot, sleep included, unless a test puts
// in one it steps (null restores it).
void set_dictionaries_clock(int64_t (*now_ns)());
