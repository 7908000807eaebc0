// Stand-in until the PDF and CBZ adapter exists: every document is refused with the adapter's
// message for a kind it cannot open.
#include "book/pdf_adapter.h"

#include "base/ql_error.h"

namespace {
constexpr const char* kUnsupported = "This kind of file does not open in this version of Corvell Nalo";
}

int ql_pdf_open(const char*) {
  ql_fail("%s", kUnsupported);
  return 0;
}
void qlpdf_close() {}
const char* qlpdf_error() { return kUnsupported; }
int qlpdf_count() { return 0; }
int qlpdf_toc_count() { return 0; }
const PdfOutlineEntry* qlpdf_toc() { return nullptr; }
