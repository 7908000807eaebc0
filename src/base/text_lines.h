// Reading the non-blank lines of a small text file, or of its last bytes (for log excerpts).
#pragma once
#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string_view>

constexpr size_t kTextLineSize = 160;
using TextLine = std::array<char, kTextLineSize>;

// What becomes of a line longer than 159 bytes: its pieces each kept as a line, or only its first
// piece, cut before a character that crosses the limit (a file whose every line is one entry).
enum class LongLines { Pieces, Cut };

// Reads the lines of `path` (a device path) into `lines`, one per buffer, and gives each kept line
// as a view of its buffer in `spans`. A line longer than 159 bytes arrives as `long_lines` says.
// Trailing newline, carriage return and space characters are stripped and lines left empty are
// skipped. With `tail_bytes` non-zero only whole lines that begin within the file's last
// `tail_bytes` bytes are read. Stops after min(lines, spans) lines; 0 when unreadable.
size_t text_read_lines(const char* path, std::span<TextLine> lines,
                       std::span<std::string_view> spans, long tail_bytes,
                       LongLines long_lines = LongLines::Pieces);

// The same lines, but the last ones: reads to the end and keeps the last min(lines, spans) lines,
// oldest first.
size_t text_read_last_lines(const char* path, std::span<TextLine> lines,
                            std::span<std::string_view> spans, long tail_bytes,
                            LongLines long_lines = LongLines::Pieces);

// Calls `each` with every line of `path` (a device path), whatever its length, without its final
// newline, until `each` returns false. False when the file cannot be opened.
bool text_each_line(const char* path, const std::function<bool(std::string_view)>& each);

// The length of `s` without its trailing newline, carriage return and space characters.
size_t trimmed_length(std::string_view s);
