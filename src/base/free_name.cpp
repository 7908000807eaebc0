#include "base/free_name.h"

#include <charconv>

#include "base/utf8.h"

namespace {
constexpr int kLastNumber = 999;

// "Name (N)" as "Name" and N (2 to 999, written as names are numbered here); any other stem as
// itself and 1.
std::pair<std::string_view, int> numbered_stem(std::string_view stem) {
  if (!stem.ends_with(')')) return {stem, 1};
  const size_t open = stem.rfind(" (");
  if (open == std::string_view::npos || open == 0) return {stem, 1};
  const std::string_view digits = stem.substr(open + 2, stem.size() - open - 3);
  int n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  const bool numbered = !digits.empty() && digits.front() != '0' && ec == std::errc() &&
                        end == digits.data() + digits.size() && n >= 2 && n <= kLastNumber;
  return numbered ? std::pair{stem.substr(0, open), n} : std::pair{stem, 1};
}
}  // namespace

std::pair<std::string_view, std::string_view> split_extension(std::string_view name, bool folder) {
  const size_t dot = folder ? std::string_view::npos : name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {name, {}};
  return {name.substr(0, dot), name.substr(dot)};
}

std::string fit_name(std::string_view stem, std::string_view ext, size_t max_bytes) {
  if (ext.size() >= max_bytes) return {};
  const size_t keep = utf8_prefix_length(stem, max_bytes - ext.size());
  if (keep == 0 && !stem.empty()) return {};
  return std::string(stem.substr(0, keep)) + std::string(ext);
}

std::string free_name(std::string_view stem, std::string_view ext, size_t max_bytes,
                      const std::function<bool(const std::string&)>& taken) {
  // A name that already carries a number goes on from it: "Name (2)" taken gives "Name (3)",
  // never "Name (2) (2)".
  const auto [base, first] = numbered_stem(stem);
  for (int n = first; n <= kLastNumber; ++n) {
    // The number stays whole after a cut stem, so "(2)" and "(3)" never meet.
    const std::string number = n == 1 ? "" : " (" + std::to_string(n) + ")";
    if (number.size() + ext.size() >= max_bytes) return {};
    std::string name = fit_name(base, number + std::string(ext), max_bytes);
    if (name.empty()) return {};
    if (!taken(name)) return name;
  }
  return {};
}
