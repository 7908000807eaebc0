// The checkout driven by scripted taps: the method list, the consent page, the request the store
// script reads, the basket id kept across checkouts, the script's answers and their messages, and
// the hand-over to the payment screen.
#include <functional>
#include <gtest/gtest.h>

#include "base/json_value.h"
#include "base/wyhash.h"
#include "store/store_basket.h"
#include "store/store_checkout.h"
#include "store_test_fixture.h"

namespace {
constexpr char kAnswer[] =
    R"({"orderId":"ORD-7","viewKey":"v7","payUrl":"/basket/pay?order=7","checkoutUrl":"https://pay.example.com/i/INV77"})";

class Checkout : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    load({sku_json("a\\\"q", "Alpha", 500), sku_json("b\\\\s", "Beta", 250),
          sku_json("c\\nl", "Gamma", 1), sku_json("usd", "Zed Dollar", 300, "X", "USD")});
  }
  // One checkout of `items` with `method` (0 Bitcoin, 1 card), agreed to; `paying` leaves the
  // payment screen at once.
  bool checkout(std::vector<uint16_t> items, int method, bool paying = true) {
    choose_method(method);
    agree();
    if (paying) tap_back();
    return store_checkout(items);
  }
  std::string basket_file() const {
    return file_exists(root_.state("store-basket")) ? read_file(root_.state("store-basket")) : "";
  }
  static std::string basket_id_of(const std::string& request) {
    const auto json = json_parse(request);
    return json ? std::string(json->string_at("basketId").value_or("")) : "";
  }
};
}  // namespace

TEST_F(Checkout, RequestIsJsonWithEveryTextEscaped) {
  write_file(root_.state("store-country"), "DE\n");
  script_.checkout = kAnswer;
  choose_method(1);
  agree();
  std::string qr;
  read_qr_at_wait(qr, root_.host("qr.png"));
  tap_back();
  EXPECT_FALSE(store_checkout(std::vector<uint16_t>{0, 1, 2}));  // the payment screen was left
  // The relative pay address on the store's host, as the card payment's QR code.
  EXPECT_EQ(qr, "https://shop.example.com/basket/pay?order=7");
  ASSERT_EQ(script_.requests.size(), 1u);
  const std::string& req = script_.requests[0];
  const std::string id = basket_id_of(req);
  ASSERT_EQ(id.size(), 32u);
  EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(req, R"({"method":"stripe","items":[{"sku":"a\"q","qty":1},{"sku":"b\\s","qty":1},)"
                 R"({"sku":"c\nl","qty":1}],"basketId":")" +
                     id +
                     R"(","digitalConsent":true,"address":{"country":"DE"},"locale":"en",)"
                     R"("acceptedTotalCents":751,"acceptedCurrency":"EUR"})");
  // The id belongs to the hash of the request up to the last item's "}", the "]" left out.
  const uint64_t hash = wyhash(req.data(), req.find("],\"basketId\""), 0);
  EXPECT_EQ(basket_file(), std::to_string(hash) + " " + id);
  // The items sorted by title: Alpha, Beta, Gamma keep their skus through the escapes.
  const auto json = json_parse(req);
  ASSERT_TRUE(json);
  EXPECT_EQ(json->find("items")->items[0].string_at("sku"), "a\"q");
  EXPECT_EQ(json->find("items")->items[2].string_at("sku"), "c\nl");
  // The order is recorded before any payment, with the first item's title.
  EXPECT_NE(read_file(root_.state("orders.tsv")).find("ORD-7\tv7\t"), std::string::npos);
  EXPECT_NE(read_file(root_.state("orders.tsv")).find("\tAlpha"), std::string::npos);
  // The answer is removed once read; the watcher is told the order.
  EXPECT_FALSE(file_exists(root_.state("store-resp.json")));
  ASSERT_EQ(script_.verb_lines("watch").size(), 1u);
  EXPECT_NE(script_.verb_lines("watch")[0].find("watch 'ORD-7' 'v7'"), std::string::npos);
  EXPECT_TRUE(script_.verb_lines("invoice").empty());  // card payments have no invoice
  EXPECT_TRUE(ScriptedTouch::done());
}

TEST_F(Checkout, CountryFromItsFileElsePortugal) {
  struct Case {
    const char* file;  // nullptr: no file
    const char* country;
  } cases[] = {{"DE\n", "DE"},  {"fr \r\n", "fr"}, {"DEU\n", "PT"}, {"", "PT"},
               {nullptr, "PT"}, {"D\"", "D\""},    {"\nDE", "PT"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "(none)");
    remove(root_.state("store-country").c_str());
    if (c.file) write_file(root_.state("store-country"), c.file);
    EXPECT_EQ(store_country(), c.country);
  }
  write_file(root_.state("store-country"), "D\"");
  EXPECT_NE(store_req_json_tail("id", store_country(), 5, "EUR").find(R"("country":"D\""})"),
            std::string::npos);
}

TEST_F(Checkout, BasketIdFollowsMethodAndItemsInOrder) {
  struct Step {
    const char* name;
    std::vector<uint16_t> items;
    int method;
    bool same_as_previous;
  } steps[] = {
      {"first", {0, 1}, 0, false},        {"again", {0, 1}, 0, true},
      {"other method", {0, 1}, 1, false}, {"other order", {1, 0}, 1, false},
      {"fewer items", {1}, 1, false},     {"same again", {1}, 1, true},
  };
  std::string previous;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    script_.requests.clear();
    EXPECT_FALSE(checkout(s.items, s.method, false));  // no answer: "Could not reach"
    ASSERT_EQ(script_.requests.size(), 1u);
    const std::string id = basket_id_of(script_.requests[0]);
    EXPECT_EQ(id == previous, s.same_as_previous);
    EXPECT_EQ(basket_file().substr(basket_file().find(' ') + 1), id);
    previous = id;
  }
  // A new run finds the id in store-basket.
  store.basket_id[0] = '\0';
  script_.requests.clear();
  checkout({1}, 1, false);
  EXPECT_EQ(basket_id_of(script_.requests.at(0)), previous);
  // A file that is not ours gives a new id, never a broken one.
  store.basket_id[0] = '\0';
  write_file(root_.state("store-basket"), "12x \"junk\n");
  script_.requests.clear();
  checkout({1}, 1, false);
  const std::string fresh = basket_id_of(script_.requests.at(0));
  EXPECT_EQ(fresh.size(), 32u);
  EXPECT_EQ(basket_file().substr(basket_file().find(' ') + 1), fresh);
}

TEST_F(Checkout, AnswersAndTheirMessages) {
  struct Case {
    const char* name;
    std::optional<std::string> answer;
    const char* message;  // nullptr: none
  } cases[] = {
      {"no answer", std::nullopt, "Could not reach shop.example.com"},
      {"plain text", "Service Unavailable", "Checkout is not available yet on the server"},
      {"no pay address", R"({"orderId":"1","viewKey":"k","error":"sold out"})",
       "Checkout failed: sold out"},
      {"no error text", R"({"orderId":"1","viewKey":"k","payUrl":""})",
       "Checkout failed: unknown error"},
      {"error not a string", R"({"orderId":1,"viewKey":"k","payUrl":"/p","error":5})",
       "Checkout failed: unknown error"},
      {"insecure pay address",
       R"({"orderId":"1","viewKey":"k","payUrl":"http://shop.example.com/p"})",
       "Checkout failed: the payment address is not a secure link"},
      {"long error", R"({"error":")" + std::string(200, 'e') + R"("})", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script_.checkout = c.answer;
    script_.lines.clear();
    choose_method(0);
    agree();
    EXPECT_FALSE(store_checkout(std::vector<uint16_t>{0}));
    EXPECT_EQ(script_.verb_lines("checkout").size(), 1u);
    EXPECT_TRUE(script_.verb_lines("watch").empty());
    if (c.message) {
      EXPECT_TRUE(screen_shows_toast(c.message));
    }
    EXPECT_FALSE(file_exists(root_.state("orders.tsv")));
  }
  EXPECT_EQ(store_format_checkout_error(std::string(200, 'e')).size(), 119u);
  EXPECT_EQ(store_format_checkout_error(std::string(101, 'x') + "\xC3\xA9!").size(),
            118u);  // never half of é
}

TEST_F(Checkout, AnOldAnswerIsNeverReadAsTheNewOne) {
  write_file(root_.state("store-resp.json"), kAnswer);
  script_.checkout.reset();
  choose_method(1);
  agree();
  EXPECT_FALSE(store_checkout(std::vector<uint16_t>{0}));
  EXPECT_TRUE(screen_shows_toast("Could not reach shop.example.com"));
  EXPECT_TRUE(script_.verb_lines("watch").empty());
  EXPECT_FALSE(file_exists(root_.state("orders.tsv")));
}

TEST_F(Checkout, CancelsBeforeAnyRequest) {
  struct Case {
    const char* name;
    std::function<void()> taps;
  } cases[] = {
      {"Cancel row", [this] { choose_method(2); }},
      {"back from the list", [this] { tap_back(); }},
      {"Cancel button",
       [this] {
         choose_method(0);
         decline();
       }},
      {"back from consent",
       [this] {
         choose_method(0);
         tap_back();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.taps();
    EXPECT_FALSE(store_checkout(std::vector<uint16_t>{0}));
    EXPECT_TRUE(ScriptedTouch::done());
  }
  EXPECT_TRUE(script_.lines.empty());
  EXPECT_FALSE(file_exists(root_.state("store-req.json")));
  EXPECT_FALSE(file_exists(root_.state("store-basket")));
}

TEST_F(Checkout, ConsentPageWaitsForAClearAnswer) {
  choose_method(1);
  shot("consent");
  touches_.touch(W() - 200, 700);        // the text: nothing
  touches_.touch(W() - 200, H() - 250);  // the band's edge: nothing
  decline();
  EXPECT_FALSE(store_checkout(std::vector<uint16_t>{0, 1}));
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(script_.lines.empty());
  EXPECT_LT(shot_darkest("consent", 48, 270, 400, 60), 100);  // "Total €7.50"
}

TEST_F(Checkout, MixedCurrenciesAreNeverSummed) {
  EXPECT_FALSE(store_checkout(std::vector<uint16_t>{0, 3}));
  EXPECT_TRUE(
      screen_shows_toast("These books are priced in different currencies. Buy them separately."));
  EXPECT_TRUE(script_.lines.empty());
  // One currency other than the euro goes out as it is.
  script_.checkout = R"({"error":"x"})";
  choose_method(1);
  agree();
  store_checkout(std::vector<uint16_t>{3});
  EXPECT_NE(script_.requests.at(0).find(R"("acceptedTotalCents":300,"acceptedCurrency":"USD"})"),
            std::string::npos);
}

TEST_F(Checkout, BitcoinInvoiceIdOnlyFromThePaymentServer) {
  struct Case {
    const char* checkout_url;
    const char* invoice_line;  // nullptr: no invoice asked for
  } cases[] = {
      {"https://pay.example.com/i/INV77",
       "sh /mnt/us/ql/bin/ql-store.sh invoice 'INV77' >/dev/null 2>&1"},
      {"https://pay.example.net/i/INV77", nullptr},
      {"https://pay.example.com/x/INV77", nullptr},
      {"https://pay.example.com/i/", nullptr},
      {"https://pay.example.com.example/i/INV77", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.checkout_url);
    script_.lines.clear();
    script_.checkout =
        std::string(
            R"({"orderId":"O","viewKey":"K","payUrl":"https://shop.example.com/p","checkoutUrl":")") +
        c.checkout_url + "\"}";
    EXPECT_FALSE(checkout({0}, 0));
    EXPECT_EQ(script_.verb_lines("invoice"), c.invoice_line
                                                 ? std::vector<std::string>{c.invoice_line}
                                                 : std::vector<std::string>{});
    EXPECT_EQ(script_.verb_lines("watch").size(), 1u);
  }
}

TEST_F(Checkout, AnExpiredInvoiceDiscardsTheBasketId) {
  script_.checkout = kAnswer;
  choose_method(0);
  agree();
  touches_.at_wait([this] { write_file(root_.state("store-pay.state"), "expired\n"); });
  EXPECT_FALSE(store_checkout(std::vector<uint16_t>{0, 1}));
  EXPECT_FALSE(file_exists(root_.state("store-basket")));
  EXPECT_EQ(store.basket_id[0], '\0');
}
