// "Send books over Wi-Fi": starts the device's upload service, shows its address and PIN as text
// and as a QR code until the user leaves, then stops the service (on a quit too) and rescans.
#include "settings/send_books.h"

#include <string>

#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/framebuffer.h"
#include "display/images.h"
#include "settings/device_script_run.h"
#include "settings/device_services.h"

namespace {
constexpr ScriptOutput kStarted{ScriptOutput::kAnswerAndErrors, "/tmp/ql-xfer.txt", 3};
constexpr ScriptOutput kDiscard{ScriptOutput::kDiscard, nullptr, 0};
constexpr int kNoNetworkMs = 2000;
constexpr uint32_t kTransferWaveform = 7;
constexpr size_t kAddressShownMax = 199;
constexpr int kQrSize = 560;
constexpr int kQrTop = 250;
constexpr int kFrameMargin = 24;
constexpr int kSide = 48;
constexpr int kTextTop = 866;
constexpr int kTextSize = 38;
constexpr int kTextLineHeight = 54;
// The three lines under the instructions: size and baseline below the instructions' end.
constexpr int kAddressSize = 54, kAddressBelow = 20;
constexpr int kPinSize = 64, kPinBelow = 100;
constexpr int kHintSize = 42, kHintBelow = 170;
constexpr std::string_view kPinQuery = "/?pin=";

// A line of the script's answer as shown and encoded: control bytes as blanks, none at either end.
std::string answer_field(std::string_view line) {
  const std::string shown = script_text_shown(line);
  const size_t first = shown.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return shown.substr(first, shown.find_last_not_of(' ') + 1 - first);
}

void stop_transfer() { script_run(ScriptLine(kScriptXfer, "stop"), kDiscard); }

void draw(const std::string& address, const std::string& pin, const std::string& qr_text) {
  const int w = ql_fb().width;
  const TransferGeometry g = transfer_geometry(w);
  app.present.waveform = kTransferWaveform;
  ui_draw_header("Send books over Wi-Fi");
  ql_qr(qr_text.c_str(), g.qr_x, g.qr_y, g.qr_size);
  ql_mark(g.frame_x, g.frame_y, g.frame_size, g.frame_size, MASK_PICTURE);
  constexpr std::string_view how = "Scan with your phone, or open this on a computer on the same Wi-Fi:";
  const int width = w - 2 * kSide;
  const int end = ui_draw_wrapped(how.data(), how.size(), TS_REGULAR, kTextSize, kSide, g.text_y,
                                  width, kTextLineHeight);
  ui_draw_text_fit(address.c_str(), TS_BOLD, kAddressSize, kSide, end + kAddressBelow, width);
  ui_draw_text_fit(("PIN " + pin).c_str(), TS_BOLD, kPinSize, kSide, end + kPinBelow, width);
  ui_draw_text_fit("Tap the arrow when you are done.", TS_REGULAR, kHintSize, kSide, end + kHintBelow, width);
  ui_present(true);
}
}  // namespace

TransferGeometry transfer_geometry(int w) {
  const int qr_x = (w - kQrSize) / 2;
  return {qr_x, kQrTop, kQrSize, qr_x - kFrameMargin, kQrTop - kFrameMargin,
          kQrSize + 2 * kFrameMargin, kTextTop};
}

void send_books_screen() {
  constexpr std::string_view starting = "Starting...";
  ui_toast(starting.data(), starting.size());
  const ScriptReply started = script_run(ScriptLine(kScriptXfer, "start"), kStarted);
  if (!started.ran) return script_not_available();
  // The service may be up even when it could not tell its address: stopped on every way out.
  const QuitCleanup stop_on_quit(stop_transfer);
  if (started.lines.size() < 2) {
    script_message("Connect to Wi-Fi first", kNoNetworkMs);
    stop_transfer();
    return;
  }
  // What the screen shows is what the code encodes.
  const std::string address(ui_utf8_prefix(answer_field(started.lines[0]), kAddressShownMax));
  const std::string pin = answer_field(started.lines[1]);
  const std::string qr_text = address + std::string(kPinQuery) + pin;
  draw(address, pin, qr_text);
  for (;;) {
    TapEvent event;
    ui_wait_event(event);
    if (event.code == TAP_REDRAW) draw(address, pin, qr_text);
    if (event.code == TAP_TOUCH && int(event.y) <= kHeaderBottom) break;
  }
  stop_transfer();
  app_call(app_hooks.books_added);
}
