// Memory for the frame-sized buffers (the framebuffer and its mask, the presented frame, pages
// kept off screen): whole pages from the kernel, zeroed, returned when done. A buffer of a MiB or
// more lies on 2 MiB boundaries and is offered transparent huge pages, where the system gives
// them: touching it first then costs a fault or two instead of some 400, which was most of what a
// start and the first page turns paid for these buffers.
#pragma once
#include <cstddef>
#include <cstdint>

class PageMemory {
 public:
  PageMemory() = default;
  // `bytes` of zeroed memory; empty (false) when the system has none to give.
  explicit PageMemory(size_t bytes);
  ~PageMemory();
  PageMemory(PageMemory&& other) noexcept;
  PageMemory& operator=(PageMemory&& other) noexcept;
  PageMemory(const PageMemory&) = delete;
  PageMemory& operator=(const PageMemory&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }  // the bytes asked for
  explicit operator bool() const { return data_ != nullptr; }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t mapped_ = 0;  // the length of the mapping at data_
};
