#include "app/ui/cover_jobs.h"

#include <cstring>

#include "app/ui/app_state.h"

bool cover_job_queue(const char* path, size_t path_length, uint32_t kind, int x, int y, uint32_t w,
                     uint32_t h) {
  if (app.covers.count >= kMaxCoverJobs || path_length >= kCoverJobPathSize) return false;
  CoverJob& job = app.covers.jobs[app.covers.count];
  job.kind = kind;
  job.x = x;
  job.y = y;
  job.w = w;
  job.h = h;
  memcpy(job.path, path, path_length);
  job.path[path_length] = '\0';
  ++app.covers.count;
  return true;
}

void cover_jobs_clear() { app.covers.count = 0; }
