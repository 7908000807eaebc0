// Chapter bodies that reach the word reader's harder paths: line breaks (self-closed, paired,
// doubled), soft hyphens written three ways, page-break markers, hidden elements, no-break spaces
// and dashes against tags. The EPUB, XHTML and converter harnesses start from them, so a check
// that a real book would break fails on the first run instead of somewhere in a campaign.
#pragma once
#include <array>
#include <string>
#include <string_view>

namespace fuzz {

inline constexpr std::array<std::string_view, 6> kSeedBodies = {
    "<p>The first line<br/>and the second<br/><br/>a new stanza<br></br>and its line.</p>"
    "<p>Two<br/></p><br/>",
    "<p>A soft hy&#173;phen, an&shy;other and a raw on\xC2\xAD" "e; ex\xC2\xAD</p>"
    "<p>\xC2\xAD</p><h2>Hy&#xAD;phen&shy;ated</h2>",
    "<p>marching along <span epub:type=\"pagebreak\" id=\"p173\" title=\"173\">173</span> the "
    "high road</p><div role=\"doc-pagebreak\" id=\"p174\" aria-label=\"174\"/>"
    "<p>past <span epub:type=\"pagebreak\" id=\"p175\"/>the mill</p>",
    "<nav epub:type=\"page-list\" hidden=\"\"><ol><li><a href=\"#p173\">173</a></li></ol></nav>"
    "<p hidden=\"hidden\">Not shown <b>at all</b></p><p>Shown<span hidden> nor this</span>.</p>"
    "<section hidden><p>Hidden <br/> lines</p></section>",
    "<p>\xC2\xAB&nbsp;Oui&#160;! \xC2\xBB dit-il&nbsp;; puis\xC2\xA0: non.</p>"
    "<p>\xE2\x80\x9CYes\xE2\x80\x94\xE2\x80\x9D said\xE2\x80\x94, aside\xE2\x80\x94) "
    "road\xE2\x80\x94<em>one</em> word--word well-known</p>",
    "<p><i>Peculiar\xE2\x80\x94that</i> <b>x<br/>y</b><sup>1<br/></sup><a href=\"#p173\">"
    "173</a></p><pre>pre\nformatted\n\nlines</pre><table><tr><td>a<br/>b</td></tr></table>",
};

// One XHTML chapter around a body.
inline std::string seed_chapter(std::string_view body) {
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
      "xmlns:epub=\"http://www.idpf.org/2007/ops\"><head><title>Seed</title></head><body>";
  doc += body;
  doc += "</body></html>";
  return doc;
}

}  // namespace fuzz
