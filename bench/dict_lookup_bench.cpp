// Dictionary lookups beside the StarDict console program (sdcv), whole process against whole
// process: CPU time (user + system) from the child's own accounting, each side run in turn, the
// median of the runs. Our side is this program in its child mode, which does what the reader does
// for each word (the folders and files checked, the definitions found and written to the page's
// file); sdcv gets the same words as arguments and writes its answers to a pipe. Every answer sdcv
// gives is checked against the dictionary.
// 1. A generated dictionary shaped like a freedict one (some 35,000 headwords, 1.6 MB of short
//    definitions), packed by the dictzip program when it is installed (else by the test writer,
//    which lays the file out the same way), and the same definitions as a plain ".dict": 1,000 of
//    its headwords in one process, in random order and in index order (where both sides find the
//    next definition in a chunk they inflated for the last).
// 2. Three dictionaries with indexes of about 32 MB each: the first lookup of a new process, with
//    each side's kept state in place (our tables in the state folder, sdcv's offset cache), and
//    our first lookup with no table kept; then many lookups in one process, and its peak memory
//    beside a process without the dictionaries (VmHWM from /proc/self/status).
// Usage: dict_lookup_bench [runs] [lookups] [big-index entries] (default 11 1000 1000000). Build a
// release tree for figures that mean something.
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
#include <string>
#include <string_view>
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

std::string self_path() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

struct ProcessRun {
  bool ok = false;
  double cpu_ms = 0;  // user + system, from the child's accounting
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
  r.cpu_ms = ms(usage.ru_utime) + ms(usage.ru_stime);
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Pair {
  double ours_cpu = 0, sdcv_cpu = 0, ours_wall = 0, sdcv_wall = 0;
  bool ok = false;
  ProcessRun last_ours, last_sdcv;
};

// `runs` runs of each side in turn (ours first), after `before` before each of ours; medians.
template <class Before>
Pair alternate(int runs, const std::vector<std::string>& ours, const std::vector<std::string>& sdcv,
               const std::string& home, Before before) {
  std::vector<double> oc, sc, ow, sw;
  Pair p;
  p.ok = true;
  for (int i = 0; i < runs; ++i) {
    before();
    p.last_ours = run(ours, home);
    p.last_sdcv = run(sdcv, home);
    p.ok = p.ok && p.last_ours.ok && p.last_sdcv.ok;
    oc.push_back(p.last_ours.cpu_ms);
    sc.push_back(p.last_sdcv.cpu_ms);
    ow.push_back(p.last_ours.wall_ms);
    sw.push_back(p.last_sdcv.wall_ms);
  }
  p.ours_cpu = median(oc);
  p.sdcv_cpu = median(sc);
  p.ours_wall = median(ow);
  p.sdcv_wall = median(sw);
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

// How many of sdcv's answers in `out` (its plain output for `words`, in order) differ from the
// definitions the dictionary holds.
size_t wrong_answers(const std::string& out, const std::vector<std::string>& words,
                     const std::vector<sdw::Entry>& entries) {
  size_t wrong = 0, at = 0;
  for (const std::string& w : words) {
    const auto e = std::lower_bound(entries.begin(), entries.end(), w, [](const sdw::Entry& x, const std::string& y) {
      return stardict_less(x.headword, y);
    });
    // Each answer: "-->" and the headword on a line, an empty line, the definition and a line end.
    const size_t head = out.find("-->" + w + "\n\n", at);
    if (e == entries.end() || e->headword != w || head == std::string::npos) {
      ++wrong;
      continue;
    }
    at = head + 5 + w.size();
    if (out.compare(at, e->data.size(), e->data) != 0 || out.compare(at + e->data.size(), 1, "\n") != 0) ++wrong;
  }
  return wrong;
}

struct Measured {
  double first = 0, mean = 0, worst = 0;
  long peak_kib = 0;
  int found = 0;
};

bool parse_measure(const ProcessRun& r, Measured& m) {
  return r.ok && std::sscanf(r.out.c_str(), "%lf %lf %lf %ld %d", &m.first, &m.mean, &m.worst, &m.peak_kib, &m.found) == 5;
}

// Our side and sdcv's on one word list in the dictionary at `folder`, kept state in place.
void compare_lookups(const std::string& self, int runs, const std::string& root, const std::string& folder,
                     const std::vector<std::string>& words, const std::vector<sdw::Entry>& entries,
                     const char* order) {
  const std::vector<std::string> ours = with_words({self, "--measure", root}, words);
  const std::vector<std::string> sdcv = with_words({kSdcv, "-n", "-e", "-x", "--data-dir", folder}, words);
  const Pair p = alternate(runs, ours, sdcv, root, [] {});
  Measured m;
  if (!p.ok || !parse_measure(p.last_ours, m)) {
    std::printf("     %s: a run failed\n", order);
    return;
  }
  std::printf("     %s: ours %.1f ms CPU (%.1f ms wall), %d of %zu found, %.1f us a lookup in its process; "
              "sdcv %.1f ms CPU (%.1f ms wall), %zu answers wrong; ours / sdcv %.2f\n",
              order, p.ours_cpu, p.ours_wall, m.found, words.size(), m.mean * 1000, p.sdcv_cpu, p.sdcv_wall,
              wrong_answers(p.last_sdcv.out, words, entries), p.ours_cpu / p.sdcv_cpu);
}

void part_one(const std::string& self, int runs, size_t lookups) {
  const auto entries = generate(40000);
  uint64_t state = 99;
  std::vector<std::string> words;
  for (size_t i = 0; i < lookups; ++i) words.push_back(entries[next_random(state) % entries.size()].headword);
  std::vector<std::string> in_order = words;
  std::sort(in_order.begin(), in_order.end(), stardict_less);
  std::printf("1. A generated freedict-like dictionary: %zu headwords, %zu lookups of its words in one process, "
              "CPU medians of %d runs each, in turn\n",
              entries.size(), words.size(), runs);
  if (access(kSdcv, X_OK) != 0) {
    std::printf("   sdcv: not installed\n");
    return;
  }
  for (const bool packed : {true, false}) {
    ScratchDir root("ql-dict-bench");
    if (root.path().empty() || !make_device_folder(root.path())) return;
    const std::string folder = root.path() + "/us/documents/dictionaries";
    const char* how = write_dictionary(folder + "/freedict", entries, {}, packed);
    std::error_code ec;
    const auto dict_bytes = fs::file_size(folder + (packed ? "/freedict.dict.dz" : "/freedict.dict"), ec);
    std::printf("   %s (%.2f MB, index %.2f MB):\n", how, double(dict_bytes) / 1e6,
                double(fs::file_size(folder + "/freedict.idx", ec)) / 1e6);
    // Each side keeps its state for the runs that follow: our table, sdcv's offset cache.
    run(with_words({self, "--measure", root.path()}, {words[0]}), root.path());
    run(with_words({kSdcv, "-n", "-e", "-x", "--data-dir", folder}, {words[0]}), root.path());
    set_back(folder);
    compare_lookups(self, runs, root.path(), folder, words, entries, "random order");
    compare_lookups(self, runs, root.path(), folder, in_order, entries, "index order ");
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
                  "sdcv %.1f ms CPU; ours / sdcv %.2f (median of %d runs each, in turn)\n",
                  p.ours_cpu, m.first, p.sdcv_cpu, p.ours_cpu / p.sdcv_cpu, runs);
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
  const int runs = argc > 1 ? std::atoi(argv[1]) : 11;
  const size_t lookups = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
  const size_t big_entries = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1000000;
  const std::string self = self_path();
  part_one(self, std::max(runs, 1), lookups);
  part_two(self, std::max(runs, 1), big_entries, lookups);
  return 0;
}
