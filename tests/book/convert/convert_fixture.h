// Converting test books under a private device root, and reading what came out.
#pragma once
#include <string>
#include <sys/stat.h>
#include <vector>

#include "base/paths.h"
#include "book/book_model.h"
#include "book/convert/convert.h"
#include "../book_fixture.h"
#include "support/temp_dir.h"

class ConvertRoot {
 public:
  ConvertRoot() {
    for (const char* sub : {"us", "tmp", "us/ql", "us/ql/state", "us/documents"}) mkdir((dir_ / sub).c_str(), 0755);
    ql_set_root((dir_ / "us").c_str(), (dir_ / "tmp").c_str());
  }
  ~ConvertRoot() { ql_set_root(nullptr, nullptr); }
  ConvertRoot(const ConvertRoot&) = delete;
  ConvertRoot& operator=(const ConvertRoot&) = delete;

  // The device path of a new document holding bytes.
  std::string put(const std::string& name, const std::string& bytes) const {
    write_file(dir_ / ("us/documents/" + name), bytes);
    return "/mnt/us/documents/" + name;
  }
  // The host path of a device path under /mnt/us.
  std::string host(const std::string& device) const { return dir_.path() + "/us" + device.substr(7); }
  std::string conv_folder() const { return dir_ / "us/ql/state/conv"; }

 private:
  TempDir dir_;
};

struct Converted {
  int result = 0;
  std::string path;   // device path of the EPUB
  std::string error;
};

inline Converted convert(const std::string& device_path) {
  Converted c;
  char out[kQlPathMax] = {};
  c.result = ql_convert(device_path.c_str(), out, sizeof out);
  c.path = out;
  c.error = ql_convert_error();
  return c;
}

// The open book's word texts without pictures.
inline std::vector<std::string> text_words() {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < ql_word_count(); i++) {
    if (ql_words()[i].text[0] != kPictureMark) out.emplace_back(ql_words()[i].text);
  }
  return out;
}

inline size_t picture_words() {
  size_t n = 0;
  for (uint64_t i = 0; i < ql_word_count(); i++) n += ql_words()[i].text[0] == kPictureMark;
  return n;
}

inline std::string fixture(const std::string& name) {
  return read_file(std::string(QL_SOURCE_DIR) + "/tests/book/data/" + name);
}

// Splits at white space.
inline std::vector<std::string> split_words(const std::string& text) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isspace(static_cast<unsigned char>(text[i]))) i++;
    size_t end = i;
    while (end < text.size() && !isspace(static_cast<unsigned char>(text[end]))) end++;
    if (end > i) out.push_back(text.substr(i, end - i));
    i = end;
  }
  return out;
}
