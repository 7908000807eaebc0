// Reference resolution after RFC 3986 section 5.2, enough for catalogue links: absolute,
// network-path ("//host/x"), absolute-path, query-only, fragment-only and relative references.
#include "store/url_resolve.h"

#include "base/utf8.h"

namespace {
struct UrlParts {
  std::string_view scheme, authority, path, query;  // query with its "?", fragment dropped
};

// The scheme, or empty when the text does not begin with one ("name:").
std::string_view scheme_of(std::string_view url) {
  for (size_t i = 0; i < url.size(); ++i) {
    const char c = url[i];
    if (c == ':') return i > 0 ? url.substr(0, i) : std::string_view{};
    if (!(ascii_alpha(c) || (i > 0 && (ascii_digit(c) || c == '+' || c == '-' || c == '.')))) break;
  }
  return {};
}

UrlParts split(std::string_view url) {
  UrlParts p;
  url = url.substr(0, url.find('#'));
  p.scheme = scheme_of(url);
  std::string_view rest = url.substr(p.scheme.empty() ? 0 : p.scheme.size() + 1);
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const size_t end = rest.find_first_of("/?");
    p.authority = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
  }
  const size_t q = rest.find('?');
  p.path = rest.substr(0, q);
  if (q != std::string_view::npos) p.query = rest.substr(q);
  return p;
}

// "." and ".." segments taken out of an absolute path.
std::string remove_dot_segments(std::string_view path) {
  std::string out;
  while (!path.empty()) {
    if (path.starts_with("../")) {
      path.remove_prefix(3);
    } else if (path.starts_with("./")) {
      path.remove_prefix(2);
    } else if (path.starts_with("/./")) {
      path.remove_prefix(2);
    } else if (path == "/.") {
      path = "/";
    } else if (path.starts_with("/../") || path == "/..") {
      path = path.size() == 3 ? std::string_view("/") : path.substr(3);
      const size_t slash = out.rfind('/');
      out.erase(slash == std::string::npos ? 0 : slash);
    } else if (path == "." || path == "..") {
      path = {};
    } else {
      const size_t next = path.find('/', 1);
      out += path.substr(0, next);
      path = next == std::string_view::npos ? std::string_view{} : path.substr(next);
    }
  }
  return out;
}

std::string join(std::string_view scheme, std::string_view authority, std::string_view path,
                 std::string_view query_and_fragment) {
  std::string out(scheme);
  out += "://";
  out += authority;
  out += path.empty() ? std::string("/") : remove_dot_segments(path);
  out += query_and_fragment;
  return out;
}
}  // namespace

std::string resolve_url(std::string_view base, std::string_view ref) {
  if (!scheme_of(ref).empty()) return std::string(ref);
  const UrlParts b = split(base);
  if (b.scheme.empty()) return {};
  if (ref.starts_with("//")) return std::string(b.scheme) + ":" + std::string(ref);
  const size_t tail_at = ref.find_first_of("?#");
  const std::string_view ref_path = ref.substr(0, tail_at);
  const std::string_view tail = tail_at == std::string_view::npos ? std::string_view{} : ref.substr(tail_at);
  if (ref_path.empty()) {
    // Only a query or a fragment: the base's path stays (and its query, unless a new one came).
    const std::string query = tail.starts_with("?") ? std::string{} : std::string(b.query);
    return join(b.scheme, b.authority, b.path, query + std::string(tail));
  }
  if (ref_path.starts_with("/")) return join(b.scheme, b.authority, ref_path, tail);
  const size_t slash = b.path.rfind('/');
  std::string merged = slash == std::string_view::npos ? std::string("/")
                                                       : std::string(b.path.substr(0, slash + 1));
  merged += ref_path;
  return join(b.scheme, b.authority, merged, tail);
}
