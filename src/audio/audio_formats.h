// The one list of audio file extensions: the library lists these files, the player opens them
// and the engine follows on only to parts that carry one of them.
#pragma once
#include <array>
#include <cstddef>
#include <string_view>

inline constexpr std::array<std::string_view, 9> kAudioExtensions = {
    ".mp3", ".m4b", ".m4a", ".ogg", ".oga", ".opus", ".flac", ".wav", ".aac"};

// True when `name` ends in one of kAudioExtensions, compared without regard to ASCII case.
constexpr bool is_audio_extension(std::string_view name) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::string_view ext : kAudioExtensions) {
    if (name.size() < ext.size()) continue;
    std::string_view tail = name.substr(name.size() - ext.size());
    bool same = true;
    for (size_t i = 0; i < ext.size() && same; i++) same = lower(tail[i]) == ext[i];
    if (same) return true;
  }
  return false;
}
