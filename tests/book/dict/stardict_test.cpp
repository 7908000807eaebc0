// Dictionary lookups against small StarDict dictionaries written by the test: every storage
// (plain, dictzip with its chunk table as the dictzip program lays it out and as some other packers
// do, gzip without one), both offset widths, with and without a type sequence; English endings,
// hyphen parts, several dictionaries, and damaged files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "book/dict/dictzip.h"
#include "book/dict/stardict_text.h"
#include "base/utf8.h"
#include "dictionaries_fixture.h"
#include "support/run_program.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kOut = kDictOut;

std::vector<sdw::Entry> english() {
  return {{"box", "a container"},   {"dog", "an animal"},  {"known", "familiar"}, {"run", "to move fast"},
          {"stop", "to halt"},      {"study", "to learn"}, {"take", "to grab"},   {"well", "a shaft"},
          {"Happy", "glad"}};
}

// Definitions long enough to cross several small chunks, each one distinct.
std::vector<sdw::Entry> long_entries(int count, size_t length) {
  std::vector<sdw::Entry> out;
  for (int i = 0; i < count; ++i) {
    std::string text;
    while (text.size() < length)
      text += "sense " + std::to_string(i) + "." + std::to_string(text.size()) + " ";
    text.resize(length);
    out.push_back({"word" + std::to_string(i), text});
  }
  return out;
}

struct StorageCase {
  const char* name;
  sdw::Storage storage;
  bool offsets64;
  uint32_t chunk_length;
};
constexpr StorageCase kStorages[] = {
    {"plain, 32-bit", sdw::Storage::plain, false, 0},
    {"plain, 64-bit", sdw::Storage::plain, true, 0},
    {"dictzip, 32-bit", sdw::Storage::dictzip, false, 58315},
    {"dictzip, 64-bit, small chunks", sdw::Storage::dictzip, true, 40},
    {"dictzip ending inside its last chunk", sdw::Storage::dictzip_ending_in_last_chunk, false, 40},
    {"gzip without chunk table", sdw::Storage::gzip, false, 0},
    {"gzip without chunk table, 64-bit", sdw::Storage::gzip, true, 0},
};

sdw::Options storage_options(const StorageCase& c) {
  sdw::Options o;
  o.storage = c.storage;
  o.offsets64 = c.offsets64;
  o.chunk_length = c.chunk_length;
  return o;
}

TEST_F(Dictionaries, EveryStorageAndOffsetWidthGivesTheSameDefinitions) {
  for (const StorageCase& c : kStorages) {
    SCOPED_TRACE(c.name);
    empty_folder();
    sdw::Options o = storage_options(c);
    auto entries = english();
    for (auto& e : long_entries(20, 150)) entries.push_back(e);
    add("en", entries, o);
    int n = 0;
    EXPECT_EQ(lookup("run", &n), "Test Dictionary\nto move fast\n\n");
    EXPECT_EQ(n, 1);
    EXPECT_EQ(lookup("happy"), "Test Dictionary\nglad\n\n") << "ASCII case is ignored";
    for (int i : {0, 7, 19}) {
      EXPECT_EQ(lookup("word" + std::to_string(i)), "Test Dictionary\n" + entries[9 + i].data + "\n\n");
    }
    EXPECT_EQ(lookup("absent", &n), "No definition found for 'absent'.\n");
    EXPECT_EQ(n, 0);
  }
}

TEST_F(Dictionaries, SixtyFourBitOffsetsUseTheirHighWord) {
  for (auto storage : {sdw::Storage::plain, sdw::Storage::dictzip}) {
    SCOPED_TRACE(storage == sdw::Storage::plain ? "plain" : "dictzip");
    sdw::Options o;
    o.storage = storage;
    o.offsets64 = true;
    add("big", {{"far", "beyond four gigabytes"}, {"near", "at the start"}}, o);
    std::string idx = read_file(base("big.idx"));
    idx[4] = 1;  // "far\0", then the offset's high word: 1 << 32
    write_file(base("big.idx"), idx);
    EXPECT_EQ(lookup("far"), "No definition found for 'far'.\n");
    EXPECT_EQ(lookup("near"), "Test Dictionary\nat the start\n\n");
    fs::remove(base("big.dict"));
  }
}

TEST_F(Dictionaries, TheFirstOfTwoSpellingsInTheIndexAnswers) {
  add("en", {{"Polish", "of Poland"}, {"polish", "to make shine"}, {"POLISH", "never reached"}});
  EXPECT_EQ(lookup("polish"), "Test Dictionary\nof Poland\n\n");
  EXPECT_EQ(lookup("polishes"), "Test Dictionary\n(polish)\nof Poland\n\n");
}

TEST_F(Dictionaries, EnglishEndingsFindTheBaseForm) {
  add("en", english());
  struct Case {
    const char* asked;
    const char* shown;
  } cases[] = {
      {"running", "run"},   {"studies", "study"}, {"stopped", "stop"}, {"boxes", "box"},
      {"dogs", "dog"},      {"dog's", "dog"},     {"dog\xE2\x80\x99s", "dog"},
      {"taking", "take"},   {"studied", "study"}, {"Running", "Run"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    const std::string out = lookup(c.asked);
    EXPECT_EQ(out.substr(0, out.find('\n', out.find('\n') + 1) + 1),
              "Test Dictionary\n(" + std::string(c.shown) + ")\n");
  }
  // An ending alone, or a word too long to reduce, is not reduced.
  EXPECT_EQ(lookup("ss"), "No definition found for 'ss'.\n");
  const std::string long_word = std::string(126, 'x') + "ing";
  EXPECT_EQ(lookup(long_word), "No definition found for '" + long_word + "'.\n");
}

TEST_F(Dictionaries, HyphenatedWordsAreLookedUpPartByPart) {
  add("en", english());
  EXPECT_EQ(lookup("well-known"), "well\nTest Dictionary\na shaft\n\nknown\nTest Dictionary\nfamiliar\n\n");
  EXPECT_EQ(lookup("well-xyzzy"), "well\nTest Dictionary\na shaft\n\n") << "a part not found leaves nothing";
  EXPECT_EQ(lookup("a-b-c"), "No definition found for 'a-b-c'.\n") << "parts under 3 bytes are skipped";
  add("whole", {{"well-known", "famous"}});
  EXPECT_EQ(lookup("well-known"), "Test Dictionary\nfamous\n\n") << "the whole word first";
}

TEST_F(Dictionaries, SeveralDictionariesAnswerInNameOrder) {
  sdw::Options second;
  second.bookname = "Second";
  second.storage = sdw::Storage::dictzip;
  add("b-second", {{"run", "sprint"}}, second);
  sdw::Options first;
  first.bookname = "First";
  first.type_sequence = "";
  add("a-first", {{"run", std::string("mjog", 5)}}, first);
  sdw::Options nameless;
  nameless.with_bookname = false;
  add("c-nameless", {{"run", "dash"}}, nameless);
  int n = 0;
  EXPECT_EQ(lookup("run", &n), "First\njog\n\nSecond\nsprint\n\ndash\n\n");
  EXPECT_EQ(n, 3);

  EXPECT_EQ(ql_dict_list(kOut), 3);
  EXPECT_EQ(output(), "First\nSecond\nc-nameless\n");
}

TEST_F(Dictionaries, ListSaysWhenThereAreNone) {
  EXPECT_EQ(ql_dict_list(kOut), 0);
  EXPECT_EQ(output(), "No dictionaries in documents/dictionaries.\n");
  fs::remove_all(base(""));
  EXPECT_EQ(ql_dict_lookup("run", kOut), 0);
  EXPECT_EQ(output(), "No definition found for 'run'.\n");
}

TEST_F(Dictionaries, DefinitionsAreShownAsTextWhateverTheirType) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    std::string types;
    std::string data;
    std::string shown;
  } cases[] = {
      {"plain meaning", "m", "to move fast", "to move fast"},
      {"phonetic then meaning", "tm", "r\xCA\x8Cn\0to move"s, "r\xCA\x8Cn\nto move"},
      {"HTML", "h", "<b>run</b><br>to move &amp; go<p>fast</p>", "run\nto move & go\nfast"},
      {"Pango with its own line breaks", "g", "<i>verb</i>\nto move\n<span foreground=\"red\">quickly</span>",
       "verb\nto move\nquickly"},
      {"XDXF", "x", "<k>run</k>\n<def>to &lt;move&gt;</def>", "run\nto <move>"},
      {"typed fields, a NUL between them", "", "mfirst\0msecond\0"s, "first\nsecond"},
      {"Windows and old Mac line ends", "m", "one\r\ntwo\rthree\r\n", "one\ntwo\nthree"},
      {"HTML with a style sheet", "h", "<style>b { color: red }</style><b>bold</b><script>x()</script>",
       "bold"},
      {"typed fields with a sound between", "", "mbefore\0W\0\0\0\x03xyzgafter"s, "before\nafter"},
      {"a sound whose size overruns", "", "mbefore\0W\0\0\0\x09xyz"s, "before"},
      {"a field without its NUL", "", "mcut short"s, "cut short"},
      {"sequence ending in a sound", "mW", "text\0\x01\x02"s, "text"},
      {"picture first in a sequence", "Pm", "\0\0\0\x02pmafter"s, "after"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(stardict_definition_text(c.data, c.types), c.shown);
    fs::remove_all(base(""));
    fs::create_directories(base(""));
    sdw::Options o;
    o.type_sequence = c.types;
    add("typed", {{"run", c.data}}, o);
    EXPECT_EQ(lookup("run"), "Test Dictionary\n" + c.shown + "\n\n");
  }
}

TEST_F(Dictionaries, TheOldOutputNeverSurvivesALookup) {
  add("en", english());
  ASSERT_EQ(ql_dict_lookup("run", kOut), 1);
  EXPECT_EQ(ql_dict_lookup("dog", "/tmp/missing/ql-dict.txt"), 0) << "the output cannot be written";
  fs::create_directories(dir_ / "tmp/folder");
  EXPECT_EQ(ql_dict_lookup("dog", "/tmp/folder"), 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "tmp/folder")) << "a folder in the way is left alone";
  // A longer earlier output is replaced whole, not partly overwritten.
  write_file(dir_ / "tmp/ql-dict.txt", std::string(1000, 'x'));
  EXPECT_EQ(lookup("zzz"), "No definition found for 'zzz'.\n");
}

// Every prefix of every file of a dictionary, and a flipped byte at every place of the
// compressed file: each lookup finds the right text or nothing, never a wrong text or a crash.
TEST_F(Dictionaries, DamagedFilesGiveTheRightTextOrNothing) {
  const auto entries = long_entries(6, 90);
  for (const StorageCase& c : kStorages) {
    SCOPED_TRACE(c.name);
    empty_folder();
    sdw::Options o = storage_options(c);
    o.chunk_length = std::min<uint32_t>(o.chunk_length, 64);
    add("d", entries, o);
    const std::string good = "Test Dictionary\n" + entries[5].data + "\n\n";
    ASSERT_EQ(lookup("word5"), good);
    const std::string missing = "No definition found for 'word5'.\n";
    const std::string data_file = base(c.storage == sdw::Storage::plain ? "d.dict" : "d.dict.dz");
    for (const std::string& path : {base("d.idx"), data_file}) {
      const std::string bytes = read_file(path);
      for (size_t len = 0; len < bytes.size(); ++len) {
        write_file(path, bytes.substr(0, len));
        const std::string out = lookup("word5");
        if (out != missing) {
          EXPECT_EQ(out, good) << path << " cut at " << len;
        }
      }
      write_file(path, bytes);
    }
    // A cut ".ifo" loses options the other files cannot be read right without: it must only
    // never crash.
    const std::string ifo = read_file(base("d.ifo"));
    for (size_t len = 0; len < ifo.size(); ++len) {
      write_file(base("d.ifo"), ifo.substr(0, len));
      lookup("word5");
    }
    write_file(base("d.ifo"), ifo);
    std::string bytes = read_file(data_file);
    for (size_t at = 0; at < bytes.size() && c.storage != sdw::Storage::plain; ++at) {
      bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
      write_file(data_file, bytes);
      const std::string out = lookup("word5");
      bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
      // A flip inside compressed data may still inflate, to other bytes: then only the length
      // is known to hold.
      if (out != missing) {
        EXPECT_EQ(out.size(), good.size()) << "flip at " << at;
      }
    }
  }
}

// Headwords in StarDict's order (ASCII capitals folded, then bytes) over many blocks of the index,
// spellings that differ only in case side by side; and the same entries in no order.
TEST_F(Dictionaries, EveryHeadwordIsFoundInALargeIndexInOrderOrNot) {
  std::vector<sdw::Entry> entries;
  for (int i = 0; i < 3000; ++i) {
    const std::string word = std::string("w").append(std::to_string(i * 7919 % 100000));
    entries.push_back({word, "sense of " + word});
    if (i % 10 == 0) entries.push_back({"Q" + word, "capital " + word});
    if (i % 10 == 0) entries.push_back({"q" + word, "small " + word});
  }
  // "w1s" sorts after every "w1" and a digit or "r": over 8 KiB of index away from "w1".
  entries.push_back({"w1", "the first"});
  for (int i = 0; i < 600; ++i) entries.push_back({"w1r" + std::to_string(i), "filler " + std::to_string(i)});
  auto folded = [](std::string w) {
    for (char& c : w) c = ascii_lower(c);
    return w;
  };
  std::sort(entries.begin(), entries.end(), [&](const sdw::Entry& a, const sdw::Entry& b) {
    const std::string fa = folded(a.headword), fb = folded(b.headword);
    return fa != fb ? fa < fb : a.headword < b.headword;
  });
  std::vector<sdw::Entry> shuffled = entries;
  std::reverse(shuffled.begin(), shuffled.end());
  for (const auto& [name, list] : {std::pair{"in order", entries}, {"reversed", shuffled}}) {
    SCOPED_TRACE(name);
    empty_folder();
    sdw::Options o;
    o.storage = sdw::Storage::dictzip;
    o.chunk_length = 4000;
    add("big", list, o);
    for (const sdw::Entry& e : entries) {
      if (ascii_lower(e.headword[0]) == 'q') continue;  // "qw1" and "Qw1" share a folded spelling
      ASSERT_EQ(lookup(e.headword), "Test Dictionary\n" + e.data + "\n\n") << e.headword;
    }
    // A base form found after an ending is taken off, its blocks already read for the word asked.
    for (size_t i = 0; i < entries.size(); i += 97) {
      const sdw::Entry& e = entries[i];
      if (ascii_lower(e.headword[0]) == 'q') continue;
      EXPECT_EQ(lookup(e.headword + "s"), "Test Dictionary\n(" + e.headword + ")\n" + e.data + "\n\n");
    }
    EXPECT_EQ(lookup("w1s"), "Test Dictionary\n(w1)\nthe first\n\n");
    // Of two spellings that differ only in case, the first in the file answers.
    const std::string first_of_pair = name == std::string("in order") ? "capital w0" : "small w0";
    EXPECT_EQ(lookup("QW0"), "Test Dictionary\n" + first_of_pair + "\n\n");
    for (const char* absent : {"a", "w", "w00", "w99999zz", "zzz"}) {
      int n = -1;
      lookup(absent, &n);
      EXPECT_EQ(n, 0) << absent;
    }
  }
}

// A dictionary replaced in place, its times put back as they were (as a copy within the clock's
// resolution leaves them): the new definitions answer, not the old ones kept from before.
TEST_F(Dictionaries, ADictionaryRewrittenInPlaceAnswersWithItsNewText) {
  sdw::Options o;
  o.storage = sdw::Storage::dictzip;
  o.chunk_length = 512;
  auto entries_with = [](char letter) {
    std::vector<sdw::Entry> out;
    for (int i = 0; i < 40; ++i) out.push_back({"word" + std::to_string(100 + i), std::string(60, letter)});
    return out;
  };
  add("d", entries_with('a'), o);
  const std::string dz = base("d.dict.dz");
  struct stat before{};
  ASSERT_EQ(stat(dz.c_str(), &before), 0);
  EXPECT_EQ(lookup("word120"), "Test Dictionary\n" + std::string(60, 'a') + "\n\n");
  const std::string old_bytes = read_file(dz);
  add("d", entries_with('b'), o);
  ASSERT_EQ(read_file(dz).size(), old_bytes.size()) << "the test needs the same size";
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, dz.c_str(), times, 0), 0);
  EXPECT_EQ(lookup("word120"), "Test Dictionary\n" + std::string(60, 'b') + "\n\n");
  EXPECT_EQ(lookup("word121"), "Test Dictionary\n" + std::string(60, 'b') + "\n\n");
}

// StarDict archives unpack into a folder of their own: dictionaries one folder down count as if
// they lay in the folder itself, by their path's order; deeper ones and hidden folders do not.
TEST_F(Dictionaries, DictionariesOneFolderDownAreReadToo) {
  EXPECT_EQ(ql_dict_count(), 0);
  add("top", {{"run", "from the folder"}});
  fs::create_directories(base("Czech"));
  sdw::Options named;
  named.bookname = "Unpacked";
  add("Czech/cz", {{"run", "from a folder below"}}, named);
  fs::create_directories(base("Other"));
  sdw::Options nameless;
  nameless.with_bookname = false;
  add("Other/nameless", {{"walk", "on foot"}}, nameless);
  fs::create_directories(base("deep/er"));
  add("deep/er/x", {{"run", "two folders down"}});
  fs::create_directories(base(".hidden"));
  add(".hidden/h", {{"run", "hidden"}});
  int n = 0;
  EXPECT_EQ(lookup("run", &n), "Unpacked\nfrom a folder below\n\nTest Dictionary\nfrom the folder\n\n");
  EXPECT_EQ(n, 2);
  EXPECT_EQ(lookup("walk"), "on foot\n\n");
  EXPECT_EQ(ql_dict_count(), 3);
  EXPECT_EQ(ql_dict_list(kOut), 3);
  EXPECT_EQ(output(), "Unpacked\nnameless\nTest Dictionary\n") << "a nameless one shows its file name";
}

// A slice of the compressed file at `path`, opened for it alone.
std::optional<std::string> dictzip_read(const std::string& path, uint64_t offset, uint32_t size) {
  const auto file = DictzipFile::open(path.c_str());
  return file ? file->read(offset, size) : std::nullopt;
}

TEST(Dictzip, SlicesAcrossChunksMatchThePlainData) {
  TempDir dir;
  std::string data;
  for (int i = 0; data.size() < 5000; ++i) data += std::to_string(i * 7919 % 1000) + ",";
  write_file(dir / "chunked.dz", sdw::gzip_file(data, 256));
  write_file(dir / "whole.dz", sdw::gzip_file(data, 0));
  // 625 chunks: a chunk table longer than the header's first read.
  write_file(dir / "tiny-chunks.dz", sdw::gzip_file(data, 8));
  struct Case {
    uint64_t offset;
    uint32_t size;
  } cases[] = {{0, 10}, {250, 12}, {256, 256}, {200, 700}, {0, uint32_t(data.size())}, {4990, 10}, {1000, 0}};
  for (const char* name : {"chunked.dz", "whole.dz", "tiny-chunks.dz"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(c.offset) + "+" + std::to_string(c.size));
      EXPECT_EQ(dictzip_read(dir / name, c.offset, c.size), data.substr(c.offset, c.size));
    }
    EXPECT_FALSE(dictzip_read(dir / name, data.size() - 5, 6)) << "past the end";
    EXPECT_FALSE(dictzip_read(dir / name, UINT64_MAX - 2, 5)) << "offset wraps";
  }
  EXPECT_FALSE(dictzip_read(dir / "absent.dz", 0, 1));
  write_file(dir / "plain.dz", data);
  EXPECT_FALSE(dictzip_read(dir / "plain.dz", 0, 1)) << "not gzip";
}

// The writer's dictzip files are the dictzip program's, byte for byte (named "test.dict" and dated
// 0 as the writer names and dates them): every chunk ends in a full flush, and the stream's last
// block follows the last chunk, outside the chunk table.
TEST(Dictzip, TheWriterLaysFilesOutAsTheDictzipProgramDoes) {
  constexpr char kDictzip[] = "/usr/bin/dictzip";
  if (access(kDictzip, X_OK) != 0) GTEST_SKIP() << "needs the package dictzip";
  constexpr uint32_t kChunk = 58315;  // the program's own chunk length
  TempDir dir;
  const std::string plain = dir / "test.dict";
  for (size_t size : {size_t{0}, size_t{1}, size_t{kChunk}, size_t{kChunk} + 1, size_t{3} * kChunk + 5}) {
    SCOPED_TRACE(size);
    std::string data;
    for (uint32_t i = 1; data.size() < size; ++i) data += "word" + std::to_string(i * 7919 % 5000) + " ";
    data.resize(size);
    write_file(plain, data);
    const timespec epoch[2] = {{0, 0}, {0, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, plain.c_str(), epoch, 0), 0);
    ASSERT_EQ(run_program(kDictzip, {plain}, {}, 60000).status, 0);
    EXPECT_EQ(read_file(plain + ".dz"), sdw::gzip_file(data, kChunk));
    fs::remove(plain + ".dz");
  }
}

TEST(StardictText, MarkupKeepsLinesAndDecodesReferences) {
  struct Case {
    const char* markup;
    const char* text;
  } cases[] = {
      {"a<br/>b<BR>c", "a\nb\nc"},
      {"<div>one</div><div>two</div>", "one\ntwo\n"},
      {"caf&eacute; &#x263A; &unknown; &amp", "caf\xC3\xA9 \xE2\x98\xBA &unknown; &amp"},
      {"text <unclosed", "text "},
      {"a<STYLE type=\"text/css\">p{}</STYLE>b", "ab"},
      {"a<style>never closed", "a"},
      {"keep\n\nblank lines", "keep\n\nblank lines"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.markup);
    EXPECT_EQ(markup_to_text(c.markup), c.text);
  }
}
}  // namespace
