// Reading a slice of a gzip-compressed dictionary file (".dict.dz"). A dictzip file carries a
// table of independently compressed chunks in its gzip header, so a slice costs the one or two
// chunks that hold it; a plain gzip file without that table is inflated from its start up to the
// slice, within a cap.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

// The most a slice may hold, and how far into a file without a chunk table a slice may lie.
constexpr uint32_t kDictSliceMax = 0x400000 - 1;
constexpr uint64_t kDictWholeStreamMax = 0x10000000;

// `size` bytes at uncompressed `offset` of the file at a device path; nothing when the file is
// missing or damaged, or the slice does not lie inside its data or past the caps.
std::optional<std::string> dictzip_read(const char* path, uint64_t offset, uint32_t size);
