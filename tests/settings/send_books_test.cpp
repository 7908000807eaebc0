// "Send books over Wi-Fi" over the fake scripts: the address and PIN as text and as a QR code that
// a reader decodes to exactly what is shown, the service stopped however the screen is left, and
// the books that arrived meanwhile in the library.
#include "settings/send_books.h"

#include <gtest/gtest.h>

#include "device_pages_fixture.h"
#include "display/framebuffer.h"
#include "host/plat.h"
#include "library/document_scan.h"
#include "settings/device_services.h"

namespace {
constexpr char kStart[] = "sh /mnt/us/ql/bin/ql-xfer.sh start >/tmp/ql-xfer.txt 2>&1";
constexpr char kStop[] = "sh /mnt/us/ql/bin/ql-xfer.sh stop >/dev/null 2>&1";

class SendBooks : public DevicePagesTest {
 protected:
  void SetUp() override {
    DevicePagesTest::SetUp();
    mkdir(root_.host("us/documents").c_str(), 0755);
    setenv("QUILLO_DOCS", "/mnt/us/documents", 1);
  }
  void TearDown() override {
    unsetenv("QUILLO_DOCS");
    DevicePagesTest::TearDown();
  }
};

TEST_F(SendBooks, TheQrCodeReadsAsTheAddressAndPinShown) {
  struct {
    const char* name;
    std::string answer;
    std::string encoded;
  } cases[] = {
      {"address and PIN", "http://192.168.1.5:8080\n4711\n", "http://192.168.1.5:8080/?pin=4711"},
      {"control bytes shown and encoded as blanks, none at the ends",
       " http://10.0.0.2:8080\t\r\n47\x1b" "11\nextra\n", "http://10.0.0.2:8080/?pin=47 11"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeScripts scripts(root_);
    scripts.answer("ql-xfer.sh start", c.answer);
    const size_t before = scripts.lines().size();
    std::string decoded;
    read_qr_at_wait(decoded, root_.host("qr.png"));
    shot("transfer");
    tap_back();
    send_books_screen();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_EQ(decoded, c.encoded);
    const std::vector<std::string> all = scripts.lines();
    EXPECT_EQ(std::vector<std::string>(all.begin() + long(before), all.end()),
              (std::vector<std::string>{kStart, kStop}));
  }
}

TEST_F(SendBooks, OnlyTheHeaderLeavesAndTheBooksSentAreListed) {
  scripts_.answer("ql-xfer.sh start", "http://192.168.1.5:8080\n4711\n");
  shot("transfer");
  touches_.touch(500, 226);  // just below the header band
  touches_.touch(500, 1300);
  touches_.at_wait([this] {
    write_file(root_.host("us/documents/Sent over Wi-Fi.txt"), "A book from the phone.\n");
    scripts_.note("still showing");
  });
  touches_.touch(900, 225);  // the header band's lowest row, far from the arrow
  send_books_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(scripts_.lines(), (std::vector<std::string>{kStart, "still showing", kStop}));
  ASSERT_EQ(ql_entries().size(), 1u);
  EXPECT_NE(std::string(ql_entries()[0].path).find("Sent over Wi-Fi.txt"), std::string::npos);
  // The QR code's square is framed in neutral grey; the code is drawn inside it.
  const TransferGeometry g = transfer_geometry(W());
  EXPECT_EQ(shot_darkest("transfer", g.qr_x, g.qr_y, g.qr_size, g.qr_size), 0);
  EXPECT_EQ(shot_darkest("transfer", g.frame_x, g.frame_y, g.frame_size, g.qr_y - g.frame_y), 255);
}

TEST_F(SendBooks, TheSquareAroundTheCodeIsMarkedAsAPicture) {
  scripts_.answer("ql-xfer.sh start", "http://192.168.1.5:8080\n4711\n");
  const TransferGeometry g = transfer_geometry(W());
  std::vector<uint8_t> mask;
  touches_.at_wait([&] { mask.assign(ql_mask(), ql_mask() + size_t(W()) * size_t(H())); });
  tap_back();
  send_books_screen();
  ASSERT_FALSE(mask.empty());
  const auto at = [&](int x, int y) { return mask[size_t(y) * size_t(W()) + size_t(x)]; };
  EXPECT_EQ(at(g.frame_x, g.frame_y), MASK_PICTURE);
  EXPECT_EQ(at(g.frame_x + g.frame_size - 1, g.frame_y + g.frame_size - 1), MASK_PICTURE);
  EXPECT_EQ(at(g.frame_x - 1, g.frame_y), MASK_PAPER);
  EXPECT_EQ(at(g.frame_x, g.frame_y + g.frame_size), MASK_PAPER);
}

TEST_F(SendBooks, QuittingStillStopsTheService) {
  scripts_.answer("ql-xfer.sh start", "http://192.168.1.5:8080\n4711\n");
  EXPECT_EXIT(
      {
        touches_.event(HOST_QUIT);
        send_books_screen();
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(scripts_.lines(), (std::vector<std::string>{kStart, kStop}));
}

TEST_F(SendBooks, WithoutAnAddressOrWithoutTheScriptNothingIsShown) {
  struct {
    const char* name;
    int status;
    bool answered;
    std::string answer;
    const char* message;
    std::vector<std::string> lines;
  } cases[] = {
      {"no answer", 0, false, "", "Connect to Wi-Fi first", {kStart, kStop}},
      {"only an error line", 0, true, "no network\n", "Connect to Wi-Fi first", {kStart, kStop}},
      {"blank lines", 0, true, "\n\n \n", "Connect to Wi-Fi first", {kStart, kStop}},
      {"the desktop runs nothing", -1, true, "http://x\n1\n", "Not available on this device.", {kStart}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(root_.host("tmp/ql-xfer.txt"), "http://stale\n1234\n");
    FakeScripts scripts(root_);
    scripts.status = c.status;
    if (c.answered) scripts.answer("ql-xfer.sh start", c.answer);
    const size_t before = scripts.lines().size();
    shot("message");
    touches_.touch(500, 700);
    send_books_screen();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_TRUE(shot_shows_toast("message", c.message));
    const std::vector<std::string> all = scripts.lines();
    EXPECT_EQ(std::vector<std::string>(all.begin() + long(before), all.end()), c.lines);
  }
}
}  // namespace
