#include "audio/ogg_pages.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t kResyncWindow = 8192;
constexpr uint8_t kContinued = 1;  // header type bit: the page goes on with an earlier packet
}  // namespace

uint32_t ogg_le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
int64_t ogg_le64(const uint8_t* p) {
  return static_cast<int64_t>(ogg_le32(p) | (uint64_t{ogg_le32(p + 4)} << 32));
}

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
    uint8_t h[27];
    if (fread(h, 1, 27, f) != 27) return false;
    if (memcmp(h, "OggS", 4) != 0) {
      if (strict || !resync(at + 1)) return false;
      continue;
    }
    uint8_t s[255];
    if (fread(s, 1, h[26], f) != h[26]) return false;
    uint32_t page_serial = ogg_le32(h + 14);
    if (!have_serial) {
      have_serial = true;
      serial = page_serial;
    }
    if (page_serial != serial) {
      if (strict) return false;
      uint64_t body = 0;
      for (int i = 0; i < h[26]; i++) body += s[i];
      if (!seek_to(tell() + body)) return false;
      continue;
    }
    memcpy(seg, s, h[26]);
    nseg = h[26];
    si = 0;
    gran = ogg_le64(h + 6);
    flags = h[5];
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
