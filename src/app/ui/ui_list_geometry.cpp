#include "app/ui/ui_list_geometry.h"

#include <algorithm>

ListGeometry list_geometry(uint64_t row_count, uint64_t page, int row_height, int screen_h) {
  ListGeometry g;
  g.row_height = std::max(row_height, 1);
  g.per_page = std::max((screen_h - kListReservedH) / g.row_height, 1);
  const uint64_t per = uint64_t(g.per_page);
  g.pages = std::max<uint64_t>((row_count + per - 1) / per, 1);
  g.page = std::min(page, g.pages - 1);
  g.first = g.page * per;
  g.shown = std::min(per, row_count - std::min(g.first, row_count));
  g.pager_top = screen_h - kListPagerBand;
  return g;
}

ListHit list_hit(const ListGeometry& g, int x, int y, int screen_w) {
  if (y < kListTop) return {};
  if (g.has_pager() && y > g.pager_top) {
    if (x < screen_w / 2) return g.page > 0 ? ListHit{ListTap::PreviousPage} : ListHit{};
    return g.page + 1 < g.pages ? ListHit{ListTap::NextPage} : ListHit{};
  }
  const uint64_t slot = uint64_t(y - kListTop) / uint64_t(g.row_height);
  // A slot past the page's rows is empty, never the next page's first row.
  if (slot >= g.shown) return {};
  return {ListTap::Row, g.first + slot};
}

std::string ui_pager_label(uint64_t page, uint64_t pages, int spaces) {
  const std::string gap(size_t(std::max(spaces, 0)), ' ');
  return "\xE2\x80\xB9" + gap + std::to_string(page) + " of " + std::to_string(pages) + gap +
         "\xE2\x80\xBA";
}
