#include "base/zip_writer.h"

#include <zlib.h>

namespace {
constexpr uint16_t kVersion = 20;
constexpr uint16_t kFlagUtf8Names = 0x0800;
constexpr uint16_t kDate1980 = 0x0021;  // 1 January 1980, time 0
constexpr uint64_t kMaxOffset = 0xFFFFFFFF;

void put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8 & 0xFF);
}
void put32(std::string& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

uint32_t crc_of(std::string_view data) {
  uLong crc = crc32(0, nullptr, 0);
  // zlib takes at most 4 GiB a call; members are below that.
  return static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}
}  // namespace

bool ZipWriter::write(std::string_view bytes) {
  if (failed_) return false;
  if (fwrite(bytes.data(), 1, bytes.size(), out_) != bytes.size()) failed_ = true;
  offset_ += bytes.size();
  return !failed_;
}

bool ZipWriter::add(std::string_view name, std::string_view data) {
  if (failed_) return false;
  // The member's header and data must start and end where 32-bit offsets reach, and the count
  // must stay within 16 bits, or the archive would read back wrong.
  const uint64_t header_size = 30 + name.size();
  if (entries_ >= kZipMaxEntries || data.size() > kZipMaxStoredMember || name.size() > 0xFFFF ||
      offset_ > kMaxOffset || header_size + data.size() > kMaxOffset - offset_) {
    failed_ = true;
    return false;
  }
  const uint32_t crc = crc_of(data);
  const auto size = static_cast<uint32_t>(data.size());
  auto common = [&](std::string& h) {
    put16(h, kVersion);
    put16(h, kFlagUtf8Names);
    put16(h, 0);  // stored
    put16(h, 0);  // time
    put16(h, kDate1980);
    put32(h, crc);
    put32(h, size);
    put32(h, size);
    put16(h, static_cast<uint32_t>(name.size()));
    put16(h, 0);  // extra length
  };
  std::string local;
  put32(local, 0x04034b50);
  common(local);
  local.append(name);

  put32(directory_, 0x02014b50);
  put16(directory_, kVersion);  // made by
  common(directory_);
  put16(directory_, 0);  // comment length
  put16(directory_, 0);  // disk number
  put16(directory_, 0);  // internal attributes
  put32(directory_, 0);  // external attributes
  put32(directory_, static_cast<uint32_t>(offset_));
  directory_.append(name);
  entries_++;
  return write(local) && write(data);
}

bool ZipWriter::finish() {
  if (failed_ || offset_ > kMaxOffset || directory_.size() > kMaxOffset - offset_) {
    failed_ = true;
    return false;
  }
  std::string end;
  put32(end, 0x06054b50);
  put16(end, 0);
  put16(end, 0);
  put16(end, entries_);
  put16(end, entries_);
  put32(end, static_cast<uint32_t>(directory_.size()));
  put32(end, static_cast<uint32_t>(offset_));
  put16(end, 0);
  return write(directory_) && write(end);
}
