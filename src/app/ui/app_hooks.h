// Calls from the screen toolkit and the reader up to the layers above them (library, store,
// settings), which these lower layers cannot name. The shell connects them at start-up
// (app_connect_hooks); a hook left empty does nothing. Only the core thread uses them.
#pragma once
#include <cstddef>

struct AppHooks {
  // Puts every piece of state on disk (the open book's progress, library.tsv, settings, ui.txt):
  // before the process ends, the device sleeps or storage is handed over.
  void (*persist_all)() = nullptr;
  // Stops audiobook playback and waits for it: the engine saves its place and closes the sound
  // output, whose thread must not outlive the process's data.
  void (*stop_playback)() = nullptr;
  // Ends a download that is still arriving, with its part file; one already arrived is left to
  // finish (an unpack cut short is completed at the next start).
  void (*stop_download)() = nullptr;
  // Books arrived in the documents folder: unpack archives and rescan the library.
  void (*books_added)() = nullptr;
  // The documents folder changed under the program (a sync, the USB drive): rescan the library.
  void (*rescan_library)() = nullptr;
  // The number of books and audiobooks the library lists.
  size_t (*library_size)() = nullptr;
  // The storage is exported over USB: waits until the device has it back.
  void (*storage_wait)() = nullptr;
  // Before each common wait: a download that finished meanwhile is added to the library, or its
  // failure told. True when a message was drawn over the screen, which then needs redrawing.
  bool (*before_wait)() = nullptr;
  // Saves the open book's position and its library record; true when the record changed.
  bool (*record_progress)() = nullptr;
  // Writes the library's progress index.
  void (*save_progress)() = nullptr;
  // Leaves the reader for the library.
  void (*close_book)() = nullptr;
  // Marks the open book as read in the library (percent 100, read flag) and saves the index.
  void (*mark_read)() = nullptr;
  // The settings pages, from the book menu.
  void (*settings)() = nullptr;
  // The quick settings panel, from the reader's toolbar.
  void (*quick_settings)() = nullptr;
  // The Morning Paper's feed and wake-time menu, from the settings.
  void (*morning_settings)() = nullptr;
  // Makes the library the view, rescanned, on its first page and without a search (a bought book
  // was just added).
  void (*library_fresh)() = nullptr;
  // Draws the library view without presenting it: the background of a box laid over it.
  void (*draw_library)() = nullptr;
};

// Set by the shell at start-up; only the core thread calls them.
extern AppHooks app_hooks;

// Calls a hook when it is connected.
template <class Hook>
void app_call(Hook hook) {
  if (hook) hook();
}
