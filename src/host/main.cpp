#include "app/app_main.h"

int main(int argc, char** argv) { return nalo_main(argc, argv); }
