// Library covers queued for decoding: the library draws placeholders and the main loop decodes the
// covers one by one between input polls.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint64_t kMaxCoverJobs = 12;
constexpr size_t kCoverJobPathSize = 4096;

struct CoverJob {
  uint32_t kind;  // the book kind handed to cover_get
  int32_t x;      // the card's box on the screen
  int32_t y;
  uint32_t w;
  uint32_t h;
  char path[kCoverJobPathSize];  // the book's path, NUL-terminated
};

// Appends a job to app.covers.jobs; false (nothing queued) when the queue is full or the path does
// not fit. Jobs are never merged: a page drawn twice queues its covers twice.
bool cover_job_queue(const char* path, size_t path_length, uint32_t kind, int x, int y, uint32_t w,
                     uint32_t h);
// Drops every queued job.
void cover_jobs_clear();
