// The hub's own small pages (Appearance, the reading defaults, Vocabulary, Language & dictionaries,
// Audiobooks) and what they share.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/ui/ui_list_menu.h"

void appearance_page();
void reading_defaults_page();
void vocabulary_page();
void language_page();
void audiobooks_page();

// A list of choices under `title`; the chosen index, or none for back.
inline std::optional<size_t> settings_choose(std::string_view title,
                                             std::span<const std::string_view> rows) {
  return ui_list_menu(title.data(), title.size(), rows);
}
inline std::optional<size_t> settings_choose(std::string_view title,
                                             const std::vector<std::string>& rows) {
  const std::vector<std::string_view> views(rows.begin(), rows.end());
  return settings_choose(title, views);
}

// "Page refresh: never" (0 or less), or "Page refresh: every N pages" (N = 1 included).
std::string refresh_row_text(int32_t interval);

// The looked-up words of the vocabulary file's last lines, newest first, each once.
std::vector<std::string> vocabulary_words();
