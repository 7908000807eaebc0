// The sample books that come with the program: copied once into the documents folder at start,
// each name recorded in bundled.txt so that a sample the user deleted is not copied again.
#pragma once
#include <cstddef>

constexpr char kBundledFolder[] = "/mnt/us/ql/bundled";
constexpr char kBundledListing[] = "/tmp/ql-bundled.txt";
constexpr char kBundledRecordPath[] = "/mnt/us/ql/state/bundled.txt";
constexpr char kBundledDocuments[] = "/mnt/us/documents/";
constexpr size_t kBundledMax = 16;            // samples seeded per start; later ones wait
constexpr size_t kBundledRecordRead = 8192;   // bytes of bundled.txt read

// Copies each sample not yet recorded into the documents folder (a file of the same name there
// is kept and the sample counts as seeded). A failed copy is not recorded and is tried again at
// the next start.
void bundled_books_seed();
// Creates (or empties) the file that stops the store's payment watcher.
void docs_watch_request_stop();
