// The reader view drawn into the frame: a laid-out text page with pictures, list numbers,
// superscripts and highlight shading, or a PDF/CBZ page with its highlighted regions; then the
// footer and the bookmark ribbon.
#pragma once
#include <cstdint>
#include <string>

// The current page of the open book, footer and ribbon included.
void reader_draw_page();
// Clears the drawing target and draws one text page with its footer (also off screen). A page
// past the end of the layout stays blank, without footer.
void reader_render_text_page(uint64_t page);
// Shades the region notes of the current PDF/CBZ page.
void reader_draw_pdf_highlights();
// The footer line of `page` of `pages` in the interface state's footer mode.
void reader_draw_footer(uint64_t page, uint64_t pages);

// The two texts of the footer ("" where the mode shows none).
struct FooterTexts {
  std::string left;
  std::string right;
};
FooterTexts reader_footer_texts(uint64_t page, uint64_t pages);
// "N min left" or "H h M min left" at 250 words a minute.
std::string reading_time_left(uint64_t words_left);
