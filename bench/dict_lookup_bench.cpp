// Dictionary lookups in a generated dictzip dictionary of 50,000 headwords: time and bytes read
// per lookup, the first lookup (which reads the index) apart, and the StarDict console program on
// the same dictionary and words when it is installed.
// Usage: dict_lookup_bench [headwords] [lookups] (default 50000 1000).
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
#include "book/dict/stardict.h"
#include "base/paths.h"

namespace {
using Clock = std::chrono::steady_clock;

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
  // StarDict indexes are sorted; the lookup does not rely on it, the console program does.
  std::sort(out.begin(), out.end(),
            [](const sdw::Entry& a, const sdw::Entry& b) { return a.headword < b.headword; });
  return out;
}

// Bytes this process has asked the kernel to read so far.
uint64_t read_bytes(pid_t pid = 0) {
  std::ifstream io(pid ? "/proc/" + std::to_string(pid) + "/io" : std::string("/proc/self/io"));
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

// Runs the console program over all words in one call; its wall time and bytes read.
bool run_console(const std::string& folder, const std::vector<std::string>& words, double* ms,
                 uint64_t* bytes) {
  std::vector<std::string> args = {"sdcv", "-n", "-e", "-x", "--data-dir", folder};
  args.insert(args.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    setenv("HOME", folder.c_str(), 1);
    execv("/usr/bin/sdcv", argv.data());
    _exit(127);
  }
  siginfo_t info{};
  waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);  // still readable in /proc
  *ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  *bytes = read_bytes(pid);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}  // namespace

int main(int argc, char** argv) {
  const size_t headwords = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50000;
  const size_t lookups = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
  const char* tmp = std::getenv("TMPDIR");
  std::string root_name = std::string(tmp && *tmp ? tmp : "/tmp") + "/ql-dict-bench-XXXXXX";
  if (!mkdtemp(root_name.data())) return 1;
  const std::string root = root_name;
  const std::string us = root + "/us", folder = us + "/documents/dictionaries";
  std::system(("mkdir -p '" + folder + "' '" + root + "/tmp'").c_str());
  const auto entries = generate(headwords);
  sdw::Options o;
  o.storage = sdw::Storage::dictzip;
  sdw::write_dictionary(folder + "/generated", entries, o);
  ql_set_root(us.c_str(), (root + "/tmp").c_str());

  uint64_t state = 99;
  std::vector<std::string> words;
  for (size_t i = 0; i < lookups; ++i) words.push_back(entries[next_random(state) % entries.size()].headword);

  uint64_t before = read_bytes();
  auto start = Clock::now();
  ql_dict_lookup(words[0], "/tmp/out.txt");
  const double first_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const uint64_t first_bytes = read_bytes() - before;

  int found = 0;
  before = read_bytes();
  start = Clock::now();
  for (const std::string& w : words) found += ql_dict_lookup(w, "/tmp/out.txt");
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const uint64_t bytes = read_bytes() - before;

  std::printf("dictionary: %zu headwords, %zu lookups, %d found\n", entries.size(), words.size(), found);
  std::printf("first lookup (reads the index): %.2f ms, %llu bytes read\n", first_ms,
              static_cast<unsigned long long>(first_bytes));
  std::printf("quillo: %.1f us per lookup, %llu bytes read per lookup\n", ms * 1000 / double(words.size()),
              static_cast<unsigned long long>(bytes / words.size()));

  double console_ms = 0;
  uint64_t console_bytes = 0;
  if (access("/usr/bin/sdcv", X_OK) == 0) {
    // The first run writes the console program's offset cache; the second is the one measured.
    run_console(folder, words, &console_ms, &console_bytes);
    if (run_console(folder, words, &console_ms, &console_bytes)) {
      std::printf(
          "sdcv: %.1f us per lookup, %llu bytes read per lookup (one process for all, start-up included)\n",
          console_ms * 1000 / double(words.size()),
          static_cast<unsigned long long>(console_bytes / words.size()));
    }
  } else {
    std::printf("sdcv: not installed\n");
  }
  ql_set_root(nullptr, nullptr);
  std::system(("rm -rf '" + root + "'").c_str());
  return 0;
}
