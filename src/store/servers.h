// The hosts the program may talk to, read from one small file the owner of the device writes,
// ql/servers.conf in the data folder: one "key = value" a line, "#" starting a comment (a line's
// or the rest of one). A value is a host name, optionally with ":port"; every host is reached over
// https. Nothing is built in: a key that is missing (or not a plain host) leaves its feature
// without a server.
#pragma once
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
};

// The configuration as the file holds it now; every host empty when there is no file.
Servers servers_load();

// "https://" + host + path, or empty when the host is not set.
std::string server_address(std::string_view host, std::string_view path);
// The host without its port ("127.0.0.1:8443" gives "127.0.0.1").
std::string_view server_host_name(std::string_view host);
// True when `host` (no port) is one downloads may come from: the maker's site, the store's host
// with or without "www.", and the publisher's two hosts, compared without case.
bool servers_allow_download_host(const Servers& servers, std::string_view host);
