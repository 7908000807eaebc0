// The servers file: which lines set a host, and that with no file the program has no server at
// all: no download host, no store address, no list to fetch.
#include <gtest/gtest.h>

#include "store/download_manager.h"
#include "store/free_catalog.h"
#include "store/servers.h"
#include "store/store_catalog.h"
#include "support/device_folder.h"

namespace {

class ServersFile : public testing::Test {
 protected:
  void write(const std::string& text) const { write_file(root_.host("us/ql/servers.conf"), text); }
  DeviceFolder root_;
};

TEST_F(ServersFile, KeysValuesCommentsAndBadLines) {
  write("# hosts\n"
        "  store =  shop.example.com  \r\n"
        "payment=https://pay.example.com/\n"
        "site = example.com:8443   # the maker's site\n"
        "bug-reports = bugs.example.com/api/bug\n"
        "publisher = user@example.org\n"
        "publisher-downloads = dl.example.org:80x\n"
        "# site = other.example\n"
        "unknown = elsewhere.example\n"
        "no equals sign\n");
  const Servers s = servers_load();
  EXPECT_EQ(s.store, "shop.example.com");
  EXPECT_EQ(s.payment, "pay.example.com");  // an address copied whole still names its host
  EXPECT_EQ(s.site, "example.com:8443");
  // A path, a user name or a port that is not a number: no host rather than a guess.
  EXPECT_EQ(s.bug_reports, "");
  EXPECT_EQ(s.publisher, "");
  EXPECT_EQ(s.publisher_downloads, "");
  EXPECT_EQ(server_address(s.site, "/catalog/free.tsv"),
            "https://example.com:8443/catalog/free.tsv");
  EXPECT_EQ(server_address(s.bug_reports, "/api/bug"), "");
  EXPECT_EQ(server_host_name(s.site), "example.com");
}

TEST_F(ServersFile, OnlyHostNamesWithPortsInRangeAreTaken) {
  const struct {
    const char* value;
    const char* host;  // empty: refused
  } cases[] = {
      {"example.com", "example.com"},
      {"127.0.0.1:8443", "127.0.0.1:8443"},
      {"a-b.example:1", "a-b.example:1"},
      {"example.com:65535", "example.com:65535"},
      {"example.com:65536", ""},
      {"example.com:99999", ""},
      {"example.com:0", ""},
      {"example.com:0443", ""},
      {"example.com:+443", ""},
      {"example.com:", ""},
      {"..", ""},
      {".", ""},
      {"example..com", ""},
      {".example.com", ""},
      {"example.com.", ""},
      {"-.example", ""},
      {"-a.example", ""},
      {"a-.example", ""},
      {"ex_ample.com", ""},
      {"exämple.com", ""},
      {"[::1]:443", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    write(std::string("site = ") + c.value + "\n");
    const Servers s = servers_load();
    EXPECT_EQ(s.site, c.host);
    // A refused line is told, naming the file and the key; an empty one is only unset.
    const std::string told = server_unset_text(s, "site", "unset");
    EXPECT_EQ(told == "unset", std::string_view(c.host).empty() == std::string_view(c.value).empty());
    if (told != "unset") {
      EXPECT_EQ(told, "ql/servers.conf in the data folder, line 1: \"site\" is not a host name with "
                      "an optional port from 1 to 65535, so it is not used.");
    }
  }
  // Labels up to 63 bytes, names up to 253.
  const std::string label63(63, 'a'), label64(64, 'a');
  const std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
  for (const auto& [value, taken] : {std::pair{label63 + ".example", true},
                                    std::pair{label64 + ".example", false},
                                    std::pair{name253, true}, std::pair{name253 + "b", false}}) {
    SCOPED_TRACE(value.size());
    write("site = " + value + "\n");
    EXPECT_EQ(servers_load().site, taken ? value : "");
  }
}

// The file is read whole: a host on a line past any fixed read size is taken as written, never
// cut, and a file larger than a servers file can need is refused as a whole, saying so.
TEST_F(ServersFile, ReadWholeOrNotAtAll) {
  const struct {
    const char* name;
    std::string text;
    const char* site;
  } cases[] = {
      {"long comment before the last line",
       "# " + std::string(4076, 'c') + "\nsite = example.community", "example.community"},
      {"a host across 4096 bytes", std::string(4090, '\n') + "site = example.community\n",
       "example.community"},
      {"byte-order mark before the first key", "\xEF\xBB\xBFsite = example.com\nstore = s.example\n",
       "example.com"},
      {"the last line of a key counts", "site = a.example\nsite = b.example\n", "b.example"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write(c.text);
    const Servers s = servers_load();
    EXPECT_EQ(s.site, c.site);
    EXPECT_TRUE(s.refused.empty());
  }
  write("site = example.com\n# " + std::string(64 * 1024, 'c') + "\n");
  const Servers big = servers_load();
  EXPECT_EQ(big.site, "");
  const std::string why = "ql/servers.conf in the data folder is larger than 64 KB, so none of its "
                          "servers is used.";
  EXPECT_EQ(server_unset_text(big, "site", "unset"), why);
  EXPECT_EQ(server_unset_text(big, "bug-reports", "unset"), why);
  write("site = example.com\n# " + std::string(60 * 1024, 'c') + "\n");
  EXPECT_EQ(servers_load().site, "example.com");
}

TEST_F(ServersFile, WithoutTheFileNothingIsReached) {
  const Servers s = servers_load();
  EXPECT_EQ(s.store + s.payment + s.site + s.bug_reports + s.publisher + s.publisher_downloads, "");
  // No host at all may be downloaded from, and the store's relative addresses lead nowhere.
  for (const char* url : {"https://example.com/x.epub", "https://www./x", "https:///x"}) {
    SCOPED_TRACE(url);
    EXPECT_FALSE(ql_dl_allowed(url));
  }
  EXPECT_EQ(store_absolute_url("/covers/a.jpg", 800), "");
  EXPECT_EQ(store_absolute_url("https://cdn.example/a.jpg", 800), "https://cdn.example/a.jpg");
  // The built-in free list has no usable row until its download host is set.
  EXPECT_EQ(free_catalog_load(), 0u);
  write("publisher-downloads = dl.example.org\n");
  EXPECT_EQ(free_catalog_load(), 9u);
  for (const FreeTitle& r : free_catalog_rows()) {
    EXPECT_TRUE(r.address.starts_with("https://dl.example.org/"));
  }
}

}  // namespace
