// OPDS catalogue feeds (Atom) turned into the small list the browser shows: one line per usable
// entry, "E" for an EPUB book, "C" for a sub-catalogue, with its title and absolute address.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kFeedMaxBytes = size_t{8} << 20;
constexpr size_t kFeedTitleMax = 511;
constexpr size_t kFeedHrefMax = 1023;
constexpr size_t kFeedAddressMax = 1199;
// The longest line of opds.list without its line feed: kind, tab, title, tab, address. The
// parser writes no longer one, and the browser reads no longer one.
constexpr size_t kFeedListLineMax = 1 + 1 + kFeedTitleMax + 1 + kFeedAddressMax;
// Where relative links point when the feed names no address of its own.
constexpr std::string_view kDefaultCatalogueSite = "https://www.gutenberg.org/";

struct FeedEntry {
  char kind;  // 'E' book, 'C' catalogue
  std::string title;
  std::string address;
};

// The entries of a feed document whose own address is `feed_address` (links are resolved
// against it). An OPDS 2 (JSON) document, or anything that is not XML, gives none.
std::vector<FeedEntry> opds_entries(std::string_view document, std::string_view feed_address);

// One entry as a line of opds.list, "E\ttitle\taddress\n".
std::string opds_list_line(const FeedEntry& entry);
// The entry a line of opds.list (without its line end) gives; nothing for a line the parser does
// not write: another kind, an empty title, a title or address over its limit (a row cut by a
// writer with a smaller bound would fetch something else), or an address that is not one line of
// http(s).
std::optional<FeedEntry> opds_read_list_line(std::string_view line);

// Parses the feed file (device or host path) into "opds.list" in $QUILLO_STATE (default
// /mnt/us/ql/state). The feed's address is $QL_OPDS_FEED when set, else its own self link or
// http <id>, else the default site. The number of entries written; 0 when the feed cannot be read
// (no list is written) or yields nothing usable (the list is empty).
int ql_opds_parse(const char* feed_path);

// The folder opds.list is written to.
std::string opds_list_folder();
