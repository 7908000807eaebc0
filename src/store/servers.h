// The hosts the program may talk to, read from one small file the owner of the device writes,
// ql/servers.conf in the data folder: one "key = value" a line, "#" starting a comment (a line's
// or the rest of one). A value is a host name, optionally with ":port"; every host is reached over
// https. Nothing is built in: a key that is missing (or not a plain host) leaves its feature
// without a server. The file is read whole or not at all, so no line is ever used cut short.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <string_view>

constexpr char kServersPath[] = "/mnt/us/ql/servers.conf";
// How the screens name the file when they say where a server is set.
constexpr std::string_view kServersFileShown = "ql/servers.conf in the data folder";

struct Servers {
  std::string store;                // the store's web host: relative store addresses live there
  std::string payment;              // the payment server: Bitcoin invoice pages at /i/<id>
  std::string site;                 // the maker's site: the newer free-title list
  std::string bug_reports;          // where bug reports are posted, at /api/bug
  std::string publisher;            // the free titles' outside publisher: its web host
  std::string publisher_downloads;  // and its download host, which the built-in free list names
  // Why a key's line was not used (by key), or the whole file ("" as the key), naming the file.
  std::map<std::string, std::string, std::less<>> refused;
};

// The configuration as the file holds it now; every host empty when there is no file, or when it
// is larger than any servers file needs to be or cannot be read (which the log is told).
Servers servers_load();
// What a screen says when `key` has no host: why the file or the key's line was refused, else
// `unset`, the screen's own words for a key nobody wrote.
std::string server_unset_text(const Servers& servers, std::string_view key, std::string unset);

// "https://" + host + path, or empty when the host is not set.
std::string server_address(std::string_view host, std::string_view path);
// The host without its port ("127.0.0.1:8443" gives "127.0.0.1").
std::string_view server_host_name(std::string_view host);
// True when `host` (no port) is one downloads may come from: the maker's site, the store's host
// with or without "www.", and the publisher's two hosts, compared without case.
bool servers_allow_download_host(const Servers& servers, std::string_view host);
