// MuPDF's own full layout of a reflowable book: open it, lay it out on the reader's page at the
// reader's text size, count its pages. Prints the time in milliseconds.
// usage: mutool run mupdf_layout.js BOOK.epub WIDTH HEIGHT EM
var t0 = Date.now();
var doc = new Document(scriptArgs[0]);
doc.layout(Number(scriptArgs[1]), Number(scriptArgs[2]), Number(scriptArgs[3]));
var pages = doc.countPages();
print("mupdf " + (Date.now() - t0) + " ms pages " + pages);
