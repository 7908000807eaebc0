// A real dictionary from Debian (the Czech dictionary of foreign words, a dictzip file with Pango
// markup) looked up word by word and compared with the StarDict console program's answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "book/dict/stardict.h"
#include "base/paths.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {
constexpr char kDebianDict[] = "/usr/share/stardict/dic/czech-cizi";
constexpr char kConsole[] = "/usr/bin/sdcv";
constexpr size_t kSampleEvery = 300;

std::string lower_ascii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

// The headwords in index order (32-bit offsets).
std::vector<std::string> headwords(const std::string& idx) {
  std::vector<std::string> out;
  for (size_t at = 0; at < idx.size();) {
    const size_t nul = idx.find('\0', at);
    if (nul == std::string::npos || 8 > idx.size() - nul - 1) break;
    out.push_back(idx.substr(at, nul - at));
    at = nul + 9;
  }
  return out;
}

// The words of a text: the two programs lay definitions out with different blank space.
std::vector<std::string> words_of(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// The "definition" strings of one line of the console program's JSON output.
std::vector<std::string> json_definitions(const std::string& line) {
  std::vector<std::string> out;
  const std::string key = "\"definition\":\"";
  for (size_t at = line.find(key); at != std::string::npos; at = line.find(key, at)) {
    std::string value;
    for (at += key.size(); at < line.size() && line[at] != '"'; ++at) {
      if (line[at] != '\\' || at + 1 >= line.size()) {
        value += line[at];
        continue;
      }
      const char e = line[++at];
      value += e == 'n' ? '\n' : e == 't' ? '\t' : e;
    }
    out.push_back(value);
  }
  return out;
}
}  // namespace

TEST(StardictDebian, AgreesWithTheConsoleProgramOnASample) {
  if (!fs::exists(std::string(kDebianDict) + ".ifo") || !fs::exists(kConsole)) {
    GTEST_SKIP() << "needs the packages stardict-czech and sdcv";
  }
  TempDir dir;
  const std::string folder = dir / "us/documents/dictionaries";
  fs::create_directories(folder);
  fs::create_directories(dir / "tmp");
  for (const char* ext : {".ifo", ".idx", ".dict.dz"}) {
    fs::copy_file(std::string(kDebianDict) + ext, folder + "/czech-cizi" + ext);
  }
  const std::vector<std::string> all = headwords(read_file(folder + "/czech-cizi.idx"));
  ASSERT_GT(all.size(), 10000u);
  std::map<std::string, int> spellings;
  for (const std::string& w : all) ++spellings[lower_ascii(w)];
  std::vector<std::string> sample;
  for (size_t i = 0; i < all.size(); i += kSampleEvery) {
    // Headwords listed twice have two answers; the console program gives both.
    if (spellings[lower_ascii(all[i])] == 1 && all[i].find('\n') == std::string::npos)
      sample.push_back(all[i]);
  }
  ASSERT_GT(sample.size(), 40u);
  // One answer line per word, each word an argument of its own.
  std::vector<std::string> args = {"-c", "out=$1; shift; exec \"$0\" \"$@\" > \"$out\"", kConsole,
                                   dir / "answers", "-n", "-e", "-j", "-x", "--data-dir", folder};
  args.insert(args.end(), sample.begin(), sample.end());
  const ProgramResult r = run_program("/bin/sh", args, {{"HOME", dir.path()}}, 60000);
  ASSERT_EQ(r.status, 0);
  std::istringstream answers(read_file(dir / "answers"));

  ql_set_root((dir / "us").c_str(), (dir / "tmp").c_str());
  const std::string name = "Slovn\xC3\xADk ciz\xC3\xAD""ch slov\n";
  for (const std::string& word : sample) {
    SCOPED_TRACE(word);
    std::string line;
    ASSERT_TRUE(std::getline(answers, line));
    const auto expected = json_definitions(line);
    ASSERT_EQ(expected.size(), 1u) << line;
    ASSERT_EQ(ql_dict_lookup(word, "/tmp/out.txt"), 1);
    const std::string out = read_file(dir / "tmp/out.txt");
    ASSERT_EQ(out.substr(0, name.size()), name);
    EXPECT_EQ(words_of(out.substr(name.size())), words_of(expected[0]));
  }
  ql_set_root(nullptr, nullptr);
}
