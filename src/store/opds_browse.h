// The OPDS catalogue browser: the device script fetches a feed and has it parsed into opds.list;
// the rows are listed, sub-catalogues followed and EPUB books fetched into the documents folder.
#pragma once
#include <cstddef>

// Browses the feed at `address` (at most 1199 bytes are used).
void opds_browse(const char* address, size_t length);
