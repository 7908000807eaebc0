#include "store/servers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "base/utf8.h"
#include "store/store_catalog.h"

namespace {
// Six host lines and their notes: a file larger than this is not a servers file.
constexpr size_t kFileMax = 64 * 1024;
constexpr size_t kHostMax = 253;
constexpr size_t kLabelMax = 63;
constexpr unsigned kPortMax = 65535;
constexpr std::string_view kHttps = "https://";
constexpr std::string_view kBlanks = " \t\r";
// Editors that write a byte-order mark put it before the first key.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trim(std::string_view s) {
  const size_t from = s.find_first_not_of(kBlanks);
  if (from == std::string_view::npos) return {};
  return s.substr(from, s.find_last_not_of(kBlanks) - from + 1);
}

bool is_label_char(char c) { return ascii_alnum(c) || c == '-'; }

// Dot-separated labels of letters, digits and inner hyphens, none empty ("..", "a.", ".a"), none
// over 63 bytes, the whole within 253: what a name server would answer for.
bool is_host_name(std::string_view name) {
  if (name.empty() || name.size() > kHostMax) return false;
  for (size_t from = 0;;) {
    const size_t dot = name.find('.', from);
    const std::string_view label = name.substr(from, dot - from);
    if (label.empty() || label.size() > kLabelMax || label.front() == '-' || label.back() == '-' ||
        !std::all_of(label.begin(), label.end(), is_label_char)) {
      return false;
    }
    if (dot == std::string_view::npos) return true;
    from = dot + 1;
  }
}

// 1 to 65535 in decimal, as an address writes it (no sign, no leading zero).
bool is_port(std::string_view port) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  // from_chars takes digits only: no sign, no blank.
  return !port.empty() && port.front() != '0' && ec == std::errc() && end == port.data() + port.size() &&
         value <= kPortMax;
}

// A host name with an optional port; "https://" in front and "/" behind are forgiven, as they are
// what an address copied from a browser carries. Anything else is no host: a value with a path,
// user name or blank would send data somewhere the line does not plainly say.
std::string plain_host(std::string_view value) {
  if (value.starts_with(kHttps)) value.remove_prefix(kHttps.size());
  if (value.ends_with('/')) value.remove_suffix(1);
  const size_t colon = value.find(':');
  if (!is_host_name(value.substr(0, colon))) return {};
  if (colon != std::string_view::npos && !is_port(value.substr(colon + 1))) return {};
  return std::string(value);
}

bool same_host(std::string_view a, std::string_view b) {
  return !a.empty() && a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

// Every refusal goes to the log once, not at each of the many loads that meet it again.
void log_refusals(const Servers& servers) {
  static std::mutex lock;
  static std::set<std::string> logged;
  const std::lock_guard hold(lock);
  for (const auto& [key, why] : servers.refused) {
    if (logged.insert(why).second) fprintf(stderr, "quillo: %s\n", why.c_str());
  }
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
  // Read a byte past the limit, so a larger file is refused rather than cut.
  const std::optional<std::string> text = read_file_alloc(kServersPath, kFileMax + 1);
  if (!text) return servers;
  if (text->size() > kFileMax) {
    servers.refused.emplace("", std::string(kServersFileShown) + " is larger than " +
                                    std::to_string(kFileMax / 1024) +
                                    " KB, so none of its servers is used.");
    log_refusals(servers);
    return servers;
  }
  std::string_view rest = *text;
  if (rest.starts_with(kByteOrderMark)) rest.remove_prefix(kByteOrderMark.size());
  for (size_t number = 1; !rest.empty(); ++number) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = trim(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    const size_t eq = line.find('=');
    if (line.starts_with('#') || eq == std::string_view::npos) continue;
    const std::string_view key = trim(line.substr(0, eq));
    std::string_view value = line.substr(eq + 1);
    value = trim(value.substr(0, value.find('#')));
    for (const auto& [name, field] : keys) {
      if (key != name) continue;
      *field = plain_host(value);
      // The last line of a key is the one that counts, for its host and for its refusal.
      if (const auto old = servers.refused.find(name); old != servers.refused.end()) {
        servers.refused.erase(old);
      }
      if (field->empty() && !value.empty()) {
        servers.refused.emplace(name, std::string(kServersFileShown) + ", line " +
                                          std::to_string(number) + ": \"" + std::string(name) +
                                          "\" is not a host name with an optional port from 1 to "
                                          "65535, so it is not used.");
      }
    }
  }
  log_refusals(servers);
  return servers;
}

std::string server_unset_text(const Servers& servers, std::string_view key, std::string unset) {
  for (const std::string_view k : {std::string_view(), key}) {
    if (const auto why = servers.refused.find(k); why != servers.refused.end()) return why->second;
  }
  return unset;
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
