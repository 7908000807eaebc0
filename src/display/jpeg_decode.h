// JPEG pictures through libjpeg, straight to grey: only the luma is turned into pixels, and the
// DCT scaling of the decoder makes a picture drawn small cheap to decode.
#pragma once
#include <cstddef>
#include <cstdint>

// True when the data starts as a JPEG does (the start-of-image marker).
bool is_jpeg(const uint8_t* data, size_t size);
// The size the header gives, as the decoder reads it; false when it refuses the header.
bool jpeg_size(const uint8_t* data, size_t size, int* w, int* h);
// Decodes to 8-bit grey at the smallest of the decoder's scales (1/8, 2/8 ... 8/8) whose size is at
// least want_w x want_h, at full size when none is: a new bitmap of *w x *h (free() it), or null
// when the data is refused, damaged beyond decoding, or over `max_pixels` at full size.
uint8_t* jpeg_decode_grey(const uint8_t* data, size_t size, int want_w, int want_h, uint64_t max_pixels, int* w,
                          int* h);
