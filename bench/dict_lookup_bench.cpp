// Dictionary lookups beside the StarDict console program (sdcv), whole process against whole
// process: each side a new process given the same words, its CPU time (user + system, each also
// apart) from the kernel's accounting of the finished child (wait4), the two run alternately, the
// median of the runs and the range of the per-run ratios. Our side is this program in its child
// mode, which does what the reader does for each word (the folders and files checked, the
// definitions found and written to the page's file, "/tmp/ql-dict.txt", in the device folder's
// /tmp, whose file system is named: rewriting a file costs more on a journaling one); sdcv gets
// the same words as arguments and writes its answers to a pipe. Each of our answers is compared
// with sdcv's (its first entry, where a headword has two).
// 1. Three dictionaries, each packed as ".dict.dz" and kept as a plain ".dict", 1,000 of its
//    headwords in one process, in random order and in index order:
//    - one laid out as a freedict dictionary is (some 7,700 headwords, 340 KB of short
//      definitions), packed by the dictzip program with its default chunk size: six chunks, as
//      the English-French one has, so that sdcv's cache of chunks holds most of it;
//    - a generated one of some 35,000 headwords (1.6 MB, some 28 chunks), where sdcv inflates a
//      chunk for most random lookups;
//    - when a folder is given (--real FOLDER), the dictionary in it as its maker ships it.
//    Without the dictzip program both generated ones are packed by the test writer, which lays the
//    file out the same way.
// 2. Three dictionaries with indexes of about 32 MB each: the first lookup of a new process, with
//    each side's kept state in place (our tables in the state folder, sdcv's offset cache), and
//    our first lookup with no table kept; then many lookups in one process, and its peak memory
//    beside a process without the dictionaries (VmHWM from /proc/self/status).
// Usage: dict_lookup_bench [--real FOLDER] [runs] [lookups] [big-index entries] (default 11 1000
// 1000000). Build a release tree for figures that mean something.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "../tests/support/stardict_writer.h"
#include "base/paths.h"
#include "book/dict/stardict.h"
#include "scratch_dir.h"

namespace {
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
constexpr size_t kBigDictionaries = 3;
constexpr char kSdcv[] = "/usr/bin/sdcv";
constexpr char kDictzip[] = "/usr/bin/dictzip";

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

uint64_t next_random(uint64_t& state) {
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return state >> 33;
}

std::string folded(std::string s) {
  for (char& c : s) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  return s;
}

// Byte order after folding ASCII capitals, then plain byte order: how StarDict sorts an index.
bool stardict_less(const std::string& a, const std::string& b) {
  const std::string fa = folded(a), fb = folded(b);
  return fa != fb ? fa < fb : a < b;
}

// Headwords of two to four syllables, some capitalised, some of two words, each with a
// pronunciation line and a few translated senses, as a bilingual freedict dictionary has them.
std::vector<sdw::Entry> generate(size_t count) {
  static const char* const kSyllables[] = {"ka", "ro", "mi", "sen", "tal", "vo", "ne", "dur", "pi", "la", "quo", "ber",
                                           "is", "ton", "gra", "el", "an", "ex", "or", "un", "tri", "po", "mas", "fen"};
  static const char* const kSenses[] = {"maison", "pierre", "rivière", "lumière", "petit", "ancien", "faire",
                                        "aller", "être", "avoir", "chemin", "forme", "genre", "léger", "vieux"};
  uint64_t state = 7;
  std::vector<sdw::Entry> out;
  for (size_t i = 0; i < count; ++i) {
    std::string word;
    for (size_t n = 2 + next_random(state) % 3; n; --n) word += kSyllables[next_random(state) % 24];
    word += kSyllables[i % 24];
    if (next_random(state) % 20 == 0) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    if (next_random(state) % 20 == 0) word += std::string(" ") + kSyllables[next_random(state) % 24] + "ro";
    std::string text = "/" + word + "/\n";
    for (size_t n = 1 + next_random(state) % 3; n; --n) {
      text += std::to_string(n) + ". " + kSenses[next_random(state) % 15] + " " + kSenses[next_random(state) % 15];
      text += n > 1 ? "\n" : "";
    }
    out.push_back({word, text});
  }
  std::sort(out.begin(), out.end(), [](const sdw::Entry& a, const sdw::Entry& b) { return stardict_less(a.headword, b.headword); });
  // One entry for each spelling, whatever its capitals, so that each word has one answer.
  out.erase(std::unique(out.begin(), out.end(),
                        [](const sdw::Entry& a, const sdw::Entry& b) { return folded(a.headword) == folded(b.headword); }),
            out.end());
  return out;
}

// The headwords of the large dictionaries, in index order by construction: about 22 bytes each,
// 31 bytes an entry with its numbers.
std::string big_headword(size_t i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "entry%08zu-lorem-ips", i);
  return buf;
}

long status_kib(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string name;
  long value = 0;
  while (in >> name) {
    if (name == key) {
      in >> value;
      return value;
    }
    in.ignore(4096, '\n');
  }
  return 0;
}

// The child mode: looks the words up in the device folder at `root` (the first alone), then
// prints the first lookup's time, the mean of the others, the worst, the peak memory and the
// number of definitions found.
int measure(const std::string& root, const std::vector<std::string>& words) {
  ql_set_root((root + "/us").c_str(), (root + "/tmp").c_str());
  auto start = Clock::now();
  int found = ql_dict_lookup(words[0], "/tmp/ql-dict.txt");
  const double first = ms_since(start);
  double total = 0, worst = 0;
  for (size_t i = 1; i < words.size(); ++i) {
    start = Clock::now();
    found += ql_dict_lookup(words[i], "/tmp/ql-dict.txt");
    const double t = ms_since(start);
    total += t;
    worst = std::max(worst, t);
  }
  std::printf("%.3f %.4f %.4f %ld %d\n", first, words.size() > 1 ? total / double(words.size() - 1) : 0, worst,
              status_kib("VmHWM:"), found);
  return 0;
}

// The child mode that tells what the reader would show: looks each word up and prints the page's
// file after it, each followed by a record separator line.
int answers(const std::string& root, const std::vector<std::string>& words) {
  ql_set_root((root + "/us").c_str(), (root + "/tmp").c_str());
  for (const std::string& w : words) {
    ql_dict_lookup(w, "/tmp/ql-dict.txt");
    std::ifstream in(root + "/tmp/ql-dict.txt", std::ios::binary);
    std::printf("%s\x1e\n", std::string(std::istreambuf_iterator<char>(in), {}).c_str());
  }
  return 0;
}

std::string self_path() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

struct ProcessRun {
  bool ok = false;
  double cpu_ms = 0;  // user + system, from the child's accounting
  double user_ms = 0, system_ms = 0;
  double wall_ms = 0;
  std::string out;
};

// Runs a program with HOME set to `home` and its standard output collected. Spawned without a copy
// of this process's memory (which holds the large dictionaries' entries), so that neither side is
// charged for copying it.
ProcessRun run(std::vector<std::string> args, const std::string& home) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_strings = {"HOME=" + home};
  for (char** e = environ; *e; ++e) {
    if (!std::string_view(*e).starts_with("HOME=")) env_strings.push_back(*e);
  }
  std::vector<char*> envp;
  for (std::string& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);
  int pipe_fds[2];
  ProcessRun r;
  if (pipe(pipe_fds) != 0) return r;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  char buf[65536];
  ssize_t n;
  while (spawned == 0 && (n = read(pipe_fds[0], buf, sizeof buf)) > 0) r.out.append(buf, static_cast<size_t>(n));
  close(pipe_fds[0]);
  if (spawned != 0) return r;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.wall_ms = ms_since(start);
  auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  r.user_ms = ms(usage.ru_utime);
  r.system_ms = ms(usage.ru_stime);
  r.cpu_ms = r.user_ms + r.system_ms;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// One side's runs: CPU, user, system and wall time of each.
struct Side {
  std::vector<double> cpu, user, system, wall;
  void add(const ProcessRun& r) {
    cpu.push_back(r.cpu_ms);
    user.push_back(r.user_ms);
    system.push_back(r.system_ms);
    wall.push_back(r.wall_ms);
  }
};

struct Pair {
  Side ours, sdcv;
  std::vector<double> ratios;  // ours / sdcv, run by run
  bool ok = false;
  ProcessRun last_ours, last_sdcv;
};

// `runs` runs of each side in turn (ours first), after `before` before each of ours.
template <class Before>
Pair alternate(int runs, const std::vector<std::string>& ours, const std::vector<std::string>& sdcv,
               const std::string& home, Before before) {
  Pair p;
  p.ok = true;
  for (int i = 0; i < runs; ++i) {
    before();
    p.last_ours = run(ours, home);
    p.last_sdcv = run(sdcv, home);
    p.ok = p.ok && p.last_ours.ok && p.last_sdcv.ok;
    p.ours.add(p.last_ours);
    p.sdcv.add(p.last_sdcv);
    p.ratios.push_back(p.last_ours.cpu_ms / p.last_sdcv.cpu_ms);
  }
  return p;
}

std::vector<std::string> with_words(std::vector<std::string> args, const std::vector<std::string>& words) {
  args.insert(args.end(), words.begin(), words.end());
  return args;
}

// A device folder under `root` with the dictionaries folder, the state folder and /tmp.
bool make_device_folder(const std::string& root) {
  std::error_code ec;
  for (const char* sub : {"/us/documents/dictionaries", "/us/ql/state", "/tmp"}) fs::create_directories(root + sub, ec);
  return !ec;
}

// Writes the dictionary at `base`; with `packed` its definitions are packed by the dictzip
// program when it is installed, else by the test writer. Says which.
const char* write_dictionary(const std::string& base, const std::vector<sdw::Entry>& entries, sdw::Options o,
                             bool packed) {
  o.storage = packed && access(kDictzip, X_OK) != 0 ? sdw::Storage::dictzip : sdw::Storage::plain;
  sdw::write_dictionary(base, entries, o);
  if (!packed) return "plain";
  if (o.storage == sdw::Storage::dictzip) return "packed by the test writer (no dictzip installed)";
  const ProcessRun r = run({kDictzip, base + ".dict"}, "/");
  return r.ok ? "packed by dictzip" : "dictzip failed";
}

// Dates the folder an hour back, as a reader's is, copied well before the lookups: a folder changed
// within the last seconds is listed again at every lookup. sdcv writes its offset cache there.
void set_back(const std::string& folder) {
  std::error_code ec;
  fs::last_write_time(folder, fs::file_time_type::clock::now() - std::chrono::hours(1), ec);
}

// Where the answer for `word` begins in sdcv's output, at or after `from`: the line saying how many
// entries it found for the word, or that it found none.
size_t answer_start(const std::string& out, size_t from, const std::string& word) {
  const size_t found = out.find("similar to " + word + ".\n", from);
  const size_t none = out.find("Nothing similar to " + word + ", sorry :(\n", from);
  const size_t line = found == std::string::npos ? found : out.rfind('\n', found);
  const size_t found_line = found == std::string::npos ? found : line == std::string::npos || line < from ? from : line + 1;
  return std::min(found_line, none);
}

struct SdcvAnswer {
  std::optional<std::string> definition;  // its first entry's
  bool more = false;                      // it found more than one entry
};

// sdcv's answers in `out`, its output for `words` in order. An answer with entries: "Found N
// items, similar to WORD.", then per entry "-->" and the dictionary's name, "-->" and the
// headword, an empty line, the definition and an empty line.
std::vector<SdcvAnswer> sdcv_answers(const std::string& out, const std::vector<std::string>& words) {
  std::vector<SdcvAnswer> answers;
  size_t at = words.empty() ? 0 : answer_start(out, 0, words[0]);
  for (size_t i = 0; i < words.size(); ++i) {
    // The next answer starts after this one's first line: the same word twice in a row must not
    // find this answer again.
    const size_t end = i + 1 < words.size() ? answer_start(out, out.find('\n', at), words[i + 1]) : out.size();
    const std::string block = at < out.size() ? out.substr(at, std::min(end, out.size()) - at) : "";
    at = end;
    SdcvAnswer a;
    const size_t name = block.find("\n-->"), head = block.find("\n-->", name + 1);
    const size_t text = head == std::string::npos ? head : block.find("\n\n", head + 1);
    if (block.starts_with("Found ") && text != std::string::npos) {
      const size_t next = block.find("\n\n-->", text + 2);
      a.more = next != std::string::npos;
      std::string d = block.substr(text + 2, (a.more ? next : block.size()) - text - 2);
      while (d.ends_with('\n')) d.pop_back();
      a.definition = d;
    }
    answers.push_back(std::move(a));
  }
  return answers;
}

struct Measured {
  double first = 0, mean = 0, worst = 0;
  long peak_kib = 0;
  int found = 0;
};

bool parse_measure(const ProcessRun& r, Measured& m) {
  return r.ok && std::sscanf(r.out.c_str(), "%lf %lf %lf %ld %d", &m.first, &m.mean, &m.worst, &m.peak_kib, &m.found) == 5;
}

double lowest(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
double highest(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

std::string sdcv_folder(const std::string& root) { return root + "/us/documents/dictionaries"; }

// Our side and sdcv's on one word list in the dictionary of the device folder at `root`, kept state
// in place.
void compare_lookups(const std::string& self, int runs, const std::string& root, const std::vector<std::string>& words,
                     const char* order) {
  const std::vector<std::string> ours = with_words({self, "--measure", root}, words);
  const std::vector<std::string> sdcv = with_words({kSdcv, "-n", "-e", "-x", "--data-dir", sdcv_folder(root)}, words);
  const Pair p = alternate(runs, ours, sdcv, root, [] {});
  Measured m;
  if (!p.ok || !parse_measure(p.last_ours, m)) {
    std::printf("     %s: a run failed\n", order);
    return;
  }
  std::printf("     %s: ours %.1f ms CPU (%.1f-%.1f; user %.1f + system %.1f; %.1f ms wall; %.1f us wall a lookup "
              "in its process; %d of %zu found), sdcv %.1f ms CPU (%.1f-%.1f; user %.1f + system %.1f; %.1f ms "
              "wall); ours / sdcv %.2f (runs %.2f-%.2f)\n",
              order, median(p.ours.cpu), lowest(p.ours.cpu), highest(p.ours.cpu), median(p.ours.user),
              median(p.ours.system), median(p.ours.wall), m.mean * 1000, m.found, words.size(), median(p.sdcv.cpu),
              lowest(p.sdcv.cpu), highest(p.sdcv.cpu), median(p.sdcv.user), median(p.sdcv.system),
              median(p.sdcv.wall), median(p.ours.cpu) / median(p.sdcv.cpu), lowest(p.ratios), highest(p.ratios));
}

// Each of our answers (the page's file after each word) beside sdcv's first entry for the word. A
// headword that is also there in other capitals answers with the first of them in the index, as
// the page does; sdcv takes the one spelt as asked.
void compare_answers(const std::string& self, const std::string& root, const std::vector<std::string>& words,
                     const std::vector<std::string>& headwords) {
  const ProcessRun ours = run(with_words({self, "--answers", root}, words), root);
  const ProcessRun sdcv = run(with_words({kSdcv, "-n", "-e", "-x", "--data-dir", sdcv_folder(root)}, words), root);
  const std::vector<SdcvAnswer> theirs = sdcv_answers(sdcv.out, words);
  std::map<std::string, int> spellings;
  for (const std::string& h : headwords) ++spellings[folded(h)];
  size_t same = 0, more = 0, capitals = 0, at = 0;
  std::string first_different;
  for (size_t i = 0; i < words.size(); ++i) {
    const size_t end = ours.out.find("\x1e\n", at);
    if (end == std::string::npos) break;
    const std::string page = ours.out.substr(at, end - at);
    at = end + 2;
    // The page: the dictionary's name on the first line, the definition, an empty line.
    std::optional<std::string> definition;
    if (!page.starts_with("No definition found for ")) {
      const size_t line = page.find('\n');
      definition = line == std::string::npos ? "" : page.substr(line + 1);
      while (definition->ends_with('\n')) definition->pop_back();
    }
    more += theirs[i].more;
    if (definition == theirs[i].definition) {
      ++same;
    } else if (spellings[folded(words[i])] > 1) {
      ++capitals;
    } else if (first_different.empty()) {
      first_different = words[i];
    }
  }
  std::printf("     answers: %zu of %zu the same as sdcv's", same, words.size());
  if (capitals) std::printf(", %zu for headwords also there in other capitals (we give the first, sdcv the one spelt as asked)", capitals);
  if (!first_different.empty()) std::printf(", others differ (the first: %s)", first_different.c_str());
  if (more) std::printf("; %zu of the words have two entries, sdcv shows both, we the first", more);
  std::printf("\n");
}

// The headwords of an index, in file order.
std::vector<std::string> index_headwords(const std::string& path, bool offsets64) {
  std::ifstream in(path, std::ios::binary);
  const std::string idx(std::istreambuf_iterator<char>(in), {});
  std::vector<std::string> out;
  for (size_t at = 0; at < idx.size();) {
    const size_t nul = idx.find('\0', at);
    if (nul == std::string::npos) break;
    out.push_back(idx.substr(at, nul - at));
    at = nul + 1 + (offsets64 ? 12 : 8);
  }
  return out;
}

// The chunk length and count of a dictzip file; zeros without a chunk table.
std::pair<unsigned, unsigned> dictzip_chunks(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char h[22] = {};
  in.read(reinterpret_cast<char*>(h), sizeof h);
  if (!in || !(h[3] & 0x04) || h[12] != 'R' || h[13] != 'A') return {0, 0};
  return {h[18] | h[19] << 8u, h[20] | h[21] << 8u};
}

// The type of the file system holding `path`, from /proc/mounts (the longest mount point).
std::string file_system_of(const std::string& path) {
  std::ifstream mounts("/proc/mounts");
  std::string device, point, type, rest, best_type = "unknown";
  size_t best = 0;
  while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
    const bool under = path == point || path.starts_with(point == "/" ? point : point + "/");
    if (under && point.size() >= best) {
      best = point.size();
      best_type = type;
    }
  }
  return best_type;
}

// A dictionary to time: a device folder holding it, and its headwords in index order.
struct Timed {
  std::string name;
  std::unique_ptr<ScratchDir> root;
  std::string dict_file;  // its ".dict" or ".dict.dz"
  std::string how;
  std::vector<std::string> headwords;
};

Timed generated(const char* name, const std::vector<sdw::Entry>& entries, bool packed) {
  Timed t{name, std::make_unique<ScratchDir>("ql-dict-bench"), "", "", {}};
  if (t.root->path().empty() || !make_device_folder(t.root->path())) return t;
  const std::string base = sdcv_folder(t.root->path()) + "/freedict";
  t.how = write_dictionary(base, entries, {}, packed);
  t.dict_file = base + (packed ? ".dict.dz" : ".dict");
  for (const sdw::Entry& e : entries) t.headwords.push_back(e.headword);
  return t;
}

// The dictionary in `folder` as its maker ships it, its definitions copied as they are and made
// the other way (packed by dictzip, or unpacked) for the other side.
Timed shipped(const std::string& folder, bool packed) {
  Timed t{"", std::make_unique<ScratchDir>("ql-dict-bench"), "", "", {}};
  std::error_code ec;
  std::string ifo;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    if (e.path().extension() == ".ifo") ifo = e.path().string();
  }
  if (ifo.empty() || t.root->path().empty() || !make_device_folder(t.root->path())) return t;
  const std::string from = ifo.substr(0, ifo.size() - 4);
  const std::string base = sdcv_folder(t.root->path()) + "/" + fs::path(from).filename().string();
  t.name = "The dictionary given, " + fs::path(from).filename().string();
  for (const char* ext : {".ifo", ".idx"}) fs::copy_file(from + ext, base + ext, ec);
  const bool shipped_packed = fs::exists(from + ".dict.dz");
  t.dict_file = base + (packed ? ".dict.dz" : ".dict");
  if (packed == shipped_packed) {
    fs::copy_file(from + (packed ? ".dict.dz" : ".dict"), t.dict_file, ec);
    t.how = packed ? "packed as shipped" : "plain as shipped";
  } else if (packed) {
    fs::copy_file(from + ".dict", base + ".dict", ec);
    t.how = run({kDictzip, base + ".dict"}, "/").ok ? "packed by dictzip" : "dictzip failed";
  } else {
    const ProcessRun r = run({kDictzip, "-d", "-c", from + ".dict.dz"}, "/");
    std::ofstream(t.dict_file, std::ios::binary) << r.out;
    t.how = r.ok ? "unpacked by dictzip" : "dictzip failed";
  }
  std::ifstream in(ifo);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  t.headwords = index_headwords(base + ".idx", text.find("idxoffsetbits=64") != std::string::npos);
  return t;
}

void part_one(const std::string& self, int runs, size_t lookups, const std::string& real) {
  const auto small = generate(7900), large = generate(40000);
  std::vector<Timed> timed;
  for (const bool packed : {true, false}) {
    timed.push_back(generated("Laid out as a freedict dictionary", small, packed));
    timed.push_back(generated("Generated, larger", large, packed));
    if (!real.empty()) timed.push_back(shipped(real, packed));
  }
  std::printf("1. %zu lookups of a dictionary's headwords in one process, whole process against whole process: CPU "
              "(user + system) from the kernel's accounting of each finished child, the sides run in turn, medians "
              "of %d runs each with their range and the range of the run-by-run ratios; the page's file is written "
              "on %s\n",
              lookups, runs, timed.front().root ? file_system_of(timed.front().root->path()).c_str() : "?");
  if (access(kSdcv, X_OK) != 0) {
    std::printf("   sdcv: not installed\n");
    return;
  }
  for (Timed& t : timed) {
    if (t.headwords.empty()) continue;
    // Each side keeps its state for the runs that follow: our table, sdcv's offset cache.
    run(with_words({self, "--measure", t.root->path()}, {t.headwords[0]}), t.root->path());
    run(with_words({kSdcv, "-n", "-e", "-x", "--data-dir", sdcv_folder(t.root->path())}, {t.headwords[0]}),
        t.root->path());
    set_back(sdcv_folder(t.root->path()));
  }
  // A reader's dictionaries were copied well before: a file changed within the last seconds may
  // change again unseen, so the lookups check the chunks they keep of it against its bytes.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  for (Timed& t : timed) {
    if (t.headwords.empty()) {
      std::printf("   %s: not made\n", t.name.c_str());
      continue;
    }
    uint64_t state = 99;
    std::vector<size_t> picked;
    for (size_t i = 0; i < lookups; ++i) picked.push_back(next_random(state) % t.headwords.size());
    std::vector<std::string> words, in_order;
    for (size_t i : picked) words.push_back(t.headwords[i]);
    std::sort(picked.begin(), picked.end());
    for (size_t i : picked) in_order.push_back(t.headwords[i]);
    std::error_code ec;
    const std::string folder = sdcv_folder(t.root->path());
    const auto [chunk_length, chunks] = dictzip_chunks(t.dict_file);
    std::printf("   %s, %s: %zu headwords, %.2f MB (index %.2f MB)", t.name.c_str(), t.how.c_str(), t.headwords.size(),
                double(fs::file_size(t.dict_file, ec)) / 1e6,
                double(fs::file_size(t.dict_file.substr(0, t.dict_file.rfind(".dict")) + ".idx", ec)) / 1e6);
    if (chunks) std::printf(", %u chunks of %u bytes", chunks, chunk_length);
    std::printf(":\n");
    compare_lookups(self, runs, t.root->path(), words, "random order");
    compare_lookups(self, runs, t.root->path(), in_order, "index order ");
    compare_answers(self, t.root->path(), words, t.headwords);
  }
}

void part_two(const std::string& self, int runs, size_t entries_each, size_t lookups) {
  ScratchDir root("ql-dict-bench-big"), bare("ql-dict-bench-bare");
  if (root.path().empty() || bare.path().empty() || !make_device_folder(root.path()) ||
      !make_device_folder(bare.path()))
    return;
  const std::string folder = root.path() + "/us/documents/dictionaries";
  uint64_t idx_bytes = 0;
  const char* how = "";
  std::vector<sdw::Entry> entries;
  for (size_t d = 0; d < kBigDictionaries; ++d) {
    entries.clear();
    for (size_t i = 0; i < entries_each; ++i) entries.push_back({big_headword(i), "sense " + std::to_string(i * 7 + d)});
    sdw::Options o;
    o.bookname = "Large " + std::to_string(d + 1);
    const std::string base = folder + "/large" + std::to_string(d + 1);
    how = write_dictionary(base, entries, o, true);
    std::error_code ec;
    idx_bytes += fs::file_size(base + ".idx", ec);
  }
  uint64_t state = 5;
  std::vector<std::string> words;
  // One word in ten is not in the dictionaries and ends like an inflected English word, so every
  // ending rule is tried in every dictionary: the slowest kind of lookup.
  for (size_t i = 0; i < lookups; ++i) {
    const std::string word = big_headword(next_random(state) % entries_each);
    words.push_back(i % 10 == 9 ? word + "iest" : word);
  }
  std::printf("\n2. %zu dictionaries with %.1f MB indexes (%zu entries each, %s)\n", kBigDictionaries,
              double(idx_bytes) / kBigDictionaries / 1e6, entries_each, how);
  const std::vector<std::string> one = {words[0]};
  const std::vector<std::string> ours = with_words({self, "--measure", root.path()}, one);
  const std::string tables = root.path() + "/us/ql/state/dict";
  Measured m;
  const auto build_start = Clock::now();
  const ProcessRun built = run(ours, root.path());
  if (!parse_measure(built, m)) {
    std::printf("   our run failed\n");
    return;
  }
  std::printf("   ours, first lookup with no table kept (reads the indexes and keeps their tables): %.1f ms CPU, "
              "%.1f ms in its process (%.0f ms wall)\n",
              built.cpu_ms, m.first, ms_since(build_start));
  if (access(kSdcv, X_OK) == 0) {
    const std::vector<std::string> sdcv = with_words({kSdcv, "-n", "-e", "-x", "--data-dir", folder}, one);
    const ProcessRun cold = run(sdcv, root.path());
    std::printf("   sdcv, first lookup with no offset cache (writes it): %.1f ms CPU\n", cold.cpu_ms);
    set_back(folder);
    const Pair p = alternate(runs, ours, sdcv, root.path(), [] {});
    if (p.ok && parse_measure(p.last_ours, m)) {
      std::printf("   first lookup of a new process, kept state in place: ours %.1f ms CPU (%.2f ms in its process), "
                  "sdcv %.1f ms CPU; ours / sdcv %.2f (median of %d runs each, in turn; runs %.2f-%.2f)\n",
                  median(p.ours.cpu), m.first, median(p.sdcv.cpu), median(p.ours.cpu) / median(p.sdcv.cpu), runs,
                  lowest(p.ratios), highest(p.ratios));
    }
  } else {
    std::printf("   sdcv: not installed\n");
  }
  const ProcessRun with = run(with_words({self, "--measure", root.path()}, words), root.path());
  const ProcessRun without = run(with_words({self, "--measure", bare.path()}, words), bare.path());
  Measured w, wo;
  if (!parse_measure(with, w) || !parse_measure(without, wo)) {
    std::printf("   a run failed\n");
    return;
  }
  std::printf("   %zu lookups, one in ten of a word not there: %.3f ms a lookup after the first (worst %.2f ms), "
              "%d definitions\n",
              words.size(), w.mean, w.worst, w.found);
  std::printf("   peak memory %.1f MiB, without the dictionaries %.1f MiB: %.1f MiB more\n", w.peak_kib / 1024.0,
              wo.peak_kib / 1024.0, (w.peak_kib - wo.peak_kib) / 1024.0);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 3 && std::string(argv[1]) == "--measure") {
    return measure(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  }
  if (argc > 3 && std::string(argv[1]) == "--answers") {
    return answers(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string real;
  if (args.size() > 1 && args[0] == "--real") {
    real = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  const int runs = args.size() > 0 ? std::atoi(args[0].c_str()) : 11;
  const size_t lookups = args.size() > 1 ? std::strtoul(args[1].c_str(), nullptr, 10) : 1000;
  const size_t big_entries = args.size() > 2 ? std::strtoul(args[2].c_str(), nullptr, 10) : 1000000;
  const std::string self = self_path();
  part_one(self, std::max(runs, 1), lookups, real);
  part_two(self, std::max(runs, 1), big_entries, lookups);
  return 0;
}
