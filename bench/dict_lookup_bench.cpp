// Dictionary lookups, in two parts.
// 1. A generated dictzip dictionary of 50,000 headwords in 50 KB chunks: random words looked up by
//    quillo in its process (each lookup timed), and by quillo and the StarDict console program
//    (sdcv) as whole processes (wall time from start to exit, start-up and the first reading of
//    the index included on both sides): once over all the words, and in runs of a few words, a
//    process each. sdcv's answers are checked against the dictionary: over many words in one
//    process it gives wrong definitions for most of them (it reads later chunks wrong), which
//    costs it less than reading them, so only the short runs, where it is right, are equal work.
// 2. Three generated dictionaries with indexes of about 30 MB each: the first lookup, the later
//    ones, and the peak memory of a process looking words up with them installed beside one
//    without them (VmHWM from /proc/self/status, both processes this program).
// Usage: dict_lookup_bench [headwords] [lookups] [big-index entries] (default 50000 1000 1000000).
// Build a release tree for figures that mean something.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/support/stardict_writer.h"
#include "base/paths.h"
#include "book/dict/stardict.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr size_t kBigDictionaries = 3;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

uint64_t next_random(uint64_t& state) {
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return state >> 33;
}

// Pronounceable made-up headwords, unique by the number folded into them, with prose-like
// definitions of 40 to 200 bytes.
std::vector<sdw::Entry> generate(size_t count) {
  static const char* const kSyllables[] = {"ka", "ro", "mi", "sen", "tal", "vo", "ne", "dur", "pi", "la",
                                           "quo", "ber", "is", "ton", "gra", "el"};
  static const char* const kWords[] = {"a", "the", "of", "small", "kind", "used", "for", "river", "made",
                                       "with", "light", "stone", "who", "moves", "in", "old", "form"};
  uint64_t state = 7;
  std::vector<sdw::Entry> out;
  for (size_t i = 0; i < count; ++i) {
    std::string word;
    for (size_t n = i + 1; n; n /= 16) word += kSyllables[n % 16];
    std::string text;
    const size_t length = 40 + next_random(state) % 160;
    while (text.size() < length) text += std::string(kWords[next_random(state) % 17]) + " ";
    out.push_back({word, text});
  }
  // StarDict indexes are sorted; the console program relies on it.
  std::sort(out.begin(), out.end(),
            [](const sdw::Entry& a, const sdw::Entry& b) { return a.headword < b.headword; });
  return out;
}

// The headwords of the large dictionaries, in index order by construction: about 22 bytes each,
// 31 bytes an entry with its numbers.
std::string big_headword(size_t i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "entry%08zu-lorem-ips", i);
  return buf;
}

// Peak and current memory of this process, KiB.
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

// The child mode: looks `count` words up in the device folder at `root` (the first alone), then
// prints the first lookup's time, the mean of the others and the process's peak memory.
int measure(const std::string& root, const std::vector<std::string>& words) {
  ql_set_root((root + "/us").c_str(), (root + "/tmp").c_str());
  auto start = Clock::now();
  int found = ql_dict_lookup(words[0], "/tmp/out.txt");
  const double first = ms_since(start);
  std::vector<double> each;
  for (size_t i = 1; i < words.size(); ++i) {
    start = Clock::now();
    found += ql_dict_lookup(words[i], "/tmp/out.txt");
    each.push_back(ms_since(start));
  }
  double total = 0, worst = 0;
  for (double t : each) {
    total += t;
    worst = std::max(worst, t);
  }
  std::printf("%.3f %.4f %.4f %ld %d\n", first, each.empty() ? 0 : total / double(each.size()), worst,
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
  double wall_ms = 0;
  std::string out;
};

// Runs a program with its standard output collected; its wall time, start to exit.
ProcessRun run(std::vector<std::string> args, const std::string& home) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int pipe_fds[2];
  ProcessRun r;
  if (pipe(pipe_fds) != 0) return r;
  std::fflush(stdout);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[1], 1);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    setenv("HOME", home.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(pipe_fds[0], buf, sizeof buf)) > 0) r.out.append(buf, static_cast<size_t>(n));
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.wall_ms = ms_since(start);
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

// The best of `runs` whole-process runs.
ProcessRun best_of(int runs, const std::vector<std::string>& args, const std::string& home) {
  ProcessRun best;
  for (int i = 0; i < runs; ++i) {
    const ProcessRun r = run(args, home);
    if (r.ok && (!best.ok || r.wall_ms < best.wall_ms)) best = r;
  }
  return best;
}

std::string make_root(const char* tag) {
  const char* tmp = std::getenv("TMPDIR");
  std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/ql-dict-bench-" + tag + "-XXXXXX";
  if (!mkdtemp(root.data())) std::exit(1);
  if (std::system(("mkdir -p '" + root + "/us/documents/dictionaries' '" + root + "/tmp'").c_str()) != 0) std::exit(1);
  return root;
}

std::vector<std::string> with_words(std::vector<std::string> args, const std::vector<std::string>& words) {
  args.insert(args.end(), words.begin(), words.end());
  return args;
}

// How many of sdcv's answers in `out` (its plain output for `words`, in order) differ from the
// definitions the dictionary holds.
size_t wrong_answers(const std::string& out, const std::vector<std::string>& words,
                     const std::vector<sdw::Entry>& entries) {
  size_t wrong = 0, at = 0;
  for (const std::string& w : words) {
    const auto e = std::lower_bound(entries.begin(), entries.end(), w,
                                    [](const sdw::Entry& a, const std::string& b) { return a.headword < b; });
    // Each answer: "-->" and the headword on a line, an empty line, the definition and a line end.
    const size_t head = out.find("-->" + w + "\n\n", at);
    if (head == std::string::npos) {
      ++wrong;
      continue;
    }
    at = head + 5 + w.size();
    if (out.compare(at, e->data.size(), e->data) != 0 || out.compare(at + e->data.size(), 1, "\n") != 0) ++wrong;
  }
  return wrong;
}

void part_one(const std::string& self, size_t headwords, size_t lookups) {
  const std::string root = make_root("zip");
  const std::string folder = root + "/us/documents/dictionaries";
  const auto entries = generate(headwords);
  sdw::Options o;
  o.storage = sdw::Storage::dictzip;
  o.chunk_length = 50 * 1024;
  sdw::write_dictionary(folder + "/generated", entries, o);
  uint64_t state = 99;
  std::vector<std::string> words;
  for (size_t i = 0; i < lookups; ++i) words.push_back(entries[next_random(state) % entries.size()].headword);

  std::printf("1. dictzip dictionary: %zu headwords in 50 KB chunks, %zu random lookups of its words\n",
              entries.size(), words.size());
  const ProcessRun ours = best_of(5, with_words({self, "--measure", root}, words), root);
  double first = 0, mean = 0, worst = 0;
  long peak = 0;
  int found = 0;
  if (!ours.ok || std::sscanf(ours.out.c_str(), "%lf %lf %lf %ld %d", &first, &mean, &worst, &peak, &found) != 5) {
    std::printf("   quillo run failed\n");
    return;
  }
  std::printf("   quillo in its process: first lookup %.2f ms, then %.1f us a lookup (worst %.2f ms); %d found\n",
              first, mean * 1000, worst, found);
  std::printf("   quillo whole process (this program), all words: %.1f ms\n", ours.wall_ms);
  if (access("/usr/bin/sdcv", X_OK) != 0) {
    std::printf("   sdcv: not installed\n");
    std::system(("rm -rf '" + root + "'").c_str());
    return;
  }
  const std::vector<std::string> sdcv = {"/usr/bin/sdcv", "-n", "-e", "-x", "--data-dir", folder};
  run(with_words(sdcv, words), root);  // writes the console program's offset cache
  const ProcessRun all = best_of(5, with_words(sdcv, words), root);
  std::printf("   sdcv whole process, all words: %.1f ms, %zu of %zu definitions wrong\n", all.wall_ms,
              wrong_answers(all.out, words, entries), words.size());
  // Equal work, whole process against whole process: runs of a few words, short enough for sdcv to
  // give every definition right, each side starting a process for each run.
  constexpr size_t kBatch = 5;
  const size_t batches = std::min<size_t>(words.size() / kBatch, 100);
  double ours_ms = 0, sdcv_ms = 0;
  size_t wrong = 0;
  for (size_t b = 0; b < batches; ++b) {
    const std::vector<std::string> batch(words.begin() + long(b * kBatch), words.begin() + long((b + 1) * kBatch));
    const ProcessRun q = run(with_words({self, "--measure", root}, batch), root);
    const ProcessRun s = run(with_words(sdcv, batch), root);
    ours_ms += q.wall_ms;
    sdcv_ms += s.wall_ms;
    wrong += wrong_answers(s.out, batch, entries);
  }
  std::printf("   runs of %zu words, a process each (%zu runs): quillo %.2f ms a run, sdcv %.2f ms a run "
              "(%zu definitions wrong); quillo / sdcv %.2f\n",
              kBatch, batches, ours_ms / double(batches), sdcv_ms / double(batches), wrong, ours_ms / sdcv_ms);
  std::system(("rm -rf '" + root + "'").c_str());
}

void part_two(const std::string& self, size_t entries_each, size_t lookups) {
  const std::string root = make_root("big"), bare = make_root("bare");
  const std::string folder = root + "/us/documents/dictionaries";
  uint64_t idx_bytes = 0;
  for (size_t d = 0; d < kBigDictionaries; ++d) {
    std::vector<sdw::Entry> entries;
    entries.reserve(entries_each);
    for (size_t i = 0; i < entries_each; ++i) {
      entries.push_back({big_headword(i), "sense " + std::to_string(i * 7 + d)});
    }
    sdw::Options o;
    o.storage = sdw::Storage::dictzip;
    o.bookname = "Large " + std::to_string(d + 1);
    sdw::write_dictionary(folder + "/large" + std::to_string(d + 1), entries, o);
    std::ifstream idx(folder + "/large" + std::to_string(d + 1) + ".idx", std::ios::ate | std::ios::binary);
    idx_bytes += static_cast<uint64_t>(idx.tellg());
  }
  uint64_t state = 5;
  std::vector<std::string> words;
  // One word in ten is not in the dictionaries and ends like an inflected English word, so every
  // ending rule is tried in every dictionary: the slowest kind of lookup.
  for (size_t i = 0; i < lookups; ++i) {
    const std::string word = big_headword(next_random(state) % entries_each);
    words.push_back(i % 10 == 9 ? word + "iest" : word);
  }
  std::printf("\n2. %zu dictzip dictionaries with %.1f MB indexes (%zu entries each), %zu random lookups, "
              "one in ten of a word not there\n",
              kBigDictionaries, double(idx_bytes) / kBigDictionaries / 1e6, entries_each, words.size());
  const ProcessRun with = run(with_words({self, "--measure", root}, words), root);
  const ProcessRun without = run(with_words({self, "--measure", bare}, words), bare);
  double first = 0, mean = 0, worst = 0, first0 = 0, mean0 = 0, worst0 = 0;
  long peak = 0, peak0 = 0;
  int found = 0, found0 = 0;
  if (!with.ok || !without.ok ||
      std::sscanf(with.out.c_str(), "%lf %lf %lf %ld %d", &first, &mean, &worst, &peak, &found) != 5 ||
      std::sscanf(without.out.c_str(), "%lf %lf %lf %ld %d", &first0, &mean0, &worst0, &peak0, &found0) != 5) {
    std::printf("   a run failed\n");
  } else {
    std::printf("   first lookup %.1f ms (reads the three indexes), then %.3f ms a lookup (worst %.2f ms); "
                "%d definitions\n",
                first, mean, worst, found);
    std::printf("   peak memory %.1f MiB, without the dictionaries %.1f MiB: %.1f MiB more\n", peak / 1024.0,
                peak0 / 1024.0, (peak - peak0) / 1024.0);
  }
  std::system(("rm -rf '" + root + "' '" + bare + "'").c_str());
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 3 && std::string(argv[1]) == "--measure") {
    return measure(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  }
  const size_t headwords = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50000;
  const size_t lookups = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
  const size_t big_entries = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1000000;
  const std::string self = self_path();
  part_one(self, headwords, lookups);
  part_two(self, big_entries, lookups);
  return 0;
}
