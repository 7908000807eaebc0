// What may be downloaded, and to where: the address policy and the destination rules.
#include "store/download_policy.h"

#include <algorithm>
#include <sys/stat.h>

#include "base/file_kinds.h"
#include "base/free_name.h"
#include "base/paths.h"
#include "store/download_manager.h"
#include "store/servers.h"

namespace {
constexpr std::string_view kHttps = "https://";

bool exists(const std::string& path) {
  struct stat st;
  return qlp_lstat(path.c_str(), &st) == 0;
}

// Where a finished download lands: the file itself, and for an archive also the folder its
// recordings go to.
bool is_taken(const std::string& path, bool with_folder) {
  if (exists(path)) return true;
  return with_folder && is_archive_name(path) && exists(path.substr(0, path.size() - 4));
}
}  // namespace

std::string_view url_host(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  std::string_view authority = url.substr(scheme + 3);
  authority = authority.substr(0, authority.find_first_of("/?#\\"));
  // Userinfo would make the text before "@" look like the host while the connection goes to the
  // part after it.
  if (authority.find('@') != std::string_view::npos) return {};
  const size_t colon = authority.find(':');
  std::string_view host = authority.substr(0, colon);
  if (colon != std::string_view::npos) {
    std::string_view port = authority.substr(colon + 1);
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return {};
    }
  }
  return host;
}

bool download_address_allowed(std::string_view url, const Servers& servers) {
  if (!url.starts_with(kHttps) || url.size() > kDownloadUrlMax) return false;
  for (char c : url) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7f || c == '\'' || c == '"' || c == '\\') return false;
  }
  return servers_allow_download_host(servers, url_host(url));
}

bool ql_dl_allowed(std::string_view url) { return download_address_allowed(url, servers_load()); }

bool is_archive_name(std::string_view path) {
  const FileKindRow* row = file_kind_row(path);
  return path.size() >= 5 && row && row->kind == FileKind::zip;
}

bool destination_allowed(std::string_view dest) {
  if (!dest.starts_with(kDocumentsPrefix) && !dest.starts_with(kStatePrefix)) return false;
  if (dest.find("/../") != std::string_view::npos || dest.ends_with("/..")) return false;
  return !dest.ends_with("/") && dest.find('\0') == std::string_view::npos;
}

std::string free_destination(const std::string& dest, bool with_folder) {
  if (!dest.starts_with(kDocumentsPrefix)) return dest;
  const size_t slash = dest.rfind('/');
  const std::string folder = dest.substr(0, slash + 1);
  const auto [stem, ext] = split_extension(std::string_view(dest).substr(slash + 1), false);
  // curl writes under the name + ".part" first, so the name leaves room for it.
  const std::string name =
      free_name(stem, ext, kNameMax - kDownloadPartSuffix.size(),
                [&](const std::string& n) { return is_taken(folder + n, with_folder); });
  return name.empty() ? std::string() : folder + name;
}
