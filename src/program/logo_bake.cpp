// The build step that draws the wordmark's pictures (display/logo.h) into one file: the large
// picture, then the small one, grey bytes row by row. The program embeds the file.
#include <cstdio>
#include <vector>

#include "display/logo.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUT\n", argv[0]);
    return 2;
  }
  std::vector<uint8_t> pictures(size_t(kLogoWidth) * kLogoHeight + size_t(kSmallLogoWidth) * kSmallLogoHeight);
  logo_draw(pictures.data(), pictures.data() + size_t(kLogoWidth) * kLogoHeight);
  FILE* out = fopen(argv[1], "wb");
  const bool written = out && fwrite(pictures.data(), 1, pictures.size(), out) == pictures.size();
  if (!out || fclose(out) != 0 || !written) {
    perror(argv[1]);
    return 1;
  }
  return 0;
}
