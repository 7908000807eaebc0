#include "base/free_name.h"

#include "base/utf8.h"

namespace {
constexpr int kLastNumber = 999;
}

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
  for (int n = 1; n <= kLastNumber; ++n) {
    // The number stays whole after a cut stem, so "(2)" and "(3)" never meet.
    const std::string number = n == 1 ? "" : " (" + std::to_string(n) + ")";
    if (number.size() + ext.size() >= max_bytes) return {};
    std::string name = fit_name(stem, number + std::string(ext), max_bytes);
    if (name.empty()) return {};
    if (!taken(name)) return name;
  }
  return {};
}
