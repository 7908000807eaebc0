// The download manager's rules for destinations.
#pragma once
#include <string>
#include <string_view>

struct Servers;

// The host part of an address ("https://host:port/path" gives "host"), or empty when the address
// has userinfo, a port that is not a number, or no "://".
std::string_view url_host(std::string_view url);
// ql_dl_allowed against a configuration already read (for a list of many addresses).
bool download_address_allowed(std::string_view url, const Servers& servers);
// True for a path ending in ".zip" (any case) with at least one byte before it.
bool is_archive_name(std::string_view path);
// True for a device path in the documents or the state folder that cannot climb out of it.
bool destination_allowed(std::string_view dest);
// What a download writes to until it is whole: its destination + this.
constexpr std::string_view kDownloadPartSuffix = ".part";

// `dest` itself, or for a book in the documents folder whose name (or, for an archive and
// `with_folder`, whose folder) is taken, the first free "stem (N).ext"; empty when none up to 999
// is free. A name too long to take kDownloadPartSuffix is shortened before its extension.
std::string free_destination(const std::string& dest, bool with_folder = true);
