// The built-in wordmark shown by the splash, shut-down and About screens.
#pragma once
#include <cstdint>

constexpr int kLogoWidth = 756;
constexpr int kLogoHeight = 79;

// kLogoWidth x kLogoHeight grey pixels (dark letters on white), drawn once from the embedded
// interface face on first use; show it with ql_blit(ql_logo(), kLogoWidth, kLogoHeight, x, y).
const uint8_t* ql_logo();
