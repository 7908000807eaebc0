// Stand-in until collections are kept: there is nothing to load.
#include "library/collections.h"

void collections_load() {}
