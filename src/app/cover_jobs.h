// Library covers queued for decoding: the library draws placeholders and the main loop decodes the
// covers one by one between input polls.
#pragma once
#include <cstdint>

constexpr uint64_t kMaxCoverJobs = 12;

struct CoverJob {
  uint32_t kind;  // the book kind handed to cover_get
  int32_t x;      // the card's box on the screen
  int32_t y;
  uint32_t w;
  uint32_t h;
  char path[4096];  // the book's path, NUL-terminated
};
