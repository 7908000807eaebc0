// Stand-ins for the host's device facts and services until they exist.
#include "host/plat.h"

int plat_battery() { return -1; }
int plat_charging() { return 0; }
void plat_light(int) {}
int plat_run(const char*, int) { return -1; }
int plat_thread(void* (*)(void*), void*) { return 0; }
