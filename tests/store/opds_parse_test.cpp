// OPDS feeds of the shapes catalogues serve, parsed by the real program's --opds-parse mode into
// opds.list, compared with the list each must give; and link resolution after RFC 3986.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "store/opds_parse.h"
#include "store/url_resolve.h"
#include "support/event_ceiling.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

struct FeedCase {
  const char* name;
  std::string feed;
  std::string feed_env;  // QL_OPDS_FEED, empty for none
  int entries;
  std::string list;      // the opds.list it must give
};

const FeedCase kFeeds[] = {
    {"prefixed Atom with declaration, relative links against the self link",
     R"(<?xml version="1.0" encoding="UTF-8"?>
<atom:feed xmlns:atom="http://www.w3.org/2005/Atom" xmlns:dc="http://purl.org/dc/terms/">
  <atom:id>urn:uuid:1</atom:id>
  <atom:link rel="self" href="https://books.example.org/opds/new/page1.xml" type="application/atom+xml"/>
  <atom:title>New</atom:title>
  <atom:entry>
    <atom:title>Tom &amp; Jerry&#39;s
	Tale</atom:title>
    <atom:link rel="http://opds-spec.org/acquisition" type="application/epub+zip" href="../books/1.epub"/>
  </atom:entry>
  <atom:entry>
    <atom:title type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml">The <b>Bold</b> One</div></atom:title>
    <atom:link rel="http://opds-spec.org/acquisition" type="application/epub+zip" href="2.epub?dl=1&amp;x=y"/>
  </atom:entry>
</atom:feed>)",
     "", 2,
     "E\tTom & Jerry's  Tale\thttps://books.example.org/opds/books/1.epub\n"
     "E\tThe Bold One\thttps://books.example.org/opds/new/2.epub?dl=1&x=y\n"},
    {"navigation feed without namespace or declaration",
     R"(<feed>
<id>https://cat.example.com/root.xml</id>
<entry><title>Authors</title><link rel="subsection" href="/authors" type="application/atom+xml;profile=opds-catalog;kind=navigation"/></entry>
<entry><title>Subjects</title><link rel="subsection" href="/subjects"/></entry>
<entry><title>Authors of note</title><link type="application/atom+xml;profile=opds-catalog" href="/notable"/></entry>
<entry><title>Popular</title><link rel="subsection" href="popular.opds"/></entry>
<entry><title>No link at all</title></entry>
<entry><title></title><link rel="subsection" href="/untitled"/></entry>
</feed>)",
     "", 2,
     "C\tAuthors of note\thttps://cat.example.com/notable\n"
     "C\tPopular\thttps://cat.example.com/popular.opds\n"},
    {"single-entry document",
     R"(<?xml version="1.0"?><entry xmlns="http://www.w3.org/2005/Atom"><title>Only One</title>
<link href="https://cdn.example.net/only.epub" type="application/epub+zip" rel="http://opds-spec.org/acquisition/open-access"/></entry>)",
     "", 1, "E\tOnly One\thttps://cdn.example.net/only.epub\n"},
    {"acquisition feed with paging links and a book that is also a catalogue",
     R"(<feed xmlns="http://www.w3.org/2005/Atom" xmlns:opds="http://opds-spec.org/2010/catalog">
<link rel="self" href="https://shelf.example.org/search?q=sea&amp;page=2"/>
<link rel="next" href="?q=sea&amp;page=3" type="application/atom+xml;profile=opds-catalog"/>
<link rel="previous" href="?q=sea&amp;page=1" type="application/atom+xml;profile=opds-catalog"/>
<link rel="start" href="/" type="application/atom+xml;profile=opds-catalog"/>
<entry><title>Sea Wolf</title>
  <link rel="subsection" href="/series/7"/>
  <link rel="http://opds-spec.org/acquisition" type="application/epub+zip" href="/get/7.epub"/></entry>
<entry><title>Sea Fever</title><link type="application/epub+zip" href=""/><link rel="subsection" href="/more/8"/></entry>
<entry><title>Pictures</title><link rel="http://opds-spec.org/image" type="image/jpeg" href="/c.jpg"/></entry>
</feed>)",
     "", 2,
     "E\tSea Wolf\thttps://shelf.example.org/get/7.epub\n"
     "C\tSea Fever\thttps://shelf.example.org/more/8\n"},
    {"protocol-relative and relative links against the fetched address",
     R"(<feed xmlns="http://www.w3.org/2005/Atom">
<entry><title>Far</title><link type="application/epub+zip" href="//mirror.example.com/far.epub"/></entry>
<entry><title>Up</title><link type="application/epub+zip" href="../up.epub"/></entry>
<entry><title>Next door</title><link type="application/epub+zip" href="door.epub"/></entry>
<entry><title>Odd scheme</title><link type="application/epub+zip" href="javascript:void"/></entry>
</feed>)",
     "https://lib.example.org/a/b/feed.xml", 3,
     "E\tFar\thttps://mirror.example.com/far.epub\n"
     "E\tUp\thttps://lib.example.org/a/up.epub\n"
     "E\tNext door\thttps://lib.example.org/a/b/door.epub\n"},
    {"OPDS 2 is JSON and refused",
     R"({"metadata":{"title":"x"},"publications":[{"metadata":{"title":"A"},"links":[{"href":"a.epub","type":"application/epub+zip"}]}]})",
     "", 0, ""},
    {"an id with a path gives only its site", R"(<feed><id>http://ids.example.org/deep/path</id>
<entry><title>Rooted</title><link type="application/epub+zip" href="/r.epub"/></entry></feed>)",
     "", 1, "E\tRooted\thttps://ids.example.org/r.epub\n"},
};

TEST(OpdsParse, FeedsOfManyShapesGiveTheirLists) {
  for (const FeedCase& c : kFeeds) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_file(dir / "feed.xml", c.feed);
    // The state folder is a device path, as the host and the device scripts give it.
    std::filesystem::create_directories(dir / "data/ql/state");
    EnvList env = {{"QUILLO_STATE", "/mnt/us/ql/state"}, {"CVNL_DATA", dir / "data"},
                   {"TMPDIR", dir.path()}};
    if (!c.feed_env.empty()) env.push_back({"QL_OPDS_FEED", c.feed_env});
    const ProgramResult r =
        run_program("sh", {"-c", "\"$0\" --opds-parse \"$1\" 2>\"$2\"", QL_TEST_QUILLO,
                           dir / "feed.xml", dir / "stderr"},
                    env, kEventCeilingMs);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir / "stderr"), "opds entries " + std::to_string(c.entries) + "\n");
    EXPECT_EQ(read_file(dir / "data/ql/state/opds.list"), c.list);
  }
}

TEST(OpdsParse, MissingEmptyOrOversizedFeedGivesNothing) {
  TempDir dir;
  setenv("QUILLO_STATE", dir.path().c_str(), 1);
  EXPECT_EQ(ql_opds_parse((dir / "none.xml").c_str()), 0);
  write_file(dir / "empty.xml", "");
  EXPECT_EQ(ql_opds_parse((dir / "empty.xml").c_str()), 0);
  write_file(dir / "big.xml", "<feed>" + std::string(kFeedMaxBytes, ' ') + "</feed>");
  EXPECT_EQ(ql_opds_parse((dir / "big.xml").c_str()), 0);
  EXPECT_FALSE(file_exists(dir / "opds.list"));
  unsetenv("QUILLO_STATE");
}

TEST(OpdsParse, EveryPrefixParsesWithoutHarm) {
  const std::string& feed = kFeeds[3].feed;
  for (size_t len = 0; len <= feed.size(); ++len) {
    for (const FeedEntry& e : opds_entries(feed.substr(0, len), "https://a.example/")) {
      EXPECT_TRUE(e.kind == 'E' || e.kind == 'C');
      EXPECT_FALSE(e.title.empty());
      EXPECT_EQ(e.address.find_first_of("\t\n"), std::string::npos);
    }
  }
}

// The list's one bound: every line the parser writes is read back as written, and a line it
// could not have written (a row another writer cut) is never read as a row.
TEST(OpdsList, LinesAreReadBackWholeOrNotAtAll) {
  const std::string title(kFeedTitleMax, 't');
  const std::string site = "https://cat.example.org/";
  const std::string address = site + std::string(kFeedAddressMax - site.size(), 'a');
  const FeedEntry longest{'E', title, address};
  const std::string line = opds_list_line(longest);
  EXPECT_EQ(line.size(), kFeedListLineMax + 1);
  const std::optional<FeedEntry> back = opds_read_list_line(std::string_view(line).substr(0, line.size() - 1));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->kind, 'E');
  EXPECT_EQ(back->title, title);
  EXPECT_EQ(back->address, address);

  const struct {
    const char* name;
    std::string line;
  } refused[] = {
      {"address one byte over", "E\tT\t" + address + "a"},
      {"title one byte over", "C\t" + title + "t\thttps://x.example/"},
      {"over the line bound", "E\t" + title + "\t" + address + "b"},
      {"another kind", "B\tT\thttps://x.example/"},
      {"no kind", "\tT\thttps://x.example/"},
      {"empty title", "E\t\thttps://x.example/"},
      {"no address", "E\tT"},
      {"empty address", "E\tT\t"},
      {"a third tab", "E\tT\thttps://x.example/\tmore"},
      {"not http", "E\tT\tftp://x.example/"},
      {"a blank in the address", "E\tT\thttps://x.example/a b"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(opds_read_list_line(c.line));
  }
}

TEST(ResolveUrl, RfcExamples) {
  const std::string base = "http://a/b/c/d;p?q";
  const struct {
    const char* ref;
    const char* want;
  } cases[] = {
      {"g:h", "g:h"},           {"g", "http://a/b/c/g"},       {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"}, {"/g", "http://a/g"},          {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"}, {"g?y", "http://a/b/c/g?y"}, {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"}, {";x", "http://a/b/c/;x"},   {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},    {"./", "http://a/b/c/"},        {"..", "http://a/b/"},
      {"../", "http://a/b/"},    {"../g", "http://a/b/g"},       {"../..", "http://a/"},
      {"../../g", "http://a/g"}, {"../../../g", "http://a/g"},   {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},   {"g.", "http://a/b/c/g."},      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"}, {"g/./h", "http://a/b/c/g/h"}, {"g/../h", "http://a/b/c/h"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ref);
    EXPECT_EQ(resolve_url(base, c.ref), c.want);
  }
  EXPECT_EQ(resolve_url("https://h.example", "x.epub"), "https://h.example/x.epub");
  EXPECT_EQ(resolve_url("not a url", "x"), "");
}

}  // namespace
