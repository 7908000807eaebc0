#include "shell/screen_shots.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>

#include "app/reader/book_lists.h"
#include "app/reader/book_menu.h"
#include "app/reader/reader_page.h"
#include "app/reader/reader_toolbar.h"
#include "app/reader/reading_options.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_state.h"
#include "audio/audio_player.h"
#include "base/atomic_file.h"
#include "base/paths.h"
#include "library/book_details.h"
#include "library/document_scan.h"
#include "library/library_menu.h"
#include "library/library_screen.h"
#include "library/library_view.h"
#include "library/morning_paper.h"
#include "settings/device_options.h"
#include "settings/frontlight_panel.h"
#include "settings/quick_settings.h"
#include "settings/settings_pages.h"
#include "settings/usb_drive.h"
#include "store/new_books.h"
#include "store/payment_invoice.h"
#include "store/purchase_thanks.h"
#include "store/store_catalog.h"
#include "store/store_home.h"
#include "store/store_payment.h"

namespace {
// The current page of the book given on the command line.
void show_reader(std::string_view) {
  reader_draw_page();
  ui_present(false);
}

void show_toolbar(std::string_view) { reader_toolbar(); }

void show_lists(std::string_view) { book_lists_screen(0); }

void show_book_menu(std::string_view) { book_menu(); }

// The reading options over the current page.
void show_options(std::string_view) {
  reader_draw_page();
  reading_options_screen();
}

// The keyboard as a search starts: a short text typed into the library search.
void show_keyboard(std::string_view) {
  constexpr std::string_view title = "Search library";
  constexpr std::string_view sample = "moby dick";
  char text[64];
  keyboard_edit(title.data(), title.size(), text, sizeof text, sample.data(), sample.size(), false);
}

// The library as the documents folder holds it, covers decoded at once.
void show_library_as(bool grid) {
  library_rescan_documents();
  ui_state.grid = grid;
  library_view_draw();
  ui_present(true);
}
void show_library(std::string_view) { show_library_as(false); }
void show_grid(std::string_view) { show_library_as(true); }

// Rescans, makes the last entry the one new book (as just bought) and rebuilds the view; that
// entry, or none when the documents folder holds no book.
const ScanEntry* rescan_with_last_entry_new() {
  library_rescan_documents();
  const std::span<const ScanEntry> entries = ql_entries();
  if (!entries.empty()) {
    const std::string_view name = path_file_name(entries.back().path);
    new_books = NewBooks{};
    new_books.loaded = true;
    const size_t n = std::min(name.size(), kNewBookNameMax);
    std::copy_n(name.data(), n, new_books.names[0].data());
    new_books.count = 1;
  }
  library_rebuild_view();
  return entries.empty() ? nullptr : &entries.back();
}

// The library with its last entry just bought: the one new book.
void show_library_new(std::string_view) {
  rescan_with_last_entry_new();
  library_view_draw();
  ui_present(true);
}

// The library menu over the library as the documents folder holds it.
void show_menu(std::string_view) {
  library_rescan_documents();
  library_menu();
}

// The details of the first book the documents folder holds.
void show_details(std::string_view) {
  library_rescan_documents();
  book_details_screen(0);
}

// The Morning Paper screen over the documents folder's editions.
void show_paper(std::string_view) {
  library_rescan_documents();
  app.view = AppView::Paper;
  morning_paper_screen();
}

void show_morning(std::string_view) { morning_settings_menu(); }

// The player for a sample audiobook that is not on the device: nothing playing, no cover.
void show_audio(std::string_view) {
  constexpr std::string_view kSample = "/mnt/us/documents/Audiobooks/The Sample Audiobook.m4b";
  audio_player_screen(audio_book_make(kSample, {}, {}));
}

// Quick settings, the frontlight panel, device options, the USB screen and About.
void show_quick(std::string_view) { quick_settings_panel(); }
void show_light(std::string_view) {
  reader_draw_page();
  frontlight_panel(false);
}
void show_light_full(std::string_view) { frontlight_panel(true); }
void show_device(std::string_view) { device_options_menu(); }
void show_usb(std::string_view) { usb_connected_screen(); }
void show_about(std::string_view) { about_screen(); }

// The store's home screen.
void show_store(std::string_view) {
  app.view = AppView::Store;
  store_home_screen();
}

// Store payment and purchase screens, with the sample amount and a sample pay page on a reserved
// host name (a sample never names a real store).
constexpr std::string_view kSampleTotal = "\xE2\x82\xAC" "5.00";
constexpr std::string_view kSamplePayPage = "https://shop.example.com/basket/pay";
constexpr std::string_view kSampleCardPayPage =
    "https://shop.example.com/basket/pay?order=1042&v=3f9a0c1d2e4b5a6978c0d1e2";

constexpr char kMockInvoicePath[] = "/tmp/ql-mock-invoice.json";
constexpr std::string_view kMockInvoice =
    "{\"invoiceBitcoinUrl\":\"bitcoin:bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq?amount=0.00005"
    "&lightning=lnbc50u1pn9sample0pp5qqqsyqcyq5rqwzqfqqqsyqcyq5rqwzqfqqqsyqcyq5rqwzqfqypqdq5"
    "xysxxatsyp3k7enxv4jsxqzpusp5zyg3zyg3zyg3zyg3zyg3zyg3zyg3zyg3zyg3zyg3zyg3zyg3zygs9qrsgq\","
    "\"due\":\"5000\"}";

// The invoice in /tmp/ql-mock-invoice.json (a sample one is put there when none is), in the named
// screen's state.
void show_payment_invoice(std::string_view name) {
  if (qlp_access(kMockInvoicePath, F_OK) != 0) file_write_atomic(kMockInvoicePath, kMockInvoice.data(), kMockInvoice.size());
  const std::optional<std::string> text = read_file_alloc(kMockInvoicePath, kInvoiceReadMax);
  if (!text) return;
  InvoiceData invoice;
  const bool split = invoice_split_bitcoin_url(*text, invoice);
  payment_qr_screen(kSamplePayPage, kSampleTotal, true,
                    split ? &invoice : nullptr, name == "paychain",
                    name == "payseen" ? PayState::Seen : PayState::Waiting);
  ui_present(true);
}

// A card payment's pay page for a sample order.
void show_payment_card(std::string_view) {
  payment_qr_screen(kSampleCardPayPage, kSampleTotal, false, nullptr, false, PayState::Waiting);
  ui_present(true);
}

// The greeting for the last entry, as if just bought; "thanks2" keeps bought books in the library.
void show_thanks(std::string_view name) {
  if (name == "thanks2") ui_state.buy = true;
  const ScanEntry* bought = rescan_with_last_entry_new();
  if (!bought) {
    fprintf(stderr,
            "quillo: the documents folder holds no book, so the screen \"%.*s\" shows none\n",
            static_cast<int>(name.size()), name.data());
  }
  purchase_thanks_screen(bought ? std::string_view(bought->title) : std::string_view());
  ui_present(true);
}

// The settings hub.
void show_settings(std::string_view) { settings_pages(); }

constexpr std::array kScreenShots = {
    ScreenShot{"library", show_library},
    ScreenShot{"grid", show_grid},
    ScreenShot{"reader", show_reader, ScreenBook::Given},
    ScreenShot{"toolbar", show_toolbar, ScreenBook::Given},
    ScreenShot{"goto", show_lists, ScreenBook::Given},
    ScreenShot{"aa", show_options, ScreenBook::Given},
    ScreenShot{"light", show_light, ScreenBook::Given},
    ScreenShot{"keyboard", show_keyboard},
    ScreenShot{"settings", show_settings},
    ScreenShot{"quick", show_quick},
    ScreenShot{"device", show_device},
    ScreenShot{"menu", show_menu},
    ScreenShot{"details", show_details, ScreenBook::InLibrary},
    ScreenShot{"morning", show_morning},
    ScreenShot{"payln", show_payment_invoice},
    ScreenShot{"paychain", show_payment_invoice},
    ScreenShot{"payseen", show_payment_invoice},
    ScreenShot{"paycard", show_payment_card},
    ScreenShot{"thanks", show_thanks},
    ScreenShot{"thanks2", show_thanks},
    ScreenShot{"libnew", show_library_new},
    ScreenShot{"usb", show_usb},
    ScreenShot{"lightfull", show_light_full},
    ScreenShot{"about", show_about},
    ScreenShot{"paper", show_paper},
    ScreenShot{"store", show_store},
    ScreenShot{"bookmenu", show_book_menu, ScreenBook::Given},
    ScreenShot{"audio", show_audio},
};
}  // namespace

std::span<const ScreenShot> screen_shots() { return kScreenShots; }

const ScreenShot* screen_shot_named(std::string_view name) {
  const auto found = std::find_if(kScreenShots.begin(), kScreenShots.end(),
                                  [name](const ScreenShot& shot) { return shot.name == name; });
  return found == kScreenShots.end() ? nullptr : &*found;
}

std::string screen_shot_names() {
  std::string names;
  for (const ScreenShot& shot : kScreenShots) {
    if (!names.empty()) names += ", ";
    names += shot.name;
  }
  return names;
}
