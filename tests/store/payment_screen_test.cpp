// The payment wait, the orders list and the purchase greeting, driven by scripted taps: a fake
// store script (the shell runner) answers each verb with the files it would leave, the watcher's
// reports are written while the screen waits, and the script's "download" fetches bought books from
// the local HTTPS server with curl, as the device's does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/ui/ui_message.h"
#include "library/document_scan.h"
#include "library/library_view.h"
#include "store/new_books.h"
#include "store/purchase_thanks.h"
#include "store/store_catalog.h"
#include "store/store_checkout.h"
#include "store/store_orders.h"
#include "store/store_payment.h"
#include "store_test_fixture.h"
#include "support/epub_builder.h"
#include "support/event_ceiling.h"
#include "support/picture_fixtures.h"
#include "support/run_program.h"

namespace {

constexpr char kOrder[] = "ORD-1042";
constexpr char kKey[] = "3f9a0c1d2e4b5a6978c0d1e2";
constexpr char kPayAddress[] =
    "https://shop.example.com/basket/pay?order=1042&v=3f9a0c1d2e4b5a6978c0d1e2";
constexpr char kTotal[] =
    "\xE2\x82\xAC"
    "5.00";
constexpr char kInvoiceId[] = "InV0ice9";
const std::string kLightning = "lnbc50u1pjtest" + std::string(60, 'q');
const std::string kOnChain = "bitcoin:bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4?amount=0.0005";

std::string invoice_file() {
  return "{\"invoiceBitcoinUrl\":\"" + kOnChain +
         "&pj=https://pay.example/pj&lightning=" + kLightning + "\",\"due\":\"50000\"}";
}

using Bought = FakeStoreScript::Bought;
// store-order.json as the device's script writes it.
std::string order_file(const std::vector<Bought>& books) {
  return FakeStoreScript::order_json(books, "Bought\\tTitle\\nTwo");
}
// One that names its order at the root, as a script may add.
std::string order_file_named(const std::string& id, const std::vector<Bought>& books) {
  return "{\"orderId\":\"" + id + "\"," + order_file(books).substr(1);
}

std::string book_with_cover() {
  EpubPlan plan = simple_book({"<p>Chapter one begins here.</p>"});
  plan.title = "The Bought Book";
  plan.items.push_back(
      {"cover", "images/cover.png", "image/png", grey_png(60, 90, 40), "cover-image", false});
  return build_epub(plan);
}

class PaymentScreen : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    new_books = NewBooks{};
    store_purchase_shown = false;
    script_.download = [this](const std::string& address, const std::string&) {
      return fetch_into_documents(address);
    };
  }
  void TearDown() override {
    new_books = NewBooks{};
    StoreTest::TearDown();
  }

  // Stores the book at `address` in the documents folder, named for the address's last part, and
  // gives its path as the script prints it ("" when the fetch failed).
  std::string fetch_into_documents(const std::string& address) const {
    const std::string name = address.substr(address.rfind('/') + 1);
    if (run_program("/usr/bin/curl", {"-fsS", "-o", doc(name), address}, {}, 60000).status != 0) {
      std::remove(doc(name).c_str());
      return "";
    }
    return "/mnt/us/documents/" + name + "\n";
  }

  bool pay(bool bitcoin = true, const char* invoice_id = kInvoiceId) {
    return store_pay_and_wait(kOrder, kKey, kPayAddress, kTotal, bitcoin, invoice_id);
  }
  // The watcher's report, written while the screen waits, then a tap where nothing is.
  void report(const std::string& word) {
    touches_.at_wait([this, word] { script_.report(word); });
    touches_.touch(500, 1100);
  }
  // A report naming another order on its second line (a watcher left from an earlier payment).
  void report_of(const std::string& order, const std::string& word) {
    touches_.at_wait([this, word, order] {
      write_file(root_.state("store-pay.state"), word + "\n" + order + "\n");
    });
    touches_.touch(500, 1100);
  }
  // The frame as a PNG in this test's folder, written when the screen next waits.
  void png(const std::string& name) {
    touches_.at_wait([this, name] { ql_png(png_path(name).c_str()); });
  }
  std::string png_path(const std::string& name) const { return root_.host(name + ".png"); }
  std::string stop_file() const { return read_file(root_.host("tmp/ql-watch.stop")); }
  void tap_cancel() { touches_.touch(500, 1340); }
  // The first line that ran the store script's `verb` ("" when none did).
  std::string line_with(const std::string& verb) const {
    const std::vector<std::string> lines = script_.verb_lines(verb);
    return lines.empty() ? std::string() : lines.front();
  }
};

TEST_F(PaymentScreen, CardPaymentShowsThePayPageAndStopsItsWatcherOnLeaving) {
  struct Case {
    const char* name;
    int y;
  } cases[] = {{"back band", 160}, {"Cancel button", 1340}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script_.lines.clear();
    write_file(root_.state("store-pay.state"), "ready\nold\n");
    png("card");
    touches_.touch(500, c.y);
    EXPECT_FALSE(pay(false, ""));
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_EQ(line_with("invoice"), "");
    EXPECT_EQ(line_with("watch"), std::string("sh /mnt/us/ql/bin/ql-store.sh watch '") + kOrder +
                                      "' '" + kKey + "' '-' >/dev/null 2>&1 &");
    EXPECT_FALSE(file_exists(root_.state("store-pay.state")));
    EXPECT_EQ(stop_file(), "");
    EXPECT_EQ(decode_qr(png_path("card")), kPayAddress);
  }
}

TEST_F(PaymentScreen, LightningInvoiceAndTheOnChainSwitch) {
  script_.invoice = invoice_file();
  png("lightning");
  shot("lightning");
  touches_.touch(500, 1220);  // "Pay on-chain instead"
  png("chain");
  shot("chain");
  touches_.touch(500, 1220);  // back to Lightning
  shot("lightning-again");
  tap_cancel();
  EXPECT_FALSE(pay());
  EXPECT_EQ(line_with("invoice"), std::string("sh /mnt/us/ql/bin/ql-store.sh invoice '") +
                                      kInvoiceId + "' >/dev/null 2>&1");
  EXPECT_TRUE(line_with("watch").ends_with(std::string("'") + kInvoiceId + "' >/dev/null 2>&1 &"));
  EXPECT_FALSE(file_exists(root_.state("store-invoice.json")));
  std::string upper = kLightning;
  for (char& c : upper) c = char(toupper(c));
  EXPECT_EQ(decode_qr(png_path("lightning")), upper);
  EXPECT_EQ(decode_qr(png_path("chain")), kOnChain);
  EXPECT_EQ(pixels("lightning"), pixels("lightning-again"));
  EXPECT_NE(pixels("lightning"), pixels("chain"));
}

// In both orientations every control of the payment screen is on the screen, framed whole, and
// does its work: the code reads back, the switch changes it, Cancel leaves; once the payment is
// seen, Close leaves. Landscape puts the code beside a column with the rest.
TEST_F(PaymentScreen, EveryControlFitsAndWorksInBothOrientations) {
  std::string upper = kLightning;
  for (char& c : upper) c = char(toupper(c));
  for (const uint32_t rotation : {0u, 1u}) {
    SCOPED_TRACE(rotation ? "landscape" : "portrait");
    ql_set_rotation(rotation);
    script_.invoice = invoice_file();
    std::remove(root_.host("tmp/ql-watch.stop").c_str());
    const PayGeometry g = pay_geometry(W(), H());
    const int middle = g.column_x + g.column_width / 2;
    // Every frame ends on the screen, the code with its quiet zone too.
    ASSERT_LE(g.close_top + kPayButtonHeight, H() - 16);
    ASSERT_LE(g.code_y + g.code_size + 24, H());
    ASSERT_EQ(g.code_size, 780) << "the code keeps its size";
    auto framed = [this, &g](int top) {
      EXPECT_EQ(darkest(g.column_x + 4, top + kPayButtonHeight - 2, g.column_width - 8, 2), 0)
          << "the frame's foot";
      EXPECT_LT(darkest(g.column_x + 24, top + 20, g.column_width - 48, kPayButtonHeight - 40), 128)
          << "its label";
    };
    std::string lightning, chain;
    read_qr_at_wait(lightning, png_path("lightning"));
    touches_.at_wait([&] {
      framed(g.switch_top);
      framed(g.close_top);
      EXPECT_LT(darkest(g.column_x, g.amount_y - 40, g.column_width, 40), 128) << "the amount";
      EXPECT_LT(darkest(g.column_x, g.hint_y - 30, g.column_width, 36), 128) << "the hint";
    });
    touches_.touch(middle, g.switch_top + 55);
    read_qr_at_wait(chain, png_path("chain"));
    touches_.touch(middle, g.close_top + 55);
    EXPECT_FALSE(pay());
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_EQ(lightning, upper);
    EXPECT_EQ(chain, kOnChain);
    EXPECT_EQ(stop_file(), "");

    // Seen: the message and "Close", in the same place.
    touches_.at_wait([this] { script_.report("seen"); });
    touches_.touch(middle, g.amount_y);  // nothing there: the report is read
    touches_.at_wait([&] {
      framed(g.close_top);
      EXPECT_EQ(darkest(0, kHeaderBottom + 1, W(), 100), 255) << "no code";
    });
    touches_.touch(middle, g.close_top + 55);
    EXPECT_FALSE(pay(false, ""));
    EXPECT_TRUE(ScriptedTouch::done());
  }
}

TEST_F(PaymentScreen, AScriptThatDidNotRunFallsBackToThePayPage) {
  script_.desktop = true;
  script_.invoice = invoice_file();
  write_file(root_.state("store-invoice.json"), invoice_file());  // left from an earlier payment
  write_file(root_.state("store-order.json"), order_file({{"/files/stale.epub", "Stale"}}));
  png("fallback");
  shot("fallback");
  report("stopped");
  shot("timed-out");
  EXPECT_FALSE(pay());
  EXPECT_TRUE(line_with("watch").ends_with("'-' >/dev/null 2>&1 &"));
  EXPECT_EQ(decode_qr(png_path("fallback")), kPayAddress);
  EXPECT_FALSE(file_exists(doc("stale.epub")));
  EXPECT_FALSE(store_purchase_shown);
  EXPECT_TRUE(shot_shows_toast("timed-out",
                          "This payment screen timed out. If you paid, open Orders and payments."));
  EXPECT_EQ(stop_file(), "");
}

TEST_F(PaymentScreen, ReportsAndFilesOfAnotherOrderAreIgnored) {
  report_of("ORD-0999", "expired");  // a watcher left from an earlier payment
  shot("still-waiting");
  touches_.at_wait([this] {
    write_file(root_.state("store-order.json"),
               order_file_named("ORD-0999", {{"/files/old.epub", "Old"}}));
  });
  report("ready");  // ours is paid, but the order file is the old one's and the script leaves none
  shot("paid-no-book");
  EXPECT_TRUE(pay(false, ""));
  EXPECT_FALSE(store.invoice_spent);
  EXPECT_FALSE(file_exists(root_.state("store-order.json")));
  EXPECT_FALSE(file_exists(doc("old.epub")));
  EXPECT_NE(line_with("order"), "");
  EXPECT_TRUE(shot_shows_toast("paid-no-book", "Paid. Open Orders and payments to download your book."));
  EXPECT_LT(shot_darkest("still-waiting", 200, 300, 600, 600), 60);
}

// Answers an earlier payment's watcher may have left are removed before this payment's watcher
// starts, so "ready" takes this order's books only, with nothing asked of the script.
TEST_F(PaymentScreen, AnswersLeftFromBeforeNeverStandForThisOrder) {
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  server.configure(root_);
  server.serve("new.epub", book_with_cover());
  server.serve("old.epub", book_with_cover());
  ui_state.buy = true;
  write_file(root_.state("store-order.json"), order_file({{"/files/old.epub", "Old"}}));
  script_.order = order_file({{"/files/new.epub", "New"}});
  report("ready");
  touches_.touch(300, 300);  // the greeting
  EXPECT_TRUE(pay(false, ""));
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(file_exists(doc("new.epub")));
  EXPECT_FALSE(file_exists(doc("old.epub")));
  EXPECT_NE(line_with("order"), "");
}

// A store script that writes only what the device's script writes buys a book from the checkout
// to the greeting, and the orders list downloads the same order again.
TEST_F(PaymentScreen, AScriptOfTheDevicesShapesBuysAndDownloadsAgain) {
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  server.configure(root_);
  const std::string book = book_with_cover();
  server.serve("tale.epub", book);
  load({sku_json("tale", "A Tale", 500)});
  ui_state.buy = true;
  script_.checkout = R"({"orderId":"ORD-5","viewKey":"k5","payUrl":"/basket/pay?order=5"})";
  script_.order = order_file({{"/files/tale.epub", "A Tale"}});
  choose_method(1);  // card
  agree();
  touches_.at_wait([this] {
    write_file(root_.state("store-order.json"), *script_.order);
    script_.report("ready");
  });
  touches_.touch(500, 1100);
  touches_.touch(300, 300);  // the greeting
  EXPECT_TRUE(store_checkout(std::vector<uint16_t>{0}));
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(read_file(doc("tale.epub")), book);
  ASSERT_EQ(std::remove(doc("tale.epub").c_str()), 0);

  tap_row(2);  // the order, below the two fixed rows
  tap_confirm_action();
  touches_.touch(300, 300);  // the greeting
  store_orders_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(line_with("order"), "sh /mnt/us/ql/bin/ql-store.sh order 'ORD-5' 'k5' >/dev/null 2>&1");
  EXPECT_EQ(script_.verb_lines("download").size(), 2u);
  EXPECT_EQ(read_file(doc("tale.epub")), book);
  EXPECT_TRUE(store_purchase_shown);
  EXPECT_TRUE(read_file(root_.state("orders.tsv")).starts_with("ORD-5\tk5\t"));
}

TEST_F(PaymentScreen, ExpiredInvoiceIsReportedSpent) {
  script_.invoice = invoice_file();
  report("expired");
  shot("expired");
  EXPECT_FALSE(pay());
  EXPECT_TRUE(store.invoice_spent);
  EXPECT_EQ(stop_file(), "");
  EXPECT_TRUE(shot_shows_toast("expired",
                          "This invoice expired. If you already paid, open Orders and payments."));
}

TEST_F(PaymentScreen, StoppedWatcherFindsThePaidOrder) {
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  server.serve("b.epub", book_with_cover());
  ui_state.buy = true;
  server.configure(root_);
  script_.order = order_file({{"/files/b.epub", "Later Book"}});
  report("stopped");
  shot("thanks");
  touches_.touch(300, 300);  // any tap ends the greeting that keeps the book in the library
  EXPECT_TRUE(pay(false, ""));
  EXPECT_TRUE(file_exists(doc("b.epub")));
  EXPECT_TRUE(store_purchase_shown);
  EXPECT_EQ(app.view, AppView::Library);
}

TEST_F(PaymentScreen, SeenSettledReadyThenTheBookArrives) {
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  server.configure(root_);
  const std::string book = book_with_cover();
  server.serve("bought.epub", book);
  script_.invoice = invoice_file();
  shot("waiting");
  report("seen");
  shot("seen");
  report("settled");
  shot("settled");
  report("settled");  // no change: no redraw, still polling
  touches_.at_wait([this] {
    write_file(root_.state("store-order.json"),
               order_file({{"/files/bought.epub", "The Bought Book"}}));
  });
  report("ready");
  shot("thanks");
  const ThanksButtons row{(H() - 520) / 2 + 360, 112};
  touches_.touch(200, row.y + 50);  // "Library"
  EXPECT_TRUE(pay());
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(line_with("download"), "sh /mnt/us/ql/bin/ql-store.sh download '" +
                                       server.url("/files/bought.epub") +
                                       "' 'The Bought Book' >/tmp/ql-dl.path 2>/dev/null");
  EXPECT_FALSE(file_exists(root_.host("tmp/ql-dl.path")));
  EXPECT_EQ(read_file(doc("bought.epub")), book);
  EXPECT_EQ(new_book_name(0), "bought.epub");
  EXPECT_EQ(read_file(root_.state("new-books.txt")), "bought.epub\n");
  EXPECT_TRUE(
      read_file(root_.state("orders.tsv")).starts_with(std::string(kOrder) + "\t" + kKey + "\t"));
  EXPECT_TRUE(read_file(root_.state("orders.tsv")).ends_with("\tBought Title Two\n"));
  EXPECT_FALSE(file_exists(root_.state("store-order.json")));
  EXPECT_EQ(stop_file(), "");
  EXPECT_EQ(app.view, AppView::Library);
  EXPECT_TRUE(store_purchase_shown);
  // Waiting shows the code; seen and settled show the message instead, and no code.
  EXPECT_LT(shot_darkest("waiting", 200, 300, 600, 600), 60);
  EXPECT_EQ(shot_darkest("seen", 146, 800, 780, 400), 255);
  EXPECT_NE(pixels("seen"), pixels("settled"));
}

class OrdersScreen : public PaymentScreen {
 protected:
  void SetUp() override {
    PaymentScreen::SetUp();
    ASSERT_TRUE(server_.ready());
    server_.configure(root_);
    write_file(root_.state("orders.tsv"), "NOKEY\nORD-1\tk1\t1700000000\tFirst Book\n" +
                                              std::string(kOrder) + "\t" + kKey +
                                              " \t1700000100\tThe Bought Book\n");
  }
  // Taps the newest order (the first row after the two fixed ones) and agrees to download it.
  void download_newest() {
    tap_row(2);
    tap_confirm_action();
  }
  DownloadServer server_;
};

TEST_F(OrdersScreen, PartialDownloadThenTheBookOpensAtItsCover) {
  const std::string book = book_with_cover();
  server_.serve("one.epub", book);
  script_.order = order_file({{"/files/one.epub", "One"},
                              {"/files/missing.epub", "Two"},
                              {server_.url("/files/gone.epub"), "Three"}});
  shot("orders");
  download_newest();
  shot("partial");
  touches_.touch(500, 700);  // dismisses the message
  shot("thanks");
  std::optional<uint64_t> new_at_greeting;
  std::string listed;
  touches_.at_wait([&] {
    const std::span<const ScanEntry> entries = ql_entries();
    if (entries.size() == 1) listed = entries[0].path;
    new_at_greeting = library_new_book_position(0);
  });
  const int buttons_y = (H() - 520) / 2 + 360;
  touches_.touch(W() - 200, buttons_y + 120);  // "Open book", within the slack below the row
  shot("cover");
  touches_.touch(500, 700);
  store_orders_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(line_with("order"), std::string("sh /mnt/us/ql/bin/ql-store.sh order '") + kOrder +
                                    "' '" + kKey + "' >/dev/null 2>&1");
  EXPECT_TRUE(shot_shows_toast("partial", store_format_partial_download(1, 3)));
  EXPECT_EQ(script_.verb_lines("download").size(), 3u);
  EXPECT_EQ(read_file(doc("one.epub")), book);
  // Behind the greeting the library lists it as its one new book.
  EXPECT_TRUE(listed.ends_with("/one.epub")) << listed;
  EXPECT_EQ(new_at_greeting, std::optional<uint64_t>(0));
  EXPECT_EQ(app.view, AppView::Reader);
  EXPECT_TRUE(store_purchase_shown);
  // The cover fills the screen as a picture.
  EXPECT_EQ(shot_darkest("cover", W() / 2 - 20, H() / 2 - 20, 40, 40), 40);
  // The order was in the list already: nothing appended.
  const std::string orders = read_file(root_.state("orders.tsv"));
  EXPECT_EQ(std::count(orders.begin(), orders.end(), '\n'), 3);
}

TEST_F(OrdersScreen, FailedDownloadsAndOrdersNotYetPaid) {
  struct Case {
    const char* name;
    std::string order;
    std::string message;
  } cases[] = {
      {"nothing downloadable",
       order_file({{"", "No address"}, {"/files/none.epub", "Missing"}}),
       "Paid, but the download failed. Open Orders and payments to retry."},
      {"not paid yet", "", "Not available yet. If you just paid, try again in a minute."},
      {"another order's answer", order_file_named("ORD-1", {{"/files/x.epub", "X"}}),
       "Not available yet. If you just paid, try again in a minute."},
      {"answer past the read limit",
       "{\"pad\":\"" + std::string(kOrderJsonReadMax, 'p') + "\"," +
           order_file({{"/files/x.epub", "X"}}).substr(1),
       "Not available yet. If you just paid, try again in a minute."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script_.order = c.order.empty() ? std::nullopt : std::optional<std::string>(c.order);
    download_newest();
    shot("message");
    touches_.touch(500, 700);
    if (c.message.starts_with("Not")) tap_back();  // the list came back
    store_orders_screen();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_TRUE(shot_shows_toast("message", c.message));
    EXPECT_FALSE(file_exists(root_.state("store-order.json")));
    EXPECT_FALSE(store_purchase_shown);
  }
}

TEST_F(OrdersScreen, ExplainsPaymentAndSkipsOrdersWithoutAKey) {
  tap_row(0);
  shot("how");
  tap_back();
  tap_row(4);  // "NOKEY", the oldest line
  tap_confirm_action();
  shot("back-to-list");
  tap_back();
  store_orders_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(line_with("order"), "");
}

TEST_F(OrdersScreen, HostileTitlesAreQuotedAndOnlyWholeHttpsAddressesReachTheScript) {
  server_.serve("Report.PDF", "%PDF-1.4 not much of a book");
  server_.serve("long.epub", book_with_cover());
  ui_state.buy = true;
  const std::string hostile = "It's \\\"Bob's\\\" $(rm -rf ~) ../../x\\t\u00ff\\nY";
  script_.order = "{\"order\":{\"downloads\":["
                  "{\"url\":\"/files/Report.PDF\",\"title\":\"" + hostile + "\"},"
                  "{\"url\":\"http://" + server_.host() + "/files/Report.PDF\",\"title\":7},"
                  "{\"url\":\"/" + std::string(2000, 'u') + "\"},"
                  "{\"url\":\"/q" + std::string(400, '\'') + "\"},"
                  "{\"url\":\"" + server_.url("/files/long.epub") + "\",\"title\":\"" +
                  std::string(1000, 't') + "\"}],\"items\":[{\"title\":5}]}}";
  download_newest();
  shot("partial");
  touches_.touch(500, 700);  // 2 of 5
  touches_.touch(500, 700);  // the greeting
  store_orders_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  // The plain http address, the one too long for its buffer and the one too long once quoted
  // never reach the script; the titles arrive quoted, the long one cut.
  const std::vector<std::string> expected = {
      "sh /mnt/us/ql/bin/ql-store.sh download '" + server_.url("/files/Report.PDF") +
          "' 'It'\\''s \"Bob'\\''s\" $(rm -rf ~) ../../x\t\xC3\xBF\nY' >/tmp/ql-dl.path 2>/dev/null",
      "sh /mnt/us/ql/bin/ql-store.sh download '" + server_.url("/files/long.epub") + "' '" +
          std::string(892, 't') + "' >/tmp/ql-dl.path 2>/dev/null",
  };
  EXPECT_EQ(script_.verb_lines("download"), expected);
  EXPECT_TRUE(shot_shows_toast("partial", store_format_partial_download(2, 5)));
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(docs()))
    names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Report.PDF", "long.epub"}));
  EXPECT_EQ(new_book_name(0), "long.epub");
  EXPECT_EQ(new_book_name(1), "Report.PDF");
  EXPECT_EQ(server_.requests().find("uuuu"), std::string::npos);
}

// Whatever the script leaves, only a regular file it stored inside the documents folder, from a
// line that ran, counts as a bought book.
TEST_F(PaymentScreen, OnlyABookStoredInTheDocumentsFolderCounts) {
  write_file(doc("real.epub"), book_with_cover());
  mkdir(doc("folder.epub").c_str(), 0755);
  mkdir(doc("Store").c_str(), 0755);
  write_file(doc("Store/deep.epub"), book_with_cover());
  write_file(root_.state("secret.epub"), book_with_cover());
  symlink(root_.state("secret.epub").c_str(), doc("link.epub").c_str());
  ui_state.buy = true;
  struct Case {
    const char* name;
    std::optional<std::string> printed;  // none: the script leaves no answer file
    int ran;
    bool stored;
  } cases[] = {
      {"plain path", "/mnt/us/documents/real.epub\n", 0, true},
      {"line ends and blanks", "/mnt/us/documents/real.epub \r\n \n", 0, true},
      {"in a folder of the documents", "/mnt/us/documents/Store/deep.epub", 0, true},
      {"the runner did not run it", "/mnt/us/documents/real.epub\n", -1, false},
      {"empty answer", "", 0, false},
      {"blanks only", " \r\n\n", 0, false},
      {"no answer file, a stale one from before", std::nullopt, 0, false},
      {"outside the documents folder", "/mnt/us/ql/state/secret.epub\n", 0, false},
      {"climbing out", "/mnt/us/documents/../ql/state/secret.epub\n", 0, false},
      {"a link leading out", "/mnt/us/documents/link.epub\n", 0, false},
      {"a folder", "/mnt/us/documents/folder.epub\n", 0, false},
      {"a file that is not there", "/mnt/us/documents/never.epub\n", 0, false},
      {"the folder's host path", doc("real.epub") + "\n", 0, false},
      {"a NUL inside", std::string("/mnt/us/documents/real.epub\0x", 29), 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    new_books = NewBooks{};
    std::remove(root_.state("new-books.txt").c_str());
    store_purchase_shown = false;
    app.view = AppView::Store;
    script_.answers["download"] = c.ran;
    script_.download = nullptr;
    if (c.printed) {
      script_.download = [&c](const std::string&, const std::string&) { return *c.printed; };
    }
    write_file(root_.host("tmp/ql-dl.path"), "/mnt/us/documents/real.epub\n");  // stale
    write_file(root_.state("store-order.json"),
               order_file({{"/files/real.epub", "Real"}}));
    shot("after");
    touches_.touch(500, 700);
    EXPECT_TRUE(store_order_download(kOrder, kKey));
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_EQ(store_purchase_shown, c.stored);
    EXPECT_EQ(new_books.count, c.stored ? 1u : 0u);
    EXPECT_EQ(shot_shows_toast("after",
                          "Paid, but the download failed. Open Orders and payments to retry."),
              !c.stored);
    EXPECT_FALSE(file_exists(root_.host("tmp/ql-dl.path")));
  }
}

class ThanksScreen : public PaymentScreen {
 protected:
  void SetUp() override {
    PaymentScreen::SetUp();
    write_file(doc("Gift.epub"), book_with_cover());
  }
};

// Untouched, the greeting opens the book between 3 and 4.5 seconds after it was drawn: a tap at
// 2.9 s outside the buttons is ignored by the greeting, one at 4.6 s closes the cover.
TEST_F(ThanksScreen, OpensByItselfAfterFourSeconds) {
  shot("thanks");
  touches_.event(HOST_POINTER_DOWN, 500, 100, 2900);
  touches_.event(HOST_POINTER_UP, 500, 100, 40);
  touches_.event(HOST_POINTER_DOWN, 500, 700, 1660);
  touches_.event(HOST_POINTER_UP, 500, 700, 40);
  store_show_purchased_book("/mnt/us/documents/Gift.epub", "Gift.epub");
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(app.view, AppView::Reader);
  EXPECT_TRUE(store_purchase_shown);
  EXPECT_LT(shot_darkest("thanks", W() / 2 + 40, (H() - 520) / 2 + 360, 200, 4),
            60);  // "Open book"
}

TEST_F(ThanksScreen, KeptInTheLibraryItNeverOpensByItself) {
  ui_state.buy = true;
  shot("kept");
  touches_.event(HOST_POINTER_DOWN, 500, 100, 60000);
  touches_.event(HOST_POINTER_UP, 500, 100, 40);
  store_show_purchased_book("/mnt/us/documents/Gift.epub", "Gift.epub");
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(app.view, AppView::Library);
  EXPECT_FALSE(app.reader.book_open);
  // One "Done" button across the row: its frame reaches past the middle.
  EXPECT_LT(shot_darkest("kept", W() / 2 - 2, (H() - 520) / 2 + 360, 4, 4), 60);
}

// A title of 220 characters keeps to two lines in the box: the button row and everything under
// it are drawn as for a short title, and both buttons work, in both orientations.
TEST_F(ThanksScreen, ALongTitleStaysAboveTheButtons) {
  std::string title;
  while (title.size() < 220) title += "Longtitle ";
  title.resize(220);
  for (const uint32_t rotation : {0u, 1u}) {
    SCOPED_TRACE(rotation ? "landscape" : "portrait");
    ql_set_rotation(rotation);
    const int top = (H() - 520) / 2;
    const ThanksButtons row = purchase_thanks_screen("Gift");
    ASSERT_EQ(row.y, top + 360);
    const std::vector<uint8_t> short_frame(ql_fb().pixels, ql_fb().pixels + size_t(W()) * H());
    purchase_thanks_screen(title);
    const size_t from = size_t(row.y - 12) * size_t(W());
    EXPECT_TRUE(std::equal(short_frame.begin() + std::ptrdiff_t(from), short_frame.end(),
                           ql_fb().pixels + from))
        << "the buttons and what lies under the box";
    EXPECT_LT(darkest(128, top + 160, W() - 256, 40), 128) << "the title's first line";
    EXPECT_LT(darkest(128, top + 222, W() - 256, 40), 128) << "its second";
    EXPECT_LT(darkest(128, top + 294, W() - 256, 40), 128) << "is now in your library.";

    touches_.touch(200, row.y + 50);  // "Library"
    store_show_purchased_book("/mnt/us/documents/Gift.epub", title);
    EXPECT_EQ(app.view, AppView::Library);
    touches_.touch(W() - 200, row.y + 50);  // "Open book"
    touches_.touch(500, 500);               // closes the cover
    store_show_purchased_book("/mnt/us/documents/Gift.epub", title);
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_EQ(app.view, AppView::Reader);
  }
}

TEST(PurchaseTitle, ShortExtensionsAreCut) {
  struct Case {
    const char* title;
    const char* shown;
  } cases[] = {
      {"Moby Dick.epub", "Moby Dick"},
      {"Guide.pdf", "Guide"},
      {"Comic.azw3", "Comic"},
      {"Volume. 2", "Volume"},
      {"Report.final", "Report.final"},
      {"No dot", "No dot"},
      {".epub", ".epub"},
      {"Ends with.", "Ends with"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(purchase_shown_title(c.title), c.shown);
  }
}

}  // namespace

namespace {

// The real program's screenshot mode: each payment screen's code reads back as what it pays.
TEST(PaymentScreenShots, CodesDecodeToWhatTheyPay) {
  struct Case {
    const char* screen;
    std::string starts;
    std::string never;  // a part the code must not carry
  } cases[] = {
      {"paycard", "https://shop.example.com/basket/pay?order=", "\n"},
      {"payln", "LNBC50U1P", "lnbc"},
      {"paychain", "bitcoin:bc1q", "lightning="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.screen);
    TempDir dir;
    const std::string png = dir / (std::string(c.screen) + ".png");
    const ProgramResult r =
        run_program(QL_TEST_QUILLO, {"--screen", c.screen, png},
                    {{"CVNL_DATA", dir / "data"}, {"TMPDIR", dir.path()}}, kEventCeilingMs);
    ASSERT_EQ(r.status, 0);
    const std::string text = decode_qr(png);
    EXPECT_TRUE(text.starts_with(c.starts)) << text;
    EXPECT_EQ(text.find(c.never), std::string::npos) << text;
  }
}

}  // namespace
