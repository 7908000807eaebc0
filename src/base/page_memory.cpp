#include "base/page_memory.h"

#include <sys/mman.h>
#include <utility>

namespace {
constexpr size_t kPageBytes = 16384;        // small buffers: whole 16 KiB pages
constexpr size_t kHugePageBytes = 2u << 20;  // the x86-64 and arm64 huge page
constexpr size_t kHugeFrom = 1u << 20;       // smaller buffers would waste most of a huge page

size_t round_up(size_t bytes, size_t unit) { return (bytes + unit - 1) / unit * unit; }

void* map(size_t length) {
  void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

// `length` bytes starting on a huge page boundary: a mapping a huge page longer, trimmed at both
// ends. Null when there is no room.
uint8_t* map_aligned(size_t length) {
  auto* raw = static_cast<uint8_t*>(map(length + kHugePageBytes));
  if (!raw) return nullptr;
  const uintptr_t start = round_up(reinterpret_cast<uintptr_t>(raw), kHugePageBytes);
  auto* aligned = reinterpret_cast<uint8_t*>(start);
  const size_t head = static_cast<size_t>(aligned - raw);
  if (head) munmap(raw, head);
  munmap(aligned + length, kHugePageBytes - head);
  return aligned;
}
}  // namespace

PageMemory::PageMemory(size_t bytes) {
  if (bytes == 0) return;
  if (bytes >= kHugeFrom) {
    mapped_ = round_up(bytes, kHugePageBytes);
    data_ = map_aligned(mapped_);
    // A system without them (or with them switched off) says no, and small pages serve.
    if (data_) madvise(data_, mapped_, MADV_HUGEPAGE);
  } else {
    mapped_ = round_up(bytes, kPageBytes);
    data_ = static_cast<uint8_t*>(map(mapped_));
  }
  if (data_) size_ = bytes;
}

PageMemory::~PageMemory() {
  if (data_) munmap(data_, mapped_);
}

PageMemory::PageMemory(PageMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

PageMemory& PageMemory::operator=(PageMemory&& other) noexcept {
  if (this != &other) {
    if (data_) munmap(data_, mapped_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}
