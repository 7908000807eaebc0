// Dictionary lookups on arbitrary dictionary files. The first byte picks what the rest is:
//   0: the ".idx" of a dictionary whose other files are sound;
//   1: its ".dict.dz" (a dictzip file, or any gzip file), every indexed slice read;
//   2: its ".ifo";
//   3: one stored definition, turned into text with each type sequence.
// A lookup always leaves an output file that begins as one of its forms, and a slice read from a
// compressed file has exactly the size asked for.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "../tests/support/stardict_writer.h"
#include "book/dict/dictzip.h"
#include "book/dict/stardict.h"
#include "book/dict/stardict_text.h"
#include "fuzz_support.h"

namespace {
constexpr const char* kOut = "/tmp/ql-dict.txt";
constexpr std::string_view kTypeSequences[] = {"", "m", "h", "tm", "Wg", "x"};

const std::vector<sdw::Entry>& entries() {
  static const std::vector<sdw::Entry> e = {
      {"run", "to move fast"}, {"well", "a shaft"}, {"known", "familiar"}};
  return e;
}

const std::string& base() {
  static const std::string b = [] {
    const std::string folder = fuzz::device_root() + "/us/documents/dictionaries";
    mkdir((fuzz::device_root() + "/us/documents").c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    return folder + "/d";
  }();
  return b;
}

// A sound dictionary; `replace` (".idx", ".dict.dz" or ".ifo") then gets the fuzzed bytes.
void write_dictionary(const std::string& replace, const uint8_t* data, size_t size) {
  sdw::Options o;
  o.storage = sdw::Storage::dictzip;
  o.chunk_length = 8;
  sdw::write_dictionary(base(), entries(), o);
  fuzz::write_host_file(base() + replace, data, size);
}

// With its own ".ifo" the dictionary's name starts every block; a fuzzed one may name it anything.
void check_lookup(std::string_view word, bool sound_ifo) {
  ql_dict_lookup(word, kOut);
  FilePtr f(qlp_fopen(kOut, "rb"));
  if (!f) __builtin_trap();
  if (!sound_ifo) return;
  char head[16] = {};
  const size_t n = fread(head, 1, sizeof head, f.get());
  const std::string_view start(head, n);
  if (!start.starts_with("Test Dictionary\n") && !start.starts_with("No definition f") &&
      !start.starts_with("well\nTest Dicti") && !start.starts_with("known\nTest Dict"))
    __builtin_trap();
}

std::string read_host(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_seeds() {
  sdw::Options o;
  o.storage = sdw::Storage::dictzip;
  o.chunk_length = 8;
  sdw::write_dictionary(base(), entries(), o);
  for (auto [pick, ext] : {std::pair{'\0', ".idx"}, {'\1', ".dict.dz"}, {'\2', ".ifo"}}) {
    fuzz::write_seed(std::string("d") + ext, std::string(1, pick) + read_host(base() + ext));
  }
  fuzz::write_seed("typed", std::string("\3mtext\0W\0\0\0\1xh<b>a</b>&amp;", 26));
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t pick = data[0] % 4;
  ++data;
  --size;
  if (pick == 3) {
    const std::string_view stored(reinterpret_cast<const char*>(data), size);
    for (std::string_view types : kTypeSequences) stardict_definition_text(stored, types);
    markup_to_text(stored);
    return 0;
  }
  write_dictionary(pick == 0 ? ".idx" : pick == 1 ? ".dict.dz" : ".ifo", data, size);
  const auto packed = pick == 1 ? DictzipFile::open((base() + ".dict.dz").c_str()) : std::nullopt;
  for (uint64_t offset : {0, 7, 8, 20}) {
    for (uint32_t len : {1u, 9u, 30u}) {
      const auto slice = packed ? packed->read(offset, len) : std::nullopt;
      if (slice && slice->size() != len) __builtin_trap();
    }
  }
  for (std::string_view word : {"run", "running", "well-known", "absent"}) check_lookup(word, pick != 2);
  return 0;
}
