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
