#include "support/png_reader.h"

// Static: these functions do not meet the program's own stb_image build (GIF and BMP only).
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>

uint8_t* independent_png_decode(const uint8_t* data, size_t size, int* w, int* h, int* comp) {
  return stbi_load_from_memory(data, int(size), w, h, comp, 0);
}
