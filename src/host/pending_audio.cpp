// Stand-ins for the host's audio output and AAC decoding until they exist.
#include "host/plat.h"

int plat_audio_open(int, int) { return 0; }
int plat_audio_write(const int16_t*, int) { return 0; }
void plat_audio_close() {}
int plat_aac_open(const char*, int*, int*, double*) { return 0; }
int plat_aac_read(int16_t*, int, int) { return 0; }
int plat_aac_seek(double) { return 0; }
void plat_aac_close() {}
