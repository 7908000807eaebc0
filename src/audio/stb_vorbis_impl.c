// The one compiled copy of stb_vorbis; every other file includes it header-only.
#include <stb_vorbis.h>
