// Test audio made with the system's ffmpeg, and ffmpeg/ffprobe as the independent oracles for
// decoded samples and chapters.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Runs a shell command; true when it exits with status 0.
bool run_command(const std::string& cmd);
// The standard output of a shell command.
std::string capture_command(const std::string& cmd);

// Encodes `seconds` of a test signal (a chirp in each channel, the two different) into `path`;
// the container and codec follow from `codec_args` and the extension. `extra` goes before the
// output (metadata, chapters). True on success.
bool make_test_audio(const std::string& path, double seconds, int rate, int channels,
                     const std::string& codec_args, const std::string& extra = "");

// Decodes a file with ffmpeg into interleaved 16-bit samples of `channels` channels.
// `decoder` picks a decoder by name ("" for ffmpeg's choice).
std::vector<int16_t> ffmpeg_decode(const std::string& path, int channels,
                                   const std::string& decoder = "");

struct ProbedChapter {
  double start;
  std::string title;
};
std::vector<ProbedChapter> ffprobe_chapters(const std::string& path);
