#include "store/servers.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "base/utf8.h"
#include "store/store_catalog.h"

namespace {
constexpr size_t kFileMax = 4096;
constexpr size_t kHostMax = 253;
constexpr std::string_view kHttps = "https://";
constexpr std::string_view kBlanks = " \t\r";

std::string_view trim(std::string_view s) {
  const size_t from = s.find_first_not_of(kBlanks);
  if (from == std::string_view::npos) return {};
  return s.substr(from, s.find_last_not_of(kBlanks) - from + 1);
}

bool is_host_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

// A host name with an optional decimal port; "https://" in front and "/" behind are forgiven, as
// they are what an address copied from a browser carries. Anything else is no host: a value with a
// path, user name or blank would send data somewhere the line does not plainly say.
std::string plain_host(std::string_view value) {
  if (value.starts_with(kHttps)) value.remove_prefix(kHttps.size());
  if (value.ends_with('/')) value.remove_suffix(1);
  const size_t colon = value.find(':');
  const std::string_view name = value.substr(0, colon);
  if (name.empty() || name.size() > kHostMax ||
      !std::all_of(name.begin(), name.end(), is_host_char)) {
    return {};
  }
  if (colon != std::string_view::npos) {
    const std::string_view port = value.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return {};
  }
  return std::string(value);
}

bool same_host(std::string_view a, std::string_view b) {
  return !a.empty() && a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}
}  // namespace

Servers servers_load() {
  Servers servers;
  const std::array<std::pair<std::string_view, std::string*>, 6> keys = {{
      {"store", &servers.store},
      {"payment", &servers.payment},
      {"site", &servers.site},
      {"bug-reports", &servers.bug_reports},
      {"publisher", &servers.publisher},
      {"publisher-downloads", &servers.publisher_downloads},
  }};
  const std::optional<std::string> text = read_file_alloc(kServersPath, kFileMax);
  if (!text) return servers;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = trim(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    const size_t eq = line.find('=');
    if (line.starts_with('#') || eq == std::string_view::npos) continue;
    const std::string_view key = trim(line.substr(0, eq));
    std::string_view value = line.substr(eq + 1);
    value = trim(value.substr(0, value.find('#')));
    for (const auto& [name, field] : keys) {
      if (key == name) *field = plain_host(value);
    }
  }
  return servers;
}

std::string server_address(std::string_view host, std::string_view path) {
  if (host.empty()) return {};
  return std::string(kHttps) + std::string(host) + std::string(path);
}

std::string_view server_host_name(std::string_view host) { return host.substr(0, host.find(':')); }

bool servers_allow_download_host(const Servers& servers, std::string_view host) {
  const std::string_view store = server_host_name(servers.store);
  const std::string www_store = store.empty() ? std::string() : "www." + std::string(store);
  const std::array<std::string_view, 5> allowed = {
      server_host_name(servers.site), store, www_store, server_host_name(servers.publisher),
      server_host_name(servers.publisher_downloads)};
  return std::any_of(allowed.begin(), allowed.end(),
                     [host](std::string_view a) { return same_host(a, host); });
}
