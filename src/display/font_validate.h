// The checks a font file from the user's storage passes before stb_truetype may read it.
// stb_truetype trusts every offset and count in a face, so a damaged or hostile file would make it
// read (or write) outside its buffers; this walks the same structures first, bounded.
#pragma once
#include <cstdint>

#include "display/sfnt.h"

// True when face 0 is a TrueType-outline face whose tables, character map and glyphs all lie inside
// the file and stay within sane limits; *face receives its offset.
bool font_file_usable(ByteReader file, uint32_t* face);
