// The converter's entry: a book of a converted kind becomes an EPUB in the conversion folder once
// per version of its file, named by the ConvertedBookKey.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>

#include "base/paths.h"
#include "book/convert/convert.h"
#include "book/convert/convert_model.h"

namespace {
constexpr uint64_t kKeyStart = 0x14650FB0739D0383ull;
constexpr uint64_t kKeyPrime = 0x100000001b3ull;
// The generation of the converted files: a book converted under an older one is converted again
// (5: chapters cut for size close their open elements and open them again).
constexpr std::string_view kSchemeSuffix = "-5.epub";
constexpr off_t kMinConvertedSize = 101;  // smaller files are leftovers of a failed write
constexpr uint64_t kTextLimit = 64ull << 20;
constexpr uint64_t kFb2Limit = 128ull << 20;
constexpr uint64_t kMobiLimit = 629145600;
constexpr size_t kErrorSize = 200;

char g_error[kErrorSize];

void set_error(std::string_view text) {
  snprintf(g_error, sizeof g_error, "%.*s", static_cast<int>(text.size()), text.data());
}

// Leftovers of earlier key schemes and part files of failed writes; hidden files stay.
void clean_folder() {
  DirPtr dir(qlp_opendir(kConvertedFolder));
  if (!dir) return;
  while (dirent* e = readdir(dir.get())) {
    std::string_view name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (name.size() >= kSchemeSuffix.size() && name.substr(name.size() - kSchemeSuffix.size()) == kSchemeSuffix) {
      continue;
    }
    qlp_remove((std::string(kConvertedFolder) + "/" + std::string(name)).c_str());
  }
}

struct Reader {
  uint64_t limit;
  const char* unreadable;
  std::optional<std::string> (*read)(std::string_view, std::string_view, ConvBook&);
};

Reader reader_for(ConvKind kind) {
  switch (kind) {
    case ConvKind::text: return {kTextLimit, "This text file could not be read", text_read};
    case ConvKind::fb2: return {kFb2Limit, "This FB2 file could not be read", fb2_read};
    default: return {kMobiLimit, "This book could not be read", mobi_read};
  }
}

// Reads and writes the book; the message of the step that failed, or nothing.
std::optional<std::string> convert_to(const char* path, ConvKind kind, const std::string& out) {
  const Reader reader = reader_for(kind);
  std::optional<std::string> file = slurp_file(path, reader.limit);
  if (!file) return std::string(reader.unreadable);
  ConvBook book;
  if (std::optional<std::string> failure = reader.read(*file, path, book)) return failure;
  file.reset();
  if (!epub_write(book, out)) return std::string("The converted book could not be written");
  return std::nullopt;
}
}  // namespace

uint64_t ConvertedBookKey(std::string_view path, uint64_t size, int64_t mtime) {
  uint64_t h = kKeyStart;
  for (char c : path) {
    h ^= static_cast<unsigned char>(c);
    h *= kKeyPrime;
  }
  h ^= size;
  h *= kKeyPrime;
  h ^= static_cast<uint64_t>(mtime);
  h *= kKeyPrime;
  return h;
}

int ql_convert(const char* path, char* out, size_t size) {
  const ConvKind kind = kind_of(path);
  if (kind == ConvKind::none) return 0;
  g_error[0] = 0;
  struct stat st;
  if (qlp_stat(path, &st) != 0) {
    set_error("The file is not there");
    return -1;
  }
  // The state folder may not exist yet when a tool mode converts before anything else ran.
  for (const char* folder : {"/mnt/us/ql", "/mnt/us/ql/state", kConvertedFolder}) qlp_mkdir(folder, 0755);
  char name[96];
  snprintf(name, sizeof name, "%s/%016" PRIx64 "%.*s", kConvertedFolder,
           ConvertedBookKey(path, static_cast<uint64_t>(st.st_size), static_cast<int64_t>(st.st_mtime)),
           static_cast<int>(kSchemeSuffix.size()), kSchemeSuffix.data());
  if (strlen(name) >= size) {
    set_error("The converted book could not be written");
    return -1;
  }
  struct stat done;
  if (qlp_stat(name, &done) == 0 && done.st_size >= kMinConvertedSize) {
    memcpy(out, name, strlen(name) + 1);
    return 1;
  }
  clean_folder();
  try {
    if (std::optional<std::string> failure = convert_to(path, kind, name)) {
      set_error(*failure);
      return -1;
    }
  } catch (const std::bad_alloc&) {
    // Books are read whole; a huge one ends here instead of taking the program down.
    set_error("Out of memory");
    return -1;
  }
  memcpy(out, name, strlen(name) + 1);
  return 1;
}

const char* ql_convert_error() { return g_error; }
