// Packs a book's source folder into an EPUB: "mimetype" first and stored, as readers expect to
// find it at a fixed offset, then every other file deflated in path order (so a build gives the
// same bytes every time). Usage: pack_epub <folder> <out.epub>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/support/zip_writer.h"

namespace fs = std::filesystem;

namespace {

bool read_whole(const fs::path& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return !in.bad();
}

int fail(const std::string& message) {
  fprintf(stderr, "pack_epub: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return fail("usage: pack_epub <folder> <out.epub>");
  const fs::path folder = argv[1];
  const fs::path out = argv[2];
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file()) names.push_back(it->path().lexically_relative(folder).generic_string());
  }
  if (ec) return fail("cannot read " + folder.string());
  std::sort(names.begin(), names.end());
  auto mimetype = std::find(names.begin(), names.end(), "mimetype");
  if (mimetype == names.end()) return fail(folder.string() + " has no mimetype file");
  std::rotate(names.begin(), mimetype, mimetype + 1);

  std::vector<zipw::Member> members;
  for (const std::string& name : names) {
    std::string data;
    if (!read_whole(folder / name, data)) return fail("cannot read " + (folder / name).string());
    members.emplace_back(name, std::move(data), name == "mimetype" ? zipw::kStored : zipw::kDeflated);
  }
  const std::string archive = zipw::build(members);
  const fs::path tmp = out.string() + ".tmp";
  {
    std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
    o.write(archive.data(), static_cast<std::streamsize>(archive.size()));
    if (!o.flush()) return fail("cannot write " + tmp.string());
  }
  fs::rename(tmp, out, ec);
  if (ec) return fail("cannot write " + out.string());
  return 0;
}
