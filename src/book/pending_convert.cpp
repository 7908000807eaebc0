// Stand-in until the converter exists: no file is of a converted kind, so MOBI, FB2 and text
// files go on to the page adapter, which refuses them with its message.
#include "book/convert.h"

int ql_convert(const char*, char*, size_t) { return 0; }
const char* ql_convert_error() { return ""; }
