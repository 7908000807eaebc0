// Links found in a fetched document made absolute against the document's own address.
#pragma once
#include <string>
#include <string_view>

// `ref` resolved against the absolute address `base` (RFC 3986): an absolute reference as it is,
// "//host/x" with the base's scheme, "/x" on the base's host, "x" beside the base's last segment,
// "?q" and "#f" on the base's path; dot segments removed. Empty when `base` has no scheme.
std::string resolve_url(std::string_view base, std::string_view ref);
