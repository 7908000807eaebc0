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
  uint32_t keep_top;  // rows at the top of the box drawn over the card (a band), left alone
  char path[kCoverJobPathSize];  // the book's path, NUL-terminated
};

// Appends a job to app.covers.jobs; false (nothing queued) when the queue is full or the path does
// not fit. Jobs are never merged: a page drawn twice queues its covers twice.
bool cover_job_queue(const char* path, size_t path_length, uint32_t kind, int x, int y, uint32_t w,
                     uint32_t h);
// Marks the top `rows` rows of the box at (x, y) as drawn over by the caller after the card, for
// every job queued for that box: the decoded cover goes in below them.
void cover_jobs_keep_top(int x, int y, uint32_t rows);
// Draws a decoded cover (w x h grey bytes of the job's box) into the frame with its picture mask
// and frame line, leaving the job's kept rows as they were drawn.
void cover_job_draw(const CoverJob& job, const uint8_t* cover);
// Drops every queued job.
void cover_jobs_clear();
