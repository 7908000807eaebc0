// The book details screen of one library entry.
#pragma once
#include <cstdint>

// Shows the details of entry `entry` of the last scan until the user leaves.
void book_details_screen(uint64_t entry);
