// Pictures through one grey pipeline (decode, composite over white, fit with a box filter) and QR
// symbols.
#pragma once
#include <cstddef>
#include <cstdint>

// Pictures larger than this are refused before they are decoded.
constexpr uint64_t kMaxPicturePixels = 60000000;

// A new w*h grey bitmap (free() it) decoded from PNG, JPEG, GIF, BMP...; NULL when refused.
uint8_t* ql_img_gray(const uint8_t* data, size_t size, int* w, int* h);
// 1 when the header gives a size of at least 1 x 1.
int qlpdf_image_size(const uint8_t* data, size_t size, int* w, int* h);
// Decodes and fits the picture into the caller's w x h buffer. 1/0. A JPEG is decoded no larger
// than the box needs.
int qlpdf_image_mem(const uint8_t* data, size_t size, uint8_t* dst, int w, int h);
// Fits src (sw x sh) centred into dst (dw x dh), white around it.
void ql_scale_gray(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh);
// Decodes a picture file (1 byte to 16 MiB, device path) into the caller's w x h buffer. 1/0.
int ql_image_file(const char* path, uint8_t* dst, int w, int h);
// Size of a picture from the first bytes of a PNG, GIF or JPEG. 1/0.
int img_head_dims(const uint8_t* buf, size_t n, int* w, int* h);

// Draws a QR symbol of `text` into the square (x, y, size) with a four-module quiet zone. 1/0.
int ql_qr(const char* text, int x, int y, int size);
