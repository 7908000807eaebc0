#include "app/ui/cover_jobs.h"

#include <cstring>

#include "app/ui/app_state.h"
#include "display/framebuffer.h"

bool cover_job_queue(const char* path, size_t path_length, uint32_t kind, int x, int y, uint32_t w,
                     uint32_t h) {
  if (app.covers.count >= kMaxCoverJobs || path_length >= kCoverJobPathSize) return false;
  CoverJob& job = app.covers.jobs[app.covers.count];
  job.kind = kind;
  job.x = x;
  job.y = y;
  job.w = w;
  job.h = h;
  job.keep_top = 0;
  memcpy(job.path, path, path_length);
  job.path[path_length] = '\0';
  ++app.covers.count;
  return true;
}

void cover_jobs_keep_top(int x, int y, uint32_t rows) {
  for (uint64_t i = 0; i < app.covers.count && i < kMaxCoverJobs; ++i) {
    CoverJob& job = app.covers.jobs[i];
    if (job.x == x && job.y == y && rows > job.keep_top) job.keep_top = rows;
  }
}

void cover_job_draw(const CoverJob& job, const uint8_t* cover) {
  if (job.keep_top >= job.h) return;
  const int w = static_cast<int>(job.w), keep = static_cast<int>(job.keep_top);
  const int h = static_cast<int>(job.h) - keep, y = job.y + keep;
  ql_blit(cover + size_t{job.w} * job.keep_top, w, h, job.x, y);
  ql_mark(job.x, y, w, h, MASK_PICTURE);
  // Without kept rows this is the card's whole frame; with them the top line falls on the last
  // kept row, which the band drew over the card's frame already.
  ql_frame(job.x, keep > 0 ? y - 1 : y, w, keep > 0 ? h + 1 : h, 1);
}

void cover_jobs_clear() { app.covers.count = 0; }
