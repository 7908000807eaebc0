// A device folder with documents/dictionaries and its /tmp for dictionary tests, with the
// lookup's output read back.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/paths.h"
#include "book/dict/stardict.h"
#include "support/stardict_writer.h"
#include "support/temp_dir.h"

constexpr char kDictOut[] = "/tmp/ql-dict.txt";

class Dictionaries : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_ / "us/documents/dictionaries");
    std::filesystem::create_directories(dir_ / "tmp");
    ql_set_root((dir_ / "us").c_str(), (dir_ / "tmp").c_str());
  }
  void TearDown() override { ql_set_root(nullptr, nullptr); }

  std::string base(const std::string& name) const { return dir_ / ("us/documents/dictionaries/" + name); }
  // Empties the dictionaries folder, for the next case of a table.
  void empty_folder() const {
    std::filesystem::remove_all(base(""));
    std::filesystem::create_directories(base(""));
  }
  void add(const std::string& name, const std::vector<sdw::Entry>& entries, const sdw::Options& o = {}) {
    sdw::write_dictionary(base(name), entries, o);
  }
  std::string output() const { return read_file(dir_ / "tmp/ql-dict.txt"); }
  // The output of one lookup, with the number of definitions it reports.
  std::string lookup(std::string_view word, int* count = nullptr) {
    const int n = ql_dict_lookup(word, kDictOut);
    if (count) *count = n;
    return output();
  }

  TempDir dir_;
};
