// The open book's highlights, notes and bookmarks written as a "My Clippings" text file, one per
// book in the documents folder's Clippings folder, for copying off the device.
#pragma once
#include <string>
#include <string_view>

// The export's file name (without ".txt") for a book path: the file name without a short
// extension, cut to 150 bytes at a character boundary, with "/", ":", "\" and control bytes
// replaced by "_".
std::string clippings_file_name(std::string_view book_path);

// Writes the whole file and moves it into place; false when nothing new was put there.
bool export_clippings();
