#include "app/ui/ui_logo.h"

#include <cstddef>

// Both pictures, the large one first, as the build step wrote them.
extern "C" const uint8_t ql_logo_grey[];

const uint8_t* ql_logo() { return ql_logo_grey; }
const uint8_t* ql_small_logo() { return ql_logo_grey + size_t(kLogoWidth) * kLogoHeight; }
