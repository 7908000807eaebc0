// A check run before stb_image sees JPEG data: its Huffman-table reader (as packaged) trusts the
// table's symbol counts and writes past its arrays when they add up to more than 256.
#pragma once
#include <cstddef>
#include <cstdint>

// False when a Huffman table that the decoder would read declares more than 256 symbols; true for
// every other input (including data that is not JPEG, or that the decoder will refuse anyway).
bool jpeg_huffman_tables_fit(const uint8_t* data, size_t n);
