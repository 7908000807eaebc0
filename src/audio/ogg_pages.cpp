#include "audio/ogg_pages.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

#include "base/byte_reader.h"

namespace {
constexpr size_t kResyncWindow = 8192;
constexpr uint8_t kContinued = 1;  // header type bit: the page goes on with an earlier packet
}  // namespace

bool OggReader::seek_to(uint64_t at) { return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0; }
uint64_t OggReader::tell() const { return static_cast<uint64_t>(ftello(f)); }

bool OggReader::resync(uint64_t at) {
  uint8_t win[kResyncWindow];
  for (;;) {
    if (!seek_to(at)) return false;
    size_t n = fread(win, 1, sizeof win, f);
    if (n < 4) return false;
    if (const void* hit = memmem(win, n, "OggS", 4)) {
      return seek_to(at + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - win));
    }
    at += n - 3;
  }
}

bool OggReader::next_page() {
  for (;;) {
    uint64_t at = tell();
    uint8_t header[27];
    const ByteReader h(header, sizeof header);
    if (fread(header, 1, sizeof header, f) != sizeof header) return false;
    if (!h.matches_at(0, "OggS")) {
      if (strict || !resync(at + 1)) return false;
      continue;
    }
    const uint8_t segments = h.u8_at(26);
    uint8_t s[255];
    if (fread(s, 1, segments, f) != segments) return false;
    uint32_t page_serial = h.u32le_at(14);
    if (!have_serial) {
      have_serial = true;
      serial = page_serial;
    }
    if (page_serial != serial) {
      if (strict) return false;
      uint64_t body = 0;
      for (int i = 0; i < segments; i++) body += s[i];
      if (!seek_to(tell() + body)) return false;
      continue;
    }
    memcpy(seg, s, segments);
    nseg = segments;
    si = 0;
    gran = static_cast<int64_t>(h.u64le_at(6));
    flags = h.u8_at(5);
    page_at = at;
    return true;
  }
}

bool OggReader::skip_page_body() {
  uint64_t body = 0;
  for (int i = si; i < nseg; i++) body += seg[i];
  si = nseg;
  return seek_to(tell() + body);
}

bool OggReader::next_packet() {
  plen = 0;
  bool too_big = false;
  bool begun = false;  // a segment of this packet has been read
  for (;;) {
    if (si >= nseg) {
      if (!next_page()) return false;
      if (strict && begun != ((flags & kContinued) != 0)) return false;
      continue;
    }
    size_t lv = seg[si++];
    begun = true;
    if (lv > 0) {
      if (plen + lv > max_packet) too_big = true;
      if (too_big) {
        if (!seek_to(tell() + lv)) return false;
      } else {
        if (plen + lv > pkt.size()) pkt.resize(std::min(2 * (plen + lv) + 4096, max_packet));
        if (fread(pkt.data() + plen, 1, lv, f) != lv) return false;
        plen += lv;
      }
    }
    if (lv < 255) {
      if (too_big) plen = 0;
      return true;
    }
  }
}
