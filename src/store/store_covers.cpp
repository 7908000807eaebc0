#include "store/store_covers.h"

#include <algorithm>
#include <memory>
#include <sys/stat.h>

#include "app/ui/ui_text.h"
#include "base/atomic_file.h"
#include "base/paths.h"
#include "base/shell_quote.h"
#include "base/wyhash.h"
#include "book/covers.h"
#include "display/device_scripts.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "display/images.h"

namespace {
constexpr int kTileX = 48;
constexpr uint8_t kPlaceholderGrey = 235;
constexpr size_t kQuotedAddressMax = 593;
constexpr size_t kCommandMax = 3997;      // with the tail
constexpr size_t kCommandBodyMax = 3980;  // before the tail
constexpr std::string_view kTail = " >/dev/null 2>&1 &";

std::string cover_key(const StoreItem& item) { return cache_key_hex(CacheKey(item.img)); }

std::string cover_path(const StoreItem& item, std::string_view suffix) {
  return std::string(kCoversFolder) + "/s" + cover_key(item) + std::string(suffix);
}

void draw_tile(const uint8_t* pixels, int y, int w, int h) {
  ql_blit(pixels, w, h, kTileX, y);
  ql_mark(kTileX, y, w, h, MASK_PICTURE);
  ql_frame(kTileX, y, w, h, 1);
}

void draw_placeholder(const StoreItem& item, int y, int w, int h) {
  ql_rect(kTileX, y, w, h, kPlaceholderGrey);
  const int size = std::max(w / 7, 16);
  const int width = w - 16;
  const std::string line = ui_cut_to_width(ui_utf8_prefix(item.title, sizeof item.title), TS_UI,
                                           float(size), float(width));
  const float measured = ql_measure(line.c_str(), TS_UI, float(size));
  const float x = float(kTileX) + 8 + std::max(0.0f, (float(width) - measured) / 2);
  ql_text(line.c_str(), TS_UI, float(size), x, float(y + h / 2 + size / 3));
  ql_frame(kTileX, y, w, h, 1);
}
}  // namespace

bool store_draw_cover_tile(const StoreItem& item, int y, int w, int h) {
  const size_t bytes = size_t(w) * size_t(h);
  std::string suffix = "-";
  suffix.append(std::to_string(w)).append("x").append(std::to_string(h)).append(".g");
  const std::string tile_path = cover_path(item, suffix);
  if (const auto tile = read_file_alloc(tile_path.c_str(), bytes + 1);
      tile && tile->size() == bytes) {
    draw_tile(reinterpret_cast<const uint8_t*>(tile->data()), y, w, h);
    return true;
  }
  // An address the store may not give (not https) is never fetched: a placeholder for good.
  if (store_absolute_url(item.img, kQlPathMax).empty()) {
    draw_placeholder(item, y, w, h);
    return true;
  }
  const std::string image_path = cover_path(item, ".img");
  struct stat st {};
  if (qlp_stat(image_path.c_str(), &st) != 0) {
    draw_placeholder(item, y, w, h);
    return false;
  }
  const std::unique_ptr<uint8_t[]> pixels(new uint8_t[bytes]);
  // An image still being written fails here and is tried again at the next redraw.
  if (!ql_image_file(image_path.c_str(), pixels.get(), w, h)) {
    draw_placeholder(item, y, w, h);
    return true;
  }
  qlp_mkdir(kCoversFolder, 0755);
  file_write_atomic(tile_path.c_str(), pixels.get(), bytes);
  draw_tile(pixels.get(), y, w, h);
  return true;
}

std::string store_cover_command(std::span<const uint16_t> items) {
  ScriptLine line(kScriptStore, "covers");
  bool any = false;
  for (const uint16_t index : items) {
    const StoreItem& item = store.items[index];
    const std::string url = store_absolute_url(item.img, kQlPathMax);
    if (url.empty()) continue;
    std::string pair = std::string(" ").append(cover_key(item)).append(" ");
    shell_quote_append(pair, url, kQuotedAddressMax);
    if (line.text().size() + pair.size() + kTail.size() > kCommandMax) break;
    line.raw(pair);
    any = true;
  }
  if (!any || line.text().size() > kCommandBodyMax) return {};
  return line.raw(kTail).text();
}
