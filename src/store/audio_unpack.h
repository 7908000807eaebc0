// Unpacking audiobook archives: the recordings of a ZIP written flat into a folder of the
// archive's name, each checked against its CRC-32. Used by the download job and for archives
// dropped into the documents folder.
//
// An archive is unpacked into a hidden folder beside it, ".unpacking", under a journal,
// ".unpacking.job", that names the archive and the folder it becomes; only a whole unpack is
// renamed into view. So the library never lists an audiobook that is still coming out, and a
// crash at any moment leaves either the archive or its folder, which the next start completes.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Told after each recording: the archive's file name, recordings handled so far and in all.
using UnpackProgress = std::function<void(std::string_view archive, size_t done, size_t total)>;

struct UnpackResult {
  int written = 0;                    // recordings now in the folder
  bool complete = false;              // every recording was unpacked
  bool unreadable = false;            // the archive could not be opened as a ZIP
  bool no_room = false;               // nothing written: the recordings need more than is free
  uint64_t needed = 0;                // bytes they need, with the reserve kept free
  uint64_t available = 0;             // bytes free where they go
  std::vector<std::string> skipped;   // recordings that could not be written (member names)
  std::vector<std::string> others;    // members that are no recording (a booklet, a cover, a link)
};
// Writes the recordings of the archive `zip` into the folder `folder` (both device paths; the
// folder exists), first checking that they fit in the free space. Stops when `cancel` becomes
// non-zero; an unpack that stops early removes the files it wrote. A recording that could not be
// written whole (damaged, unsupported) is skipped and leaves `complete` false. Members that are
// no recording are not written but named in `others`; folder entries and the resource forks an
// archiver adds (under "__MACOSX/", or named "._*") are nobody's files and are not named.
UnpackResult unzip_audio(const char* zip, const char* folder, const std::atomic<uint32_t>& cancel,
                         const UnpackProgress& progress = {});

enum class ArchiveOutcome {
  unpacked,     // every recording came out and nothing else was in it; the archive is gone
  with_others,  // every recording came out; the archive, holding more, is kept inside the folder
  partly,       // some came out; the archive is kept inside the new folder
  no_audio,     // it holds no recording
  no_room,      // the recordings do not fit; nothing was written
  failed,       // no recording could be written
  cancelled,    // stopped; nothing was written
};

struct ArchiveReport {
  std::string archive;          // the archive's file name
  std::string folder;           // the folder's name, when recordings came out
  ArchiveOutcome outcome = ArchiveOutcome::failed;
  bool archive_kept = true;     // the archive still lies beside the folder or inside it
  UnpackResult result;
};

// Unpacks the archive `name` in the folder `dir` (device path) into a new folder of its name
// ("Poems", or "Poems (2)" when that is taken). The archive goes when every recording came out and
// it held nothing else; otherwise, when some came out, it is kept inside the new folder, so a
// booklet or a cover beside the recordings is never lost. `from_download` throws away a cancelled
// archive and one that holds nothing at all but folders (what was fetched is of no use);
// otherwise it stays.
ArchiveReport unpack_archive(const std::string& dir, const std::string& name,
                             const std::atomic<uint32_t>& cancel, const UnpackProgress& progress,
                             bool from_download);

// Unpacks up to 16 archives lying in `dir` (device path), after finishing one a crash cut short.
// An archive that could not be unpacked is not tried again in this run unless it changes (one
// that did not fit is, since room may have been made). Refused (0) while a download runs. The
// number of archives whose every recording came out.
int ql_unpack_zips(const char* dir, const UnpackProgress& progress = {});

// Completes an unpack in `dir` that a crash cut short: the archive is unpacked again, or, when its
// folder was already in place, put away as it would have been.
void ql_unpack_resume(const char* dir, const UnpackProgress& progress = {});

// Reports of archives that were not simply unpacked whole, since this was last called (any
// thread may add to them).
std::vector<ArchiveReport> unpack_take_reports();
// What the reader is told about a report; empty when there is nothing to tell.
std::string unpack_notice(const ArchiveReport& report);
