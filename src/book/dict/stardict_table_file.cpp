#include "book/dict/stardict_table_file.h"

#include <set>

#include "base/atomic_file.h"
#include "base/byte_reader.h"
#include "base/file_copy.h"
#include "base/paths.h"
#include "base/wyhash.h"
#include "book/annotations.h"

// The kept form, little-endian: the magic; the index's size, modification and change times;
// offsets64 and in-order flags; the index path's length and bytes; where the last whole entry
// ends; the sample count and the headword bytes' length; each sample's place in the index, its
// headword's place and length; the headwords; and a hash of everything before it.
namespace {
constexpr std::string_view kMagic = "QLSDTBL1";
constexpr size_t kSampleBytes = 16;
constexpr size_t kChecksumBytes = 8;
constexpr char kTableSuffix[] = ".tbl";

std::string tables_folder() { return state_folder() + "/dict"; }

std::string table_path(std::string_view idx_path) {
  return tables_folder() + "/" + cache_key_hex(CacheKey(idx_path)) + kTableSuffix;
}

void put_le(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i) & 0xFF);
}
}  // namespace

std::string StardictIndex::kept_form(std::string_view idx_path, const DictFile::Stamp& stamp) const {
  std::string out(kMagic);
  put_le(out, stamp.size, 8);
  put_le(out, static_cast<uint64_t>(stamp.mtime_ns), 8);
  put_le(out, static_cast<uint64_t>(stamp.ctime_ns), 8);
  put_le(out, offsets64_, 1);
  put_le(out, in_order_, 1);
  put_le(out, idx_path.size(), 2);
  out.append(idx_path);
  put_le(out, end_, 8);
  put_le(out, samples_.size(), 4);
  put_le(out, words_.size(), 4);
  for (const Sample& s : samples_) {
    put_le(out, s.at, 8);
    put_le(out, s.word_at, 4);
    put_le(out, s.word_size, 4);
  }
  out.append(words_);
  put_le(out, wyhash(out.data(), out.size(), 0), 8);
  return out;
}

std::optional<StardictIndex> StardictIndex::from_kept_form(std::string_view bytes, std::string_view idx_path,
                                                           const DictFile& file, bool offsets64) {
  if (bytes.size() < kChecksumBytes) return std::nullopt;
  const std::string_view body = bytes.substr(0, bytes.size() - kChecksumBytes);
  ByteReader r(bytes);
  if (r.text(kMagic.size()) != kMagic) return std::nullopt;
  // The index's inode is left out: it changes when a memory card is mounted again.
  const DictFile::Stamp stamp = file.stamp();
  if (r.u64le() != stamp.size || r.u64le() != static_cast<uint64_t>(stamp.mtime_ns) ||
      r.u64le() != static_cast<uint64_t>(stamp.ctime_ns) || r.u8() != offsets64) {
    return std::nullopt;
  }
  StardictIndex index(offsets64);
  index.in_order_ = r.u8() == 1;
  if (r.text(r.u16le()) != idx_path) return std::nullopt;
  index.end_ = r.u64le();
  const uint64_t count = r.u32le();
  const uint64_t words_size = r.u32le();
  if (r.failed() || count > r.remaining() / kSampleBytes || index.end_ > file.size()) return std::nullopt;
  if (r.pos() + count * kSampleBytes + words_size != body.size()) return std::nullopt;
  if (ByteReader(bytes).u64le_at(body.size()) != wyhash(body.data(), body.size(), 0)) return std::nullopt;
  index.samples_.resize(static_cast<size_t>(count));
  for (Sample& s : index.samples_) {
    s = {r.u64le(), r.u32le(), r.u32le()};
    if (uint64_t{s.word_at} + s.word_size > words_size || s.at >= index.end_) return std::nullopt;
  }
  index.words_ = r.text(static_cast<size_t>(words_size));
  if (r.failed() || !index.agrees_with(file)) return std::nullopt;
  return index;
}

std::optional<StardictIndex> read_kept_table(const char* idx_path, const DictFile& file, bool offsets64) {
  if (file.size() < kKeptTableIndexMin) return std::nullopt;
  const auto kept = DictFile::open(table_path(idx_path).c_str());
  if (!kept || kept->size() > kDictTablesHeldMax) return std::nullopt;
  const auto bytes = kept->read_at(0, kept->size());
  if (!bytes) return std::nullopt;
  return StardictIndex::from_kept_form(*bytes, idx_path, file, offsets64);
}

void keep_table(const char* idx_path, const DictFile& file, const StardictIndex& index) {
  if (file.size() < kKeptTableIndexMin || index.held_bytes() > kDictTablesHeldMax) return;
  const std::string bytes = index.kept_form(idx_path, file.stamp());
  char folder[kQlPathMax];
  if (!make_folders(ql_path(tables_folder().c_str(), folder, sizeof folder))) return;
  const std::string path = table_path(idx_path);
  char tmp[kTmpPathSize];
  path_with_tmp_suffix(tmp, path.c_str());
  FILE* f = file_create_new(tmp);
  if (!f) return;
  fwrite(bytes.data(), 1, bytes.size(), f);
  // Not synced: a table lost or cut by a crash fails its checks and is built again.
  file_commit_unsynced(f, tmp, path.c_str());
}

void forget_kept_tables_except(std::span<const std::string> idx_paths) {
  std::set<std::string, std::less<>> wanted;
  for (const std::string& p : idx_paths) wanted.insert(cache_key_hex(CacheKey(p)) + kTableSuffix);
  const std::string folder = tables_folder();
  DirPtr dir(qlp_opendir(folder.c_str()));
  if (!dir) return;
  while (const dirent* e = readdir(dir.get())) {
    // A ".tmp" is left to the start's tidy: here it may be another program's write in progress.
    const std::string_view name(e->d_name);
    if (name.ends_with(kTableSuffix) && !wanted.contains(name)) {
      qlp_unlink((folder + "/" + std::string(name)).c_str());
    }
  }
}
