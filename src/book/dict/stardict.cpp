#include "book/dict/stardict.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/paths.h"
#include "base/utf8.h"
#include "book/dict/dict_file.h"
#include "book/dict/dictzip.h"
#include "book/dict/stardict_index.h"
#include "book/dict/stardict_text.h"

namespace {
constexpr size_t kIfoMax = 64 * 1024;
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

struct Ifo {
  std::optional<std::string> name;  // the bookname value, without its line ending
  bool offsets64 = false;
  std::string type_sequence;
};

bool ends_with_folded(std::string_view word, std::string_view suffix) {
  if (suffix.size() > word.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), word.end() - static_cast<ptrdiff_t>(suffix.size()),
                    [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

Ifo read_ifo(const std::string& path) {
  Ifo ifo;
  const auto file = DictFile::open(path.c_str());
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

std::optional<std::string> read_definition(const std::string& base, const DictEntry& entry) {
  if (const auto plain = DictFile::open((base + ".dict").c_str())) {
    if (entry.size > kDictSliceMax) return std::nullopt;
    return plain->read_at(entry.offset, entry.size);
  }
  return dictzip_read((base + ".dict.dz").c_str(), entry.offset, entry.size);
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

// Appends this dictionary's block for the word; 1 when it had the word.
int lookup_one(const std::string& base, std::string_view word, std::string& out) {
  const Ifo ifo = read_ifo(base + ".ifo");
  auto index = stardict_index((base + ".idx").c_str(), ifo.offsets64);
  if (!index) return 0;
  std::string shown;
  const auto entry = find_word(*index, word, shown);
  if (!entry) return 0;
  const auto definition = read_definition(base, *entry);
  if (!definition) return 0;
  if (ifo.name) out.append(*ifo.name).append("\n");
  if (!shown.empty()) out.append("(").append(shown).append(")\n");
  out.append(stardict_definition_text(*definition, ifo.type_sequence)).append("\n\n");
  return 1;
}

// Adds the dictionaries in `folder` (their ".ifo" names without it, after `prefix`), and with
// `descend` those in its folders too.
void add_dictionaries(const std::string& folder, const std::string& prefix, bool descend,
                      std::vector<std::string>& names) {
  DirPtr dir(qlp_opendir(folder.c_str()));
  if (!dir) return;
  while (const dirent* e = readdir(dir.get())) {
    const std::string_view name(e->d_name);
    // Dot files are the copies of other systems' metadata, not dictionaries.
    if (name.starts_with('.')) continue;
    if (name.size() >= 5 && name.ends_with(".ifo")) {
      names.push_back(prefix + std::string(name.substr(0, name.size() - 4)));
    } else if (descend && (e->d_type == DT_DIR || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN)) {
      add_dictionaries(folder + "/" + std::string(name), prefix + std::string(name) + "/", false, names);
    }
  }
}

// The dictionaries' names relative to the folder, without ".ifo": each lies directly in it or one
// folder below, where a StarDict archive unpacks. Sorted by bytes so every machine gives the same
// order.
std::vector<std::string> dictionary_names() {
  std::vector<std::string> names;
  add_dictionaries(kDictFolder, "", true, names);
  std::sort(names.begin(), names.end());
  return names;
}

std::string base_path(const std::string& name) { return std::string(kDictFolder) + "/" + name; }

// The whole output in one write. When it cannot be written no file is left, so the page never
// shows an earlier word's definitions. The old file is overwritten and then cut to the new
// length, only when it was longer: removing and creating it, or truncating it at all, makes a
// journaling file system flush or allocate on every lookup, which costs more than the lookup.
bool write_output(const char* path, const std::string& text) {
  const int fd = qlp_open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  bool written = fd >= 0;
  for (size_t done = 0; written && done < text.size();) {
    const ssize_t n = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    done += written ? static_cast<size_t>(n) : 0;
  }
  struct stat st;
  written = written && fstat(fd, &st) == 0 &&
            (static_cast<uint64_t>(st.st_size) <= text.size() || ftruncate(fd, static_cast<off_t>(text.size())) == 0);
  if (fd >= 0 && close(fd) != 0) written = false;
  if (!written) qlp_unlink(path);
  return written;
}
}  // namespace

int ql_dict_lookup(std::string_view word, const char* out_path) {
  const std::vector<std::string> names = dictionary_names();
  std::string out;
  int total = 0;
  for (const std::string& name : names) total += lookup_one(base_path(name), word, out);
  if (total == 0 && word.find('-') != std::string_view::npos) {
    const std::string_view copy = word.substr(0, kHyphenCopyMax);
    for (size_t at = 0; at < copy.size();) {
      const size_t dash = std::min(copy.find('-', at), copy.size());
      const std::string_view part = copy.substr(at, dash - at);
      at = dash + 1;
      if (part.size() < kHyphenPartMin) continue;
      for (const std::string& name : names) {
        const size_t mark = out.size();
        out.append(part).append("\n");
        if (lookup_one(base_path(name), part, out)) {
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
  const std::vector<std::string> names = dictionary_names();
  std::string out;
  for (const std::string& name : names) {
    const Ifo ifo = read_ifo(base_path(name) + ".ifo");
    std::string shown = ifo.name.value_or(name.substr(name.rfind('/') + 1));
    std::erase(shown, '\r');
    shown.resize(utf8_prefix_length(shown, kListNameMax));
    out.append(shown).append("\n");
  }
  if (names.empty()) out = "No dictionaries in documents/dictionaries.\n";
  write_output(out_path, out);
  return static_cast<int>(names.size());
}

int ql_dict_count() { return static_cast<int>(dictionary_names().size()); }
