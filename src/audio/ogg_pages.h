// Our own Ogg page and packet reader over an open file, shared by the Opus decoder and the
// Vorbis header check. It follows one logical stream and assembles packets across pages.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

struct OggReader {
  FILE* f = nullptr;  // not owned
  // Lenient (the default, for playback): garbage before a page is skipped by searching for the
  // next "OggS", and pages of other streams are passed over. Strict: each page must follow the
  // last one directly, belong to the first page's stream and carry the continuation flag exactly
  // when it goes on with a packet; anything else ends the reading, as it would for a reader that
  // takes pages in file order.
  bool strict = false;
  size_t max_packet = size_t{1} << 20;  // a longer packet is skipped and read as empty

  bool have_serial = false;
  uint32_t serial = 0;
  uint8_t seg[255] = {};
  int nseg = 0;        // segments of the current page
  int si = 0;          // next segment to read
  int64_t gran = -1;   // granule of the current page
  uint8_t flags = 0;   // header type of the current page
  uint64_t page_at = 0;  // file offset of the current page's header
  std::vector<uint8_t> pkt;
  size_t plen = 0;     // bytes of the last packet in `pkt`

  bool seek_to(uint64_t at);
  uint64_t tell() const;
  // Scans forward from `at` for "OggS" and leaves the file there; false at the end.
  bool resync(uint64_t at);
  // Reads the next page of the stream and makes it current; false at the end.
  bool next_page();
  // Moves past the rest of the current page's body (for pages read only for their header).
  bool skip_page_body();
  // Assembles the next packet into pkt / plen; false at the end of the stream.
  bool next_packet();
};
