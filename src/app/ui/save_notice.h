// Saves of what the reader made (notes, highlights and bookmarks, collections, the vocabulary,
// audiobook bookmarks) are never silent when they fail: the reader is told once, what failed is
// held in memory (base/held_files.h), and the next save writes everything again. The reading
// position, saved at every page turn, is held the same way but named only by a quit that cannot
// write it. Settings and caches fail silently; they rebuild themselves.
#pragma once
#include <string>

#include "base/held_files.h"

// The message for a failed save of `work` with `error` (an errno value), such as "Could not save
// your notes: the storage is full."
std::string save_failure_text(ReaderWork work, int error);
// The same for several kinds (reader_work_bit set): "Could not save your notes and your
// vocabulary: the storage is full."
std::string save_failure_text(unsigned works, int error);

// Takes the result of a save of `work`, with errno as the failed save left it. The first failure
// after a success (or since start) shows the message for a moment; later failures stay quiet
// until a save of that kind succeeds again. Returns `saved`.
bool ui_report_save(ReaderWork work, bool saved);

// Saves the open book's notes, highlights and bookmarks, reporting a failure.
bool ui_save_notes();

// Writes again everything whose save failed, quietly (the reader was told when it failed): before
// another book's notes replace the open book's. True when nothing is left unsaved.
bool ui_retry_failed_saves();

// What the start found wrong (a data folder that cannot be written), shown for a moment once the
// screen is up. The saves that then fail are not told again one by one; a quit still names them.
void ui_tell_start_notice();

// At quit: lets books being copied in arrive while the host's grace allows, and writes again
// everything whose save failed; what still cannot be written, and the books that did not arrive,
// are named in a message shown for a moment (and in the log) before the program ends.
void ui_tell_unsaved_at_quit();
// A quit's waits (a download's stop, about a fifth of a second, a copy's end, then this notice)
// stay inside the host's 2 s grace before it ends a quitting program itself.
constexpr int kQuitNoticeMs = 1000;
