#include "support/epub_builder.h"

std::string xhtml(std::string_view body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\">\n"
         "<head><title>t</title><style>p { margin: 0 }</style></head>\n<body>" +
         std::string(body) + "</body>\n</html>\n";
}

std::string opf_text(const EpubPlan& plan) {
  if (!plan.opf_override.empty()) return plan.opf_override;
  std::string o =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"id\">\n"
      "  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
      "    <dc:identifier id=\"id\">test-book</dc:identifier>\n";
  if (!plan.title.empty()) o += "    <dc:title>" + plan.title + "</dc:title>\n";
  if (!plan.author.empty()) o += "    <dc:creator>" + plan.author + "</dc:creator>\n";
  if (!plan.language.empty()) o += "    <dc:language>" + plan.language + "</dc:language>\n";
  o += plan.extra_metadata + "  </metadata>\n  <manifest>\n";
  for (const EpubItem& it : plan.items) {
    o += "    <item id=\"" + it.id + "\" href=\"" + it.href + "\" media-type=\"" + it.media_type + "\"";
    if (!it.properties.empty()) o += " properties=\"" + it.properties + "\"";
    o += "/>\n";
  }
  o += "  </manifest>\n  <spine>\n";
  for (const EpubItem& it : plan.items) {
    if (!it.in_spine) continue;
    o += "    <itemref idref=\"" + it.id + "\"";
    if (!it.linear.empty()) o += " linear=\"" + it.linear + "\"";
    o += "/>\n";
  }
  for (const std::string& idref : plan.extra_spine) o += "    <itemref idref=\"" + idref + "\"/>\n";
  o += "  </spine>\n</package>\n";
  return o;
}

std::vector<zipw::Member> epub_members(const EpubPlan& plan) {
  std::vector<zipw::Member> m;
  m.push_back({"mimetype", plan.mimetype, zipw::kStored});
  if (plan.with_container) {
    m.push_back({"META-INF/container.xml",
                 "<?xml version=\"1.0\"?>\n<container version=\"1.0\" "
                 "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n  <rootfiles>\n"
                 "    <rootfile full-path=\"" + plan.opf_path +
                     "\" media-type=\"application/oebps-package+xml\"/>\n  </rootfiles>\n</container>\n",
                 plan.method});
  }
  if (plan.write_opf) m.push_back({plan.opf_path, opf_text(plan), plan.method});
  std::string folder = plan.opf_path.substr(0, plan.opf_path.rfind('/') + 1);
  for (const EpubItem& it : plan.items) {
    if (!it.content.empty()) m.push_back({folder + it.href, it.content, plan.method});
  }
  for (const zipw::Member& extra : plan.extra_members) m.push_back(extra);
  return m;
}

std::string build_epub(const EpubPlan& plan) { return zipw::build(epub_members(plan)); }

EpubPlan simple_book(const std::vector<std::string>& bodies) {
  EpubPlan plan;
  for (size_t i = 0; i < bodies.size(); i++) {
    std::string n = std::to_string(i + 1);
    plan.items.push_back({"c" + n, "text/ch" + n + ".xhtml", "application/xhtml+xml", xhtml(bodies[i])});
  }
  return plan;
}

std::string filler_paragraph(int n, int words) {
  static const char* kWords[] = {"river", "stone", "quiet", "morning", "lantern", "harbour", "window",
                                 "garden", "letter", "meadow", "silver", "anchor"};
  std::string p;
  for (int i = 0; i < words; ++i) {
    if (!p.empty()) p += ' ';
    p += kWords[(n * 7 + i * 5) % 12];
  }
  return "<p>" + p + ".</p>";
}
