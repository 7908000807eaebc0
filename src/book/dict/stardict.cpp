#include "book/dict/stardict.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/paths.h"
#include "base/utf8.h"
#include "book/dict/installed_dictionaries.h"
#include "book/dict/stardict_index.h"
#include "book/dict/stardict_text.h"

namespace {
constexpr size_t kSuffixWordMax = 125;  // longer words are not reduced
constexpr size_t kStemMax = 127;
constexpr size_t kHyphenCopyMax = 159;
constexpr size_t kHyphenPartMin = 3;
constexpr size_t kListNameMax = 199;

struct SuffixRule {
  std::string_view suffix;
  std::string_view replacement;
};

// English endings taken off a word that is not found as it stands, in the order they are tried.
constexpr std::array<SuffixRule, 25> kSuffixRules = {{
    {"ies", "y"},   {"ied", "y"},   {"ier", "y"},   {"iest", "y"}, {"sses", "ss"},
    {"shes", "sh"}, {"ches", "ch"}, {"xes", "x"},   {"zes", "z"},  {"oes", "o"},
    {"ing", ""},    {"ing", "e"},   {"ed", ""},     {"ed", "e"},   {"es", "e"},
    {"es", ""},     {"s", ""},      {"ly", ""},     {"er", ""},    {"er", "e"},
    {"est", ""},    {"est", "e"},   {"'s", ""},     {"s'", "s"},   {"\xE2\x80\x99s", ""},
}};

bool ends_with_folded(std::string_view word, std::string_view suffix) {
  if (suffix.size() > word.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), word.end() - static_cast<ptrdiff_t>(suffix.size()),
                    [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

// The entry for the word, else for the first base form the suffix rules give; `shown` receives
// that base form.
std::optional<DictEntry> find_word(OpenIndex& index, std::string_view word, std::string& shown) {
  if (auto entry = index.find(word)) return entry;
  if (word.size() > kSuffixWordMax) return std::nullopt;
  for (const SuffixRule& rule : kSuffixRules) {
    if (word.size() <= rule.suffix.size() + 1 || !ends_with_folded(word, rule.suffix)) continue;
    const std::string_view cut = word.substr(0, word.size() - rule.suffix.size());
    std::string stem = std::string(cut).append(rule.replacement);
    if (stem.size() > kStemMax) continue;
    auto entry = index.find(stem);
    // "running" -> "runn" -> "run": a doubled last letter before the ending.
    if (!entry && rule.replacement.empty() && cut.size() >= 3 && cut.back() == cut[cut.size() - 2]) {
      stem.pop_back();
      entry = index.find(stem);
    }
    if (entry) {
      shown = stem;
      return entry;
    }
  }
  return std::nullopt;
}

// A dictionary with its index open for this lookup.
struct Searched {
  Dictionary& dictionary;
  OpenIndex index;
};

// Appends this dictionary's block for the word; 1 when it had the word.
int lookup_one(Searched& searched, std::string_view word, std::string& out) {
  Dictionary& dictionary = searched.dictionary;
  std::string shown;
  const auto entry = find_word(searched.index, word, shown);
  if (!entry) return 0;
  const auto definition = dictionary.definition(*entry);
  if (!definition) return 0;
  const Ifo& ifo = dictionary.ifo();
  if (ifo.name) out.append(*ifo.name).append("\n");
  if (!shown.empty()) out.append("(").append(shown).append(")\n");
  out.append(stardict_definition_text(*definition, ifo.type_sequence)).append("\n\n");
  return 1;
}

// The output file, kept open between lookups: the page reads it after every lookup, and opening
// it each time costs about as much as the lookup. Only the core thread looks words up.
struct KeptOutput {
  std::string host_path;
  int fd = -1;
  uint64_t size = 0;     // as the last write left it
  uint64_t watched = 0;  // the number of the dictionaries' watch that watches it, if any
  void close_file() {
    if (fd >= 0) close(fd);
    fd = -1;
    watched = 0;
  }
};

struct FileShape {
  uint64_t size;
  uint64_t links;
};

// The open file's size and link count. Where the file system can, only those are asked for: a look
// at the file's times makes its next write record a time finer than the clock's tick, and so put
// the file's record in the journal at every lookup.
std::optional<FileShape> shape_of(int fd) {
  constexpr unsigned kAsked = STATX_SIZE | STATX_NLINK;
  struct statx sx{};
  if (statx(fd, "", AT_EMPTY_PATH, kAsked, &sx) == 0 && (sx.stx_mask & kAsked) == kAsked) {
    return FileShape{sx.stx_size, sx.stx_nlink};
  }
  struct stat st;
  if (fstat(fd, &st) != 0) return std::nullopt;
  return FileShape{static_cast<uint64_t>(st.st_size), static_cast<uint64_t>(st.st_nlink)};
}

// The kept file's shape, looked at once the dictionaries' watch watches it, so that whatever
// another program does to it afterwards is reported.
std::optional<FileShape> watched_shape(KeptOutput& kept, const DictionariesWatch& watch) {
  kept.watched = watch.watch && watch.watch->watch_written_file(kept.fd) ? watch.number : 0;
  return shape_of(kept.fd);
}

// The whole output in one write. When it cannot be written no file is left, so the page never
// shows an earlier word's definitions. The old file is overwritten and then cut to the new
// length, only when it was longer: removing and creating it, or truncating it at all, makes a
// journaling file system flush or allocate on every lookup, which costs more than the lookup.
bool write_output(const char* path, const std::string& text) {
  static KeptOutput kept;
  char buf[kQlPathMax];
  const char* host_path = ql_path(path, buf, sizeof buf);
  if (kept.fd >= 0 && kept.host_path != host_path) kept.close_file();
  const DictionariesWatch watch = dictionaries_watch();
  std::optional<FileShape> shape;
  if (kept.fd >= 0 && watch.quiet && kept.watched == watch.number) {
    shape = FileShape{kept.size, 1};  // nothing reported since it was watched: as last written
  } else {
    shape = kept.fd >= 0 ? watched_shape(kept, watch) : std::nullopt;
    // A file removed or replaced since (its descriptor has lost its name) is opened anew.
    if (!shape || shape->links == 0) {
      kept.close_file();
      kept.fd = open(host_path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      kept.host_path = host_path;
      shape = kept.fd >= 0 ? watched_shape(kept, watch) : std::nullopt;
      if (!shape) kept.close_file();
    }
  }
  bool written = kept.fd >= 0;
  for (size_t done = 0; written && done < text.size();) {
    const ssize_t n = pwrite(kept.fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    done += written ? static_cast<size_t>(n) : 0;
  }
  written = written && (shape->size <= text.size() || ftruncate(kept.fd, static_cast<off_t>(text.size())) == 0);
  kept.size = text.size();
  if (!written) {
    kept.close_file();
    qlp_unlink(path);
  }
  return written;
}
}  // namespace

int ql_dict_lookup(std::string_view word, const char* out_path) {
  std::vector<Searched> searched;
  for (Dictionary& d : installed_dictionaries()) {
    if (auto index = d.open_for_lookup()) searched.push_back({d, std::move(*index)});
  }
  std::string out;
  int total = 0;
  for (Searched& s : searched) total += lookup_one(s, word, out);
  if (total == 0 && word.find('-') != std::string_view::npos) {
    const std::string_view copy = word.substr(0, kHyphenCopyMax);
    for (size_t at = 0; at < copy.size();) {
      const size_t dash = std::min(copy.find('-', at), copy.size());
      const std::string_view part = copy.substr(at, dash - at);
      at = dash + 1;
      if (part.size() < kHyphenPartMin) continue;
      for (Searched& s : searched) {
        const size_t mark = out.size();
        out.append(part).append("\n");
        if (lookup_one(s, part, out)) {
          ++total;
        } else {
          out.resize(mark);
        }
      }
    }
  }
  if (total == 0) out = "No definition found for '" + std::string(word) + "'.\n";
  return write_output(out_path, out) ? total : 0;
}

int ql_dict_list(const char* out_path) {
  const std::vector<Dictionary>& dictionaries = installed_dictionaries();
  std::string out;
  for (const Dictionary& d : dictionaries) {
    const Ifo ifo = read_ifo(DictFile::open((d.base() + ".ifo").c_str()));
    std::string shown = ifo.name.value_or(d.name().substr(d.name().rfind('/') + 1));
    std::erase(shown, '\r');
    shown.resize(utf8_prefix_length(shown, kListNameMax));
    out.append(shown).append("\n");
  }
  if (dictionaries.empty()) out = "No dictionaries in documents/dictionaries.\n";
  write_output(out_path, out);
  return static_cast<int>(dictionaries.size());
}

int ql_dict_count() { return static_cast<int>(installed_dictionaries().size()); }
