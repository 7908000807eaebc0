// The catalogue file turned into the item table: what is kept, in which order, when it is fetched
// again, and the price and address texts.
#include <gtest/gtest.h>

#include "store_test_fixture.h"

using Catalog = StoreTest;

TEST_F(Catalog, KeepsEbooksWithTheirFields) {
  load(
      {sku_json("b1", "Second", 1205, "Ann", "USD"),
       R"("x":{"format":"ebook","sku":"a1","title":"First","author":"Bo","lang":"pt-BR-long",)"
       R"("img":"https://cdn.example/a.jpg","currency":"EURO","priceCents":99,"other":[1,{"y":2}]})"});
  ASSERT_EQ(store.count, 2u);
  const StoreItem& a = store.items[0];
  EXPECT_STREQ(a.sku, "a1");
  EXPECT_STREQ(a.title, "First");
  EXPECT_STREQ(a.author, "Bo");
  EXPECT_STREQ(a.lang, "pt-BR-l");
  EXPECT_STREQ(a.img, "https://cdn.example/a.jpg");
  EXPECT_STREQ(a.currency, "EUR");
  EXPECT_EQ(a.priceCents, 99);
  EXPECT_STREQ(store.items[1].currency, "USD");
  EXPECT_EQ(store.items[1].priceCents, 1205);
}

TEST_F(Catalog, SkipsWhatIsNoEbookAndWrongTypes) {
  struct Case {
    const char* name;
    std::string member;
    bool kept;
    int64_t price;
  } cases[] = {
      {"plain", sku_json("k", "T", 499), true, 499},
      {"warehouse null", sku_json("k", "T", 1, "A", "EUR", ",\"warehouse\":null"), true, 1},
      {"warehouse empty", sku_json("k", "T", 1, "A", "EUR", ",\"warehouse\":\"\""), false, 0},
      {"warehouse zero", sku_json("k", "T", 1, "A", "EUR", ",\"warehouse\":0"), false, 0},
      {"format Ebook", R"("k":{"format":"Ebook","sku":"k","title":"T"})", false, 0},
      {"format audiobook", R"("k":{"format":"audiobook","sku":"k","title":"T"})", false, 0},
      {"format missing", R"("k":{"sku":"k","title":"T"})", false, 0},
      {"sku missing", R"("k":{"format":"ebook","title":"T"})", false, 0},
      {"sku empty", R"("k":{"format":"ebook","sku":"","title":"T"})", false, 0},
      {"sku a number", R"("k":{"format":"ebook","sku":7,"title":"T"})", false, 0},
      {"not an object", R"("k":["format","ebook"])", false, 0},
      {"price 4.99", R"("k":{"format":"ebook","sku":"k","priceCents":4.99})", true, 0},
      {"price a string", R"("k":{"format":"ebook","sku":"k","priceCents":"499"})", true, 0},
      {"price huge", R"("k":{"format":"ebook","sku":"k","priceCents":99999999999999999999})", true,
       0},
      {"title a number", R"("k":{"format":"ebook","sku":"k","title":12,"priceCents":5})", true, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    store = StoreState{};
    place_catalog(catalog_json({c.member}));
    EXPECT_EQ(store_load_catalog(), c.kept);
    ASSERT_EQ(store.count, c.kept ? 1u : 0u);
    if (c.kept) {
      EXPECT_EQ(store.items[0].priceCents, c.price);
    }
  }
}

TEST_F(Catalog, DuplicateSkusKeepTheFirstAndLongTextsAreCut) {
  const std::string long_sku(80, 's');
  const std::string long_title = std::string(198, 't') + "\xC3\xA9" + "tail";  // é across 199
  load({sku_json("same", "First copy", 100), sku_json("same", "Second copy", 200),
        sku_json(long_sku, long_title, 1),
        // Equal once cut to 63 bytes: the same sku.
        sku_json(long_sku + "x", "Other", 2)});
  ASSERT_EQ(store.count, 2u);
  EXPECT_EQ(titles()[0], "First copy");
  EXPECT_EQ(std::string(store.items[1].sku), long_sku.substr(0, 63));
  EXPECT_EQ(std::string(store.items[1].title), std::string(198, 't'));  // never half a character
}

TEST_F(Catalog, KeepsTheFirst1200DistinctItems) {
  std::vector<std::string> members;
  for (int i = 0; i < 1500; ++i) {
    char title[16];
    snprintf(title, sizeof title, "T%04d", 1499 - i);  // file order is reverse title order
    members.push_back(sku_json(std::string("s").append(std::to_string(i)), title, i));
  }
  load(members);
  ASSERT_EQ(store.count, kStoreMaxItems);
  EXPECT_STREQ(store.items[0].title, "T0300");  // the last kept member, s1199
  EXPECT_STREQ(store.items[kStoreMaxItems - 1].title, "T1499");
}

TEST_F(Catalog, SortFoldsAsciiAndKeepsFileOrderOfEquals) {
  load({sku_json("1", "apple", 1), sku_json("2", "Apple pie", 2), sku_json("3", "APPLE", 3),
        sku_json("4", "Zebra", 4), sku_json("5", "\xC3\x89tude", 5), sku_json("6", "", 6)});
  EXPECT_EQ(titles(),
            (std::vector<std::string>{"", "apple", "APPLE", "Apple pie", "Zebra", "\xC3\x89tude"}));
}

TEST_F(Catalog, BrokenFilesLeaveTheTableAsItWas) {
  load({sku_json("a", "Kept", 1)});
  const std::string broken[] = {
      "",
      "not json",
      "[]",
      R"({"skus":[]})",
      R"({"items":{}})",
      R"({"skus":"x"})",
      catalog_json({sku_json("b", "New", 2)}).substr(0, 40),
      std::string(200, '[') + std::string(200, ']'),
      "{\"skus\":{" + sku_json("b", "Big", 2) + "}," + "\"pad\":\"" +
          std::string(kStoreCatalogMaxBytes, 'p') + "\"}",
  };
  for (const std::string& b : broken) {
    SCOPED_TRACE(b.substr(0, 40));
    place_catalog(b);
    EXPECT_FALSE(store_load_catalog());
    ASSERT_EQ(store.count, 1u);
    EXPECT_STREQ(store.items[0].title, "Kept");
  }
  remove(catalog_path().c_str());
  EXPECT_FALSE(store_load_catalog());
  EXPECT_EQ(store.count, 1u);
  // A "skus" object with nothing sellable empties the table.
  place_catalog(R"({"skus":{"x":{"format":"print","sku":"p"}}})");
  EXPECT_FALSE(store_load_catalog());
  EXPECT_EQ(store.count, 0u);
}

TEST_F(Catalog, FreshnessRuleFetchesOnlyAnOldOrEmptyFile) {
  const std::string fetched = catalog_json({sku_json("f", "Fetched", 1)});
  struct Case {
    const char* name;
    int64_t age_secs;  // -1: no file
    std::string file;
    bool fetches;
    const char* title;
  } cases[] = {
      {"11 hours old", 11 * 3600, catalog_json({sku_json("o", "On disk", 1)}), false, "On disk"},
      {"13 hours old", 13 * 3600, catalog_json({sku_json("o", "On disk", 1)}), true, "Fetched"},
      {"fresh but empty", 60, catalog_json({}), true, "Fetched"},
      {"no file", -1, "", true, "Fetched"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    store = StoreState{};
    script_.lines.clear();
    script_.catalog = fetched;
    remove(catalog_path().c_str());
    if (c.age_secs >= 0) place_catalog(c.file, c.age_secs);
    store_catalog_ensure();
    EXPECT_TRUE(store.loaded);
    EXPECT_EQ(
        script_.verb_lines("catalog"),
        c.fetches
            ? std::vector<std::string>{"sh /mnt/us/ql/bin/ql-store.sh catalog >/dev/null 2>&1"}
            : std::vector<std::string>{});
    ASSERT_EQ(store.count, 1u);
    EXPECT_STREQ(store.items[0].title, c.title);
    // Once per run.
    store_catalog_ensure();
    EXPECT_EQ(script_.verb_lines("catalog").size(), c.fetches ? 1u : 0u);
  }
}

TEST_F(Catalog, AFailedRefetchKeepsThePreviousCatalogueAGoodOneReplacesIt) {
  const std::string old_file = catalog_json({sku_json("o", "Old", 1)});
  struct Case {
    const char* name;
    std::optional<std::string> answer;  // what the script leaves; none: offline
    const char* title;
  } cases[] = {
      {"offline", std::nullopt, "Old"},
      {"a broken answer", std::string("{\"skus\":"), "Old"},
      {"nothing sellable", catalog_json({}), "Old"},
      {"a good answer", catalog_json({sku_json("n", "New", 2)}), "New"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    store = StoreState{};
    script_.lines.clear();
    place_catalog(old_file, 20 * 3600);
    script_.catalog = c.answer;
    store_catalog_ensure();
    EXPECT_EQ(script_.verb_lines("catalog").size(), 1u);
    EXPECT_TRUE(store.loaded);
    ASSERT_EQ(store.count, 1u);
    EXPECT_STREQ(store.items[0].title, c.title);
    EXPECT_EQ(read_file(catalog_path()), std::string(c.title) == "Old" ? old_file : *c.answer);
    EXPECT_FALSE(file_exists(catalog_path() + ".old"));
    // The kept file is still old: the next run fetches again rather than taking it as new.
    store = StoreState{};
    store_catalog_ensure();
    EXPECT_EQ(script_.verb_lines("catalog").size(), std::string(c.title) == "Old" ? 2u : 1u);
  }
}

TEST_F(Catalog, AFailedFetchWithNoPreviousFileLeavesAnEmptyStore) {
  script_.catalog.reset();
  store_catalog_ensure();
  EXPECT_EQ(script_.verb_lines("catalog").size(), 1u);
  EXPECT_EQ(store.count, 0u);
  EXPECT_TRUE(store.loaded);
  EXPECT_FALSE(file_exists(catalog_path()));
}

TEST(StorePrice, Texts) {
  struct Case {
    int64_t cents;
    const char* currency;
    const char* text;
  } cases[] = {
      {1205, "USD", "$12.05"},
      {99, "EUR", "€0.99"},
      {125000, "EUR", "€1250.00"},
      {499, "", "€4.99"},
      {0, "GBP", "€0.00"},
      {-105, "USD", "-$1.05"},
      {INT64_MIN, "USD", "-$92233720368547758.08"},
      {7, "usd", "€0.07"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(store_format_price(c.cents, c.currency), c.text);
  }
}

TEST(StoreUrl, RelativeJoinedOnceOnlyHttpsKept) {
  DeviceFolder root;
  write_file(root.host("us/ql/servers.conf"), "store = shop.example.com:8443\n");
  struct Case {
    const char* address;
    const char* url;
  } cases[] = {
      {"/covers/a.jpg", "https://shop.example.com:8443/covers/a.jpg"},
      {"covers/a.jpg", "https://shop.example.com:8443/covers/a.jpg"},
      {"https://cdn.example/a.jpg", "https://cdn.example/a.jpg"},
      {"http://cdn.example/a.jpg", ""},
      {"httpx/a", "https://shop.example.com:8443/httpx/a"},
      {"HTTPS://cdn.example/a", ""},
      {"ftp://x/a", ""},
      {"javascript:alert(1)", ""},
      {"//evil.example/a", ""},
      {"https://", ""},
      {"", ""},
      {"/a b.jpg", ""},
      {"/a\n.jpg", ""},
      {"/pay?o=1:2", "https://shop.example.com:8443/pay?o=1:2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(store_absolute_url(c.address, 800), c.url);
  }
  // The result must fit the caller's buffer with its NUL.
  const std::string path = "/" + std::string(100, 'p');
  const size_t full = std::string("https://shop.example.com:8443").size() + path.size();
  EXPECT_EQ(store_absolute_url(path, full + 1).size(), full);
  EXPECT_EQ(store_absolute_url(path, full), "");
}
