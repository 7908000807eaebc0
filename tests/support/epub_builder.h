// Builds EPUB books for tests, every part explicit: the package is written from the fields, and
// any member can be replaced, left out or added raw.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/zip_writer.h"

struct EpubItem {
  EpubItem(std::string id_, std::string href_, std::string media_type_ = "application/xhtml+xml",
           std::string content_ = "", std::string properties_ = "", bool in_spine_ = true,
           std::string linear_ = "")
      : id(std::move(id_)), href(std::move(href_)), media_type(std::move(media_type_)),
        content(std::move(content_)), properties(std::move(properties_)), in_spine(in_spine_),
        linear(std::move(linear_)) {}
  std::string id;
  std::string href;        // relative to the package's folder
  std::string media_type = "application/xhtml+xml";
  std::string content;     // member bytes
  std::string properties;  // written when not empty
  bool in_spine = true;
  std::string linear;      // written on the itemref when not empty
};

struct EpubPlan {
  std::string title = "Test Book";
  std::string author = "A. Writer";
  std::string language = "en";
  std::string opf_path = "OEBPS/content.opf";
  std::string extra_metadata;             // raw XML inside <metadata>
  std::vector<EpubItem> items;            // manifest order; spine order for those in the spine
  std::vector<std::string> extra_spine;   // raw itemref idrefs appended to the spine
  std::vector<zipw::Member> extra_members;
  std::string mimetype = "application/epub+zip";
  bool with_container = true;
  bool write_opf = true;                  // false: the package member is left out
  std::string opf_override;               // used as the package when not empty
  uint16_t method = zipw::kDeflated;
};

// A whole XHTML document around a body's inner markup.
std::string xhtml(std::string_view body);
// The package document the plan describes.
std::string opf_text(const EpubPlan& plan);
// The archive's members in order (mimetype first, stored).
std::vector<zipw::Member> epub_members(const EpubPlan& plan);
// The archive's bytes.
std::string build_epub(const EpubPlan& plan);
// A "<p>" of `words` plain words, varied by `n`: body text for books that only need pages to fill.
std::string filler_paragraph(int n, int words);
// A plan with one chapter per body, ids "c1", "c2"... at "text/chN.xhtml".
EpubPlan simple_book(const std::vector<std::string>& bodies);
