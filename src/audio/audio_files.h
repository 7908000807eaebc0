// The engine's small state files in /mnt/us/ql/state. Files the core reads while the engine
// writes them (status, command, positions) are replaced by a rename so a reader sees either
// the old or the new whole content; the chapter list and the error note are written in place.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/audio_chapters.h"
#include "audio/audio_engine.h"

inline constexpr const char* kAudioStateDir = "/mnt/us/ql/state";
inline constexpr const char* kAudioCmdPath = "/mnt/us/ql/state/audio.cmd";
inline constexpr const char* kAudioCmdTakenPath = "/mnt/us/ql/state/audio.cmd.taken";
inline constexpr const char* kAudioStatusPath = "/mnt/us/ql/state/audio.status";
inline constexpr const char* kAudioErrPath = "/mnt/us/ql/state/audio.err";
inline constexpr const char* kAudioErrPartsPath = "/mnt/us/ql/state/audio.err.parts";
inline constexpr const char* kAudioChaptersPath = "/mnt/us/ql/state/audio.chapters";

// Takes (reads and deletes) a waiting command line, at most 63 bytes.
std::optional<std::string> audio_take_command();
void audio_write_status(const AudioStatus& s);
// Overwrites `audio.err` with `note` ("cannot-decode\n" or "no-output\n") and beside it
// `audio.err.parts` with the parts the note is about (device paths): the part that could not
// be played or had no output, or every part passed over so far in this run of the engine.
void audio_write_error(const char* note, const std::vector<std::string>& parts);
// The parts the error note is about, as long as the note stands (a restart keeps them); none
// for a note without that list, which names no audiobook.
std::vector<std::string> audio_error_parts();
// Removes the error note and its list of parts, as every start of the engine does.
void audio_clear_error();
void audio_write_chapters(const ChapterTable& chapters);

// A "seconds<TAB>text" line, as the chapter list and the bookmarks files hold them. A line
// without a tab is all seconds; seconds that do not parse or are not finite read as 0.
struct SecondsLine {
  double seconds = 0;
  std::string_view text;  // after the first tab; empty without one
};
SecondsLine audio_split_seconds_line(std::string_view line);
std::optional<double> audio_read_position(const std::string& pospath);
// Where a part resumes from (a start asking for a resume): its saved place, unless that is at
// or before the start or within the last 2 s of a part of known `duration`.
std::optional<double> audio_resume_position(std::string_view device_path, double duration);
void audio_write_position(const std::string& pospath, double seconds);
