// The files a purchase leaves: orders.tsv (append, dedupe, hostile titles, the listed rows), the
// new-books list, and the Bitcoin invoice split into its payment fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text_decode.h"
#include "store/new_books.h"
#include "store/orders_file.h"
#include "store/payment_invoice.h"
#include "support/device_folder.h"
#include "support/temp_dir.h"
#include "support/file_size_limit.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t nl = text.find('\n', at);
    if (nl == std::string::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  return lines;
}

size_t count_of(const std::string& s, char c) { return size_t(std::count(s.begin(), s.end(), c)); }

TEST(OrdersFile, AppendsOnceAndKeepsPrefixIdsApart) {
  DeviceFolder root;
  EXPECT_TRUE(orders_append("A1", "key1", "First"));
  EXPECT_TRUE(orders_append("A1", "other", "Again"));  // already there: nothing written
  EXPECT_TRUE(orders_append("A", "key2", "Prefix of A1"));
  EXPECT_TRUE(orders_append("A1x", "key3", ""));
  const std::vector<std::string> lines = lines_of(read_file(root.state("orders.tsv")));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].starts_with("A1\tkey1\t"));
  EXPECT_TRUE(lines[0].ends_with("\tFirst"));
  EXPECT_TRUE(lines[1].starts_with("A\tkey2\t"));
  EXPECT_TRUE(lines[2].starts_with("A1x\tkey3\t"));
  EXPECT_EQ(count_of(lines[2], '\t'), 3u);
}

TEST(OrdersFile, HostileTitlesStayOneLineOfFourFields) {
  DeviceFolder root;
  const std::string euro = "\xE2\x82\xAC";
  struct Case {
    const char* name;
    std::string title;
  } cases[] = {
      {"tabs and line feeds", "Bad\tTitle\nwith\rbreaks"},
      {"very long", std::string(5000, 'x')},
      {"multi-byte at the cut", std::string(80, 'y') + euro + euro + euro + euro + euro},
      {"invalid UTF-8", "\xFF\xFE\xC3"},
      {"NUL inside", std::string("a\0b", 3)},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(orders_append("id" + std::to_string(n++), "k", c.title));
  }
  const std::string text = read_file(root.state("orders.tsv"));
  const std::vector<std::string> lines = lines_of(text);
  ASSERT_EQ(lines.size(), std::size(cases));
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(count_of(lines[i], '\t'), 3u);
    EXPECT_LE(lines[i].size() + 1, kOrderLineMax);
    EXPECT_EQ(lines[i].find('\r'), std::string::npos);
  }
  // A cut never leaves half a character behind.
  EXPECT_TRUE(is_well_formed_utf8(lines[2]));
  EXPECT_EQ(orders_list().size(), std::size(cases));
}

TEST(OrdersFile, RefusesIdsAndKeysThatWouldSplitTheLine) {
  DeviceFolder root;
  struct Case {
    const char* name;
    std::string id, key;
  } cases[] = {
      {"empty id", "", "k"},
      {"empty key", "id", ""},
      {"tab in id", "a\tb", "k"},
      {"line feed in key", "id", "k\nx"},
      {"id too long", std::string(kOrderIdMax + 1, 'i'), "k"},
      {"key too long", "id", std::string(kViewKeyMax + 1, 'k')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(orders_append(c.id, c.key, "t"));
  }
  EXPECT_FALSE(file_exists(root.state("orders.tsv")));
  EXPECT_TRUE(orders_append(std::string(kOrderIdMax, 'i'), std::string(kViewKeyMax, 'k'),
                            std::string(400, 't')));
  EXPECT_LE(read_file(root.state("orders.tsv")).size(), kOrderLineMax);
}

TEST(OrdersFile, ATornLastLineIsEndedBeforeTheNextOrder) {
  DeviceFolder root;
  write_file(root.state("orders.tsv"), "old\tk\t1\tHalf writ");
  EXPECT_TRUE(orders_append("new", "k2", "Whole"));
  const std::vector<OrderRow> rows = orders_list();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].order_id, "new");
  EXPECT_EQ(rows[1].order_id, "old");
}

TEST(OrdersFile, ListsTheFortyNewestFirst) {
  DeviceFolder root;
  std::string text;
  for (int i = 0; i < 45; ++i)
    text.append("o").append(std::to_string(i)).append("\tkey").append(std::to_string(i))
        .append(" \t1700000000\tBook ").append(std::to_string(i)).append("\n");
  text += std::string(kOrderRowLineMax + 1, 'L') + "\n\n  \n";
  write_file(root.state("orders.tsv"), text);
  const std::vector<OrderRow> rows = orders_list();
  ASSERT_EQ(rows.size(), kOrderRowsMax);
  EXPECT_EQ(rows[0].order_id, "o44");
  EXPECT_EQ(rows[0].view_key, "key44");
  EXPECT_EQ(rows[0].label, "Book 44  \xC2\xB7  o44");
  EXPECT_EQ(rows.back().order_id, "o5");
}

TEST(OrdersFile, RowsShowTheIdWhateverTheTitle) {
  DeviceFolder root;
  write_file(root.state("orders.tsv"),
             "idonly\n" + std::string("long\tk\t1\t") + std::string(380, 'T') + "\n");
  const std::vector<OrderRow> rows = orders_list();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(rows[0].label.ends_with("  \xC2\xB7  long"));
  EXPECT_LT(rows[0].label.size(), kOrderRowTextSize);
  EXPECT_EQ(rows[1].label, "  \xC2\xB7  idonly");
  EXPECT_EQ(rows[1].view_key, "");
}

TEST(OrdersFile, MissingFileListsNothing) {
  DeviceFolder root;
  EXPECT_TRUE(orders_list().empty());
}

class NewBooksFile : public testing::Test {
 protected:
  void SetUp() override { new_books = NewBooks{}; }
  void TearDown() override { new_books = NewBooks{}; }
  DeviceFolder root_;
};

TEST_F(NewBooksFile, TheTwentyFifthDropsTheOldest) {
  for (int i = 0; i < 25; ++i)
    new_books_add("/mnt/us/documents/book" + std::to_string(i) + ".epub");
  const std::vector<std::string> lines = lines_of(read_file(root_.state("new-books.txt")));
  ASSERT_EQ(lines.size(), kNewBooksMax);
  EXPECT_EQ(lines.front(), "book24.epub");
  EXPECT_EQ(lines.back(), "book1.epub");
  EXPECT_EQ(new_books.count, kNewBooksMax);
  EXPECT_EQ(new_book_name(0), "book24.epub");
}

TEST_F(NewBooksFile, NamesDuplicatesAndLimits) {
  write_file(root_.state("new-books.txt"), "older.epub\n" + std::string(300, 'z') + "\n");
  new_books_add("plain.epub");                                      // no folder: the whole path
  new_books_add("/docs/" + std::string(kNewBookNameMax + 1, 'n'));  // 160 bytes: ignored
  new_books_add("/docs/" + std::string(kNewBookNameMax, 'm'));      // 159 bytes: kept
  new_books_add("/docs/plain.epub");                                // listed twice
  new_books_add("/docs/two\nlines.epub");                           // would split the file
  EXPECT_EQ(read_file(root_.state("new-books.txt")),
            "plain.epub\n" + std::string(kNewBookNameMax, 'm') + "\nplain.epub\nolder.epub\n");
  // Read again in a later run, the same list comes back.
  new_books = NewBooks{};
  new_books_load();
  ASSERT_EQ(new_books.count, 4u);
  EXPECT_EQ(new_book_name(3), "older.epub");
}

TEST_F(NewBooksFile, AnUnwritableListStillChangesInMemory) {
  write_file(root_.state("new-books.txt"), "kept.epub\n");
  {
    const FileSizeLimit full(0);
    new_books_add("/d/new.epub");
  }
  EXPECT_EQ(new_book_name(0), "new.epub");
  EXPECT_EQ(read_file(root_.state("new-books.txt")), "kept.epub\n");
}

std::string invoice_json(const std::string& uri, const std::string& due = "\"due\":\"12500\"") {
  return "{\"invoiceBitcoinUrl\":\"" + uri + "\"" + (due.empty() ? "" : "," + due) + "}";
}

TEST(InvoiceSplit, PaymentFieldsFromTheUri) {
  const std::string ln = "lnbc125u1p" + std::string(40, 'q');
  const std::string upper_ln = "LNBC125U1P" + std::string(40, 'Q');
  const std::string addr = "bitcoin:bc1qexampleaddress?amount=0.000125";
  struct Case {
    const char* name;
    std::string json;
    bool ok;
    std::string lightning, on_chain, due;
  } cases[] = {
      {"lightning last", invoice_json(addr + "&lightning=" + ln), true, upper_ln, addr, "12500"},
      {"payjoin first", invoice_json(addr + "&pj=https://p.example/x&lightning=" + ln), true,
       upper_ln, addr, "12500"},
      {"parameter after it", invoice_json(addr + "&lightning=" + ln + "&label=x"), true, upper_ln,
       addr, "12500"},
      {"capital prefix", invoice_json(addr + "&lightning=LNBC" + std::string(30, 'x')), true,
       "LNBC" + std::string(30, 'X'), addr, "12500"},
      {"no due", invoice_json(addr + "&lightning=" + ln, ""), true, upper_ln, addr, ""},
      {"due too long",
       invoice_json(addr + "&lightning=" + ln, "\"due\":\"" + std::string(32, '9') + "\""), true,
       upper_ln, addr, ""},
      {"due not a string", invoice_json(addr + "&lightning=" + ln, "\"due\":12500"), true, upper_ln,
       addr, ""},
      {"long URI: no on-chain",
       invoice_json("bitcoin:" + std::string(312, 'a') + "&lightning=" + ln), true, upper_ln, "",
       "12500"},
      {"19-byte request", invoice_json(addr + "&lightning=lnbc" + std::string(15, 'x')), false, "",
       "", ""},
      {"20-byte request", invoice_json(addr + "&lightning=lnbc" + std::string(16, 'x')), true,
       "LNBC" + std::string(16, 'X'), addr, "12500"},
      {"test network", invoice_json(addr + "&lightning=lntb" + std::string(40, 'x')), false, "", "",
       ""},
      {"request too long", invoice_json(addr + "&lightning=lnbc" + std::string(1600, 'x')), false,
       "", "", ""},
      {"no lightning", invoice_json(addr), false, "", "", ""},
      {"short URI", invoice_json("bitcoin:"), false, "", "", ""},
      {"not a string", "{\"invoiceBitcoinUrl\":5}", false, "", "", ""},
      {"array root", "[\"" + addr + "&lightning=" + ln + "\"]", false, "", "", ""},
      {"malformed", "{\"invoiceBitcoinUrl\":\"" + addr + "&lightning=" + ln, false, "", "", ""},
      {"empty", "", false, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InvoiceData got;
    got.due = "untouched";
    ASSERT_EQ(invoice_split_bitcoin_url(c.json, got), c.ok);
    if (!c.ok) {
      EXPECT_EQ(got.due, "untouched");
      continue;
    }
    EXPECT_EQ(got.lightning, c.lightning);
    EXPECT_EQ(got.on_chain, c.on_chain);
    EXPECT_EQ(got.due, c.due);
  }
}

TEST(InvoiceSplit, EveryPrefixAndFlipParsesOrFailsCleanly) {
  const std::string json =
      invoice_json("bitcoin:bc1qx?amount=1&pj=https://p/x&lightning=lnbc1" + std::string(30, 'p'));
  for (size_t n = 0; n <= json.size(); ++n) {
    InvoiceData got;
    EXPECT_EQ(invoice_split_bitcoin_url(std::string_view(json).substr(0, n), got),
              n == json.size());
  }
  for (size_t i = 0; i < json.size(); ++i) {
    std::string flipped = json;
    flipped[i] = static_cast<char>(flipped[i] ^ 0x80);
    InvoiceData got;
    if (invoice_split_bitcoin_url(flipped, got)) {
      EXPECT_GE(got.lightning.size(), kLightningMin);
    }
  }
}

}  // namespace
