/* The one place the stb image, image-writing and TrueType implementations are compiled. Inputs are
 * untrusted: font files are validated before stb sees them, pictures are size-checked first. */
#define STB_IMAGE_IMPLEMENTATION
/* GIF and BMP pictures of books, comics and covers; JPEG and PNG have their own readers
 * (display/jpeg_decode, display/png_decode), the decoder's other formats are left out. */
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

/* The same behaviour in every build type: unimplemented corners of a face degrade, never abort. */
#define STBTT_assert(x) ((void)0)
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>
