// Saves of what the reader made (notes, highlights and bookmarks, collections, the vocabulary,
// audiobook bookmarks) are never silent when they fail: the reader is told once, and the next
// save writes everything again. Settings and caches fail silently; they rebuild themselves.
#pragma once
#include <cstdint>
#include <string>

enum class ReaderWork : uint8_t { Notes, Collections, Vocabulary, AudioBookmarks };

// The message for a failed save of `work` with `error` (an errno value), such as "Could not save
// your notes: the storage is full."
std::string save_failure_text(ReaderWork work, int error);

// Takes the result of a save of `work`, with errno as the failed save left it. The first failure
// after a success (or since start) shows the message for a moment; later failures stay quiet
// until a save of that kind succeeds again. Returns `saved`.
bool ui_report_save(ReaderWork work, bool saved);

// Saves the open book's notes, highlights and bookmarks, reporting a failure.
bool ui_save_notes();
