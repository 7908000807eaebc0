// An independent PNG reader for checking the files the program writes: stb_image's, compiled here
// for the tests alone (the program reads PNG with its own reader).
#pragma once
#include <cstddef>
#include <cstdint>

// The pixels with the file's own channels (*comp of them), free() them; NULL when unreadable.
uint8_t* independent_png_decode(const uint8_t* data, size_t size, int* w, int* h, int* comp);
