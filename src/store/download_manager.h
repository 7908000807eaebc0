// The background download manager: one job at a time through /usr/bin/curl on a thread of its own,
// polled by the screens through its state. Archives (".zip") are audiobooks: their recordings are
// unpacked into a folder of the same name.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

enum DownloadState : uint32_t {
  DL_IDLE = 0,
  DL_DOWNLOADING = 1,
  DL_DONE = 2,
  DL_FAILED = 3,
  DL_UNPACKING = 4,
};

constexpr size_t kDownloadUrlMax = 1023;
constexpr char kDocumentsPrefix[] = "/mnt/us/documents/";
constexpr char kStatePrefix[] = "/mnt/us/ql/state/";
// The running job's destination while it runs (the job's own record, removed when it ends).
constexpr char kDownloadJournalPath[] = "/mnt/us/ql/state/download-job.txt";

// True for an https address on one of the hosts downloads may come from (ql/servers.conf).
bool ql_dl_allowed(std::string_view url);
// Starts downloading `url` to the device path `dest` (under the documents or the state folder)
// with `expected` bytes (0 when not known). In the documents folder an existing book is never
// replaced: the job takes the first free name "name (2).ext", "name (3).ext"... 1 started, 0
// refused (a job is running, the address or destination is not allowed, the thread did not start).
int ql_dl_start(const char* url, const char* dest, uint64_t expected);
// The job's state; `done` and `total` (bytes, either may be null) tell its progress.
DownloadState ql_dl_state(uint64_t* done, uint64_t* total);
// Asks a running job to stop; it ends as failed with nothing left behind.
void ql_dl_cancel();
// At quit: a transfer still running is ended, its part file removed, and waited for (a little
// while); a download that has arrived is left to be put in place or unpacked (an unpack the
// program's end cuts short is completed at the next start).
void ql_dl_quit();
// A done or failed job goes back to idle.
void ql_dl_ack();
// The destination of the last job (device path).
std::string ql_dl_dest();
// Whether the last job's archive left a notice of its own among the unpack reports (it did not
// simply unpack whole), which says what became of it: its end needs no other word.
bool ql_dl_noticed();
// At start-up: finishes what a job the program's end interrupted left. Its ".part" file is removed.
// True when an audiobook archive had arrived whole, before its unpack began: the caller unpacks it
// with the other archives lying in the documents folder (one whose unpack began is completed from
// the unpack's own journal).
bool ql_dl_recover();
