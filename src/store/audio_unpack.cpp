#include "store/audio_unpack.h"

#include <algorithm>
#include <dirent.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "base/atomic_file.h"
#include "book/zip_reader.h"
#include "base/file_kinds.h"
#include "base/paths.h"
#include "base/system_services.h"
#include "base/utf8.h"
#include "store/download_manager.h"
#include "store/download_policy.h"

namespace {
constexpr size_t kOutputNameMax = 299;
constexpr size_t kLeftoverMax = 16;
constexpr int64_t kSpareMb = 1;  // kept free beyond a recording's own size
constexpr double kBytesPerMb = 1e6;

std::string_view last_part(std::string_view name) {
  const size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

// Folder entries, resource forks, hidden files and everything that is not a recording: the
// program never unpacks them, so their staying behind loses nothing it would show.
bool is_recording(std::string_view name) {
  const std::string_view last = last_part(name);
  if (last.empty() || last.front() == '.') return false;
  if (name.find("__MACOSX") != std::string_view::npos) return false;
  return is_audio_extension(last);
}

// A file name safe on every file system the storage may be shared with, cut to its limit before
// the extension (so the recording still reads as one), never inside a character.
std::string output_name(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\\:*?\"<>|/").find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  if (out.size() <= kOutputNameMax) return out;
  const size_t dot = out.rfind('.');
  const std::string ext = out.substr(dot);
  std::string_view stem(out.data(), dot);
  if (ext.size() >= kOutputNameMax) return {};
  return std::string(stem.substr(0, utf8_prefix_length(stem, kOutputNameMax - ext.size()))) + ext;
}

// The folder path every recording shares ("Book/" for Book/CD1/01.mp3 and Book/CD2/01.mp3).
std::string_view common_folder(const std::vector<const ZipMember*>& members) {
  if (members.empty()) return {};
  std::string_view common = members.front()->name;
  common = common.substr(0, common.rfind('/') + 1);
  for (const ZipMember* m : members) {
    while (!common.empty() && !m->name.starts_with(common)) {
      common.remove_suffix(1);
      common = common.substr(0, common.rfind('/') + 1);
    }
  }
  return common;
}

// Recordings are written flat, by their own names. Two recordings of one name in different
// folders (CD1/01.mp3, CD2/01.mp3) would overwrite each other: then every name carries its folders
// ("CD1 - 01.mp3"), which keeps the parts in order.
std::vector<std::string> output_names(const std::vector<const ZipMember*>& members) {
  std::vector<std::string> names;
  std::unordered_map<std::string, int> seen;
  bool clash = false;
  for (const ZipMember* m : members) {
    names.push_back(output_name(last_part(m->name)));
    clash = clash || ++seen[names.back()] > 1;
  }
  if (!clash) return names;
  const size_t skip = common_folder(members).size();
  for (size_t i = 0; i < members.size(); ++i) {
    std::string qualified;
    for (char c : members[i]->name.substr(skip)) {
      if (c == '/') {
        qualified += " - ";
      } else {
        qualified += c;
      }
    }
    names[i] = output_name(qualified);
  }
  // Folder names may still meet ("a - b.mp3" beside "a/b.mp3"): a number keeps them apart.
  std::unordered_map<std::string, int> taken;
  for (std::string& name : names) {
    const int n = ++taken[name];
    if (n == 1 || name.empty()) continue;
    const size_t dot = name.rfind('.');
    name = output_name(name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot));
  }
  return names;
}

// Bytes a recording may take in the folder; nothing when the file system cannot be asked.
std::optional<uint64_t> room_for_recording(const char* folder) {
  int64_t total_mb = 0, free_mb = 0;
  if (ql_disk(folder, &total_mb, &free_mb) != 0) return std::nullopt;
  return free_mb > kSpareMb ? static_cast<uint64_t>((free_mb - kSpareMb) * kBytesPerMb) : 0;
}

// Writes one recording through "<name>.part" and renames it once its CRC-32 matched.
bool write_recording(const ZipArchive& zip, const ZipMember& m, const std::string& folder,
                     const std::string& name, const std::atomic<uint32_t>& cancel) {
  const std::optional<uint64_t> room = room_for_recording(folder.c_str());
  if (room && m.uncompressed > *room) return false;
  const std::string path = folder + "/" + name;
  const std::string part = path + ".part";
  FILE* out = qlp_fopen(part.c_str(), "wb");
  if (!out) return false;
  const ZipStreamStatus status =
      zip_stream_member(zip, m, [out, &cancel](std::span<const uint8_t> block) {
        return !cancel.load() && fwrite(block.data(), 1, block.size(), out) == block.size();
      });
  if (status != ZipStreamStatus::done) {
    fclose(out);
    qlp_remove(part.c_str());
    return false;
  }
  // A part left by a failed rename would never be picked up again.
  if (file_commit(out, part.c_str(), path.c_str())) return true;
  qlp_remove(part.c_str());
  return false;
}
}  // namespace

UnpackResult unzip_audio(const char* zip_path, const char* folder,
                         const std::atomic<uint32_t>& cancel) {
  UnpackResult result;
  ZipArchive zip;
  if (!zipopen_mode(zip, zip_path, 1)) return result;
  const std::vector<ZipMember> members = zip_members(zip);
  // A directory that ends early hides members: the archive must stay.
  result.complete = members.size() == zip.entries();
  std::vector<const ZipMember*> recordings;
  for (const ZipMember& m : members) {
    if (!is_recording(m.name)) continue;
    if (zip_member_path_is_safe(m.name)) {
      recordings.push_back(&m);
    } else {
      result.complete = false;
    }
  }
  const std::vector<std::string> names = output_names(recordings);
  std::vector<std::string> written;
  for (size_t i = 0; i < recordings.size() && !cancel.load(); ++i) {
    if (names[i].empty() || !write_recording(zip, *recordings[i], folder, names[i], cancel)) {
      result.complete = false;
      continue;
    }
    written.push_back(std::string(folder) + "/" + names[i]);
  }
  if (cancel.load()) {
    for (const std::string& path : written) qlp_remove(path.c_str());
    return {0, false};
  }
  result.written = static_cast<int>(written.size());
  return result;
}

int ql_unpack_zips(const char* dir) {
  const DownloadState s = ql_dl_state(nullptr, nullptr);
  if (s == DL_DOWNLOADING || s == DL_UNPACKING || !dir) return 0;
  std::vector<std::string> names;
  if (DirPtr d{qlp_opendir(dir)}) {
    while (dirent* e = readdir(d.get())) {
      const std::string_view name = e->d_name;
      if (name.front() == '.' || name.size() > kOutputNameMax || !is_archive_name(name)) continue;
      names.emplace_back(name);
      if (names.size() == kLeftoverMax) break;
    }
  }
  const std::atomic<uint32_t> never{0};
  int unpacked = 0;
  for (const std::string& name : names) {
    const std::string zip = std::string(dir) + "/" + name;
    const std::string folder = zip.substr(0, zip.size() - 4);
    qlp_mkdir(folder.c_str(), 0755);
    const UnpackResult r = unzip_audio(zip.c_str(), folder.c_str(), never);
    if (r.written > 0 && r.complete) {
      qlp_remove(zip.c_str());
      ++unpacked;
    } else if (r.written == 0) {
      char buf[kQlPathMax];
      rmdir(ql_path(folder.c_str(), buf, sizeof buf));
    }
  }
  return unpacked;
}
