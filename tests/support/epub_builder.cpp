#include "support/epub_builder.h"

std::string xhtml(std::string_view body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\">\n"
         "<head><title>t</title><style>p { margin: 0 }</style></head>\n<body>" +
         std::string(body) + "</body>\n</html>\n";
}

std::string opf_text(const EpubSpec& spec) {
  if (!spec.opf_override.empty()) return spec.opf_override;
  std::string o =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"id\">\n"
      "  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
      "    <dc:identifier id=\"id\">test-book</dc:identifier>\n";
  if (!spec.title.empty()) o += "    <dc:title>" + spec.title + "</dc:title>\n";
  if (!spec.author.empty()) o += "    <dc:creator>" + spec.author + "</dc:creator>\n";
  if (!spec.language.empty()) o += "    <dc:language>" + spec.language + "</dc:language>\n";
  o += spec.extra_metadata + "  </metadata>\n  <manifest>\n";
  for (const EpubItem& it : spec.items) {
    o += "    <item id=\"" + it.id + "\" href=\"" + it.href + "\" media-type=\"" + it.media_type + "\"";
    if (!it.properties.empty()) o += " properties=\"" + it.properties + "\"";
    o += "/>\n";
  }
  o += "  </manifest>\n  <spine>\n";
  for (const EpubItem& it : spec.items) {
    if (!it.in_spine) continue;
    o += "    <itemref idref=\"" + it.id + "\"";
    if (!it.linear.empty()) o += " linear=\"" + it.linear + "\"";
    o += "/>\n";
  }
  for (const std::string& idref : spec.extra_spine) o += "    <itemref idref=\"" + idref + "\"/>\n";
  o += "  </spine>\n</package>\n";
  return o;
}

std::vector<zipw::Member> epub_members(const EpubSpec& spec) {
  std::vector<zipw::Member> m;
  m.push_back({"mimetype", spec.mimetype, zipw::kStored});
  if (spec.with_container) {
    m.push_back({"META-INF/container.xml",
                 "<?xml version=\"1.0\"?>\n<container version=\"1.0\" "
                 "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n  <rootfiles>\n"
                 "    <rootfile full-path=\"" + spec.opf_path +
                     "\" media-type=\"application/oebps-package+xml\"/>\n  </rootfiles>\n</container>\n",
                 spec.method});
  }
  if (spec.write_opf) m.push_back({spec.opf_path, opf_text(spec), spec.method});
  std::string folder = spec.opf_path.substr(0, spec.opf_path.rfind('/') + 1);
  for (const EpubItem& it : spec.items) {
    if (!it.content.empty()) m.push_back({folder + it.href, it.content, spec.method});
  }
  for (const zipw::Member& extra : spec.extra_members) m.push_back(extra);
  return m;
}

std::string build_epub(const EpubSpec& spec) { return zipw::build(epub_members(spec)); }

EpubSpec simple_book(const std::vector<std::string>& bodies) {
  EpubSpec spec;
  for (size_t i = 0; i < bodies.size(); i++) {
    std::string n = std::to_string(i + 1);
    spec.items.push_back({"c" + n, "text/ch" + n + ".xhtml", "application/xhtml+xml", xhtml(bodies[i])});
  }
  return spec;
}
