#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library_fixture.h"

namespace {

// The view list as paths relative to the documents folder.
std::vector<std::string> view_names() {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < library.view_count; i++) {
    out.push_back(ql_entries()[library.view_list[i]].path.substr(sizeof kDocs));
  }
  return out;
}

void set_progress(const std::string& name, int percent, int read) {
  ProgressRecord& r = library_record_for(name.data(), name.size());
  r.percent = static_cast<uint8_t>(percent);
  r.read = static_cast<uint8_t>(read);
}

void set_search(const char* text) {
  memset(library.search_query, 0, sizeof library.search_query);
  memcpy(library.search_query, text, std::min(strlen(text), sizeof library.search_query));
}

using Names = std::vector<std::string>;

}  // namespace

TEST(LibraryView, ShowFilters) {
  LibraryRoot root;
  root.put("a-book.epub", epub_titled("A Book", "Kim"));
  root.put("b-novel.mobi", "x");
  root.put("c-paper.pdf", "x");
  root.put("d-talk.mp3", "x");
  set_progress("a-book.epub", 100, 1);
  set_progress("b-novel.mobi", 40, 0);
  library_rescan_documents();
  struct Case {
    uint8_t filter;
    Names shown;
  } cases[] = {
      {FILTER_ALL, {"a-book.epub", "b-novel.mobi", "c-paper.pdf", "d-talk.mp3"}},
      {FILTER_BOOKS, {"a-book.epub", "b-novel.mobi"}},
      {FILTER_DOCS, {"c-paper.pdf"}},
      {FILTER_AUDIOBOOKS, {"d-talk.mp3"}},
      {FILTER_UNREAD, {"b-novel.mobi", "c-paper.pdf", "d-talk.mp3"}},
      {FILTER_READ, {"a-book.epub"}},
      {FILTER_COLLECTION, {}},
      {FILTER_AUTHOR, {"a-book.epub"}},
      {42, {"a-book.epub", "b-novel.mobi", "c-paper.pdf", "d-talk.mp3"}},
  };
  strcpy(library.filter_author, "Kim");
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.filter});
    ui_state.filter = c.filter;
    library_rebuild_view();
    EXPECT_EQ(view_names(), c.shown);
  }
}

TEST(LibraryView, AuthorFilterComparesTheFirst127Bytes) {
  LibraryRoot root;
  const std::string long_author(140, 'w');
  root.put("long.epub", epub_titled("Long", long_author));
  library_rescan_documents();
  ui_state.filter = FILTER_AUTHOR;
  memcpy(library.filter_author, long_author.data(), kFilterAuthorMax);
  library_rebuild_view();
  EXPECT_EQ(library.view_count, 1u);
  library.filter_author[100] = '\0';
  library_rebuild_view();
  EXPECT_EQ(library.view_count, 0u);
}

TEST(LibraryView, NewBooksComeFirstAndPassEveryFilter) {
  LibraryRoot root;
  root.put("doc.pdf", "x");
  root.put("fresh.epub", "x");
  root.put("older-fresh.epub", "x");
  root.put("opened.epub", "x");
  write_file(root.state("new-books.txt"), "fresh.epub\nopened.epub\nolder-fresh.epub\n");
  set_progress("opened.epub", 10, 0);
  library_rescan_documents();
  ui_state.filter = FILTER_DOCS;
  library_rebuild_view();
  EXPECT_EQ(view_names(), (Names{"fresh.epub", "older-fresh.epub", "doc.pdf"}));
  EXPECT_EQ(library_new_book_position(0), std::nullopt);  // "doc.pdf" sorts first in the scan
  // Marked read, a listed book is no longer new.
  set_progress("fresh.epub", 0, 1);
  library_rebuild_view();
  EXPECT_EQ(view_names(), (Names{"older-fresh.epub", "doc.pdf"}));
}

TEST(LibraryView, NewBooksListIsReadOncePerRun) {
  LibraryRoot root;
  root.put("a.epub", "x");
  write_file(root.state("new-books.txt"), "\n" + std::string(160, 'x') + "\n  \r\na.epub \r\n");
  library_rescan_documents();
  EXPECT_EQ(new_books.count, 1u);
  EXPECT_EQ(library_new_book_position(0), 0u);
  write_file(root.state("new-books.txt"), "");
  library_rescan_documents();
  EXPECT_EQ(library_new_book_position(0), 0u);
}

TEST(LibraryView, OnlyTheNewestMorningPaperIsListed) {
  LibraryRoot root;
  root.put("Morning Paper/2024-05-01.epub", "x");
  root.put("Morning Paper/2024-05-02.epub", "x");
  root.put("Morning Paper/2024-05-02.epub.epub", "x");
  root.put("aaa.epub", "x");
  root.put("new.epub", "x");
  write_file(root.state("new-books.txt"), "new.epub\n");
  library_rescan_documents();
  ASSERT_TRUE(library.latest_paper_set);
  EXPECT_EQ(view_names(), (Names{"new.epub", "Morning Paper/2024-05-02.epub.epub", "aaa.epub"}));
  unlink(root.doc("Morning Paper/2024-05-01.epub").c_str());
  unlink(root.doc("Morning Paper/2024-05-02.epub").c_str());
  unlink(root.doc("Morning Paper/2024-05-02.epub.epub").c_str());
  library_rescan_documents();
  EXPECT_FALSE(library.latest_paper_set);
}

TEST(LibraryView, Search) {
  LibraryRoot root;
  root.put("one.epub", epub_titled("Winter Tales", "mary lane"));
  root.put("two.epub", epub_titled("Über Alles", "Ölund"));
  root.put("three.epub", epub_titled("Summer", "Tom"));
  library_rescan_documents();
  struct Case {
    const char* query;
    Names shown;
  } cases[] = {
      {"MARY", {"one.epub"}},
      {"tales", {"one.epub"}},
      {"über", {}},  // letters outside A to Z match only the same bytes
      {"Über", {"two.epub"}},
      {"ölund", {}},
      {"S", {"three.epub", "one.epub", "two.epub"}},
      {"nothing like it", {}},
      {"", {"three.epub", "one.epub", "two.epub"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    set_search(c.query);
    library_rebuild_view();
    EXPECT_EQ(view_names(), c.shown);
  }
  // All 64 bytes may hold the query.
  set_search(std::string(64, 'q').c_str());
  EXPECT_EQ(library_search_text().size(), 64u);
}

TEST(LibraryView, AudiobookFolderListedOnce) {
  LibraryRoot root;
  root.put("Story/02.mp3", "x");
  root.put("Story/01.mp3", "x");
  root.put("Story/cover.epub", "x");
  root.put("Audiobooks/single.mp3", "x");
  root.put("Audiobooks/other.mp3", "x");
  root.put("Lone/only.mp3", "x");
  library_rescan_documents();
  EXPECT_EQ(view_names(), (Names{"Story/01.mp3", "Story/cover.epub", "Lone/only.mp3",
                                 "Audiobooks/other.mp3", "Audiobooks/single.mp3"}));
  for (uint64_t i = 0; i < ql_entries().size(); i++) {
    const std::string& path = ql_entries()[i].path;
    SCOPED_TRACE(path);
    const bool grouped = path.find("/Story/") != std::string::npos && path.ends_with(".mp3");
    EXPECT_EQ(audiobook_part_folder(i).has_value(), grouped);
    if (grouped) {
      EXPECT_EQ(*audiobook_part_folder(i), "/mnt/us/documents/Story");
    }
  }
}

// The player's book for a tapped file: its folder's parts in byte order, or the file alone.
TEST(LibraryView, AudiobookOfAPath) {
  LibraryRoot root;
  root.put("Story/Part 2.mp3", "x");
  root.put("Story/Part 10.mp3", "x");
  root.put("Story/Part 1.mp3", "x");
  root.put("Story/notes.epub", "x");
  root.put("Audiobooks/a.mp3", "x");
  root.put("Audiobooks/b.mp3", "x");
  root.put("Lone/only.mp3", "x");
  library_rescan_documents();
  const std::string docs = "/mnt/us/documents/";
  AudioBook story = audiobook_of(docs + "Story/Part 2.mp3");
  EXPECT_TRUE(story.folder_mode);
  EXPECT_EQ(story.folder, docs + "Story");
  EXPECT_EQ(story.parts, (std::vector<std::string>{docs + "Story/Part 1.mp3", docs + "Story/Part 10.mp3",
                                                   docs + "Story/Part 2.mp3"}));
  EXPECT_EQ(story.current, 0u);
  for (const char* alone : {"Audiobooks/a.mp3", "Lone/only.mp3", "Missing/x.mp3"}) {
    SCOPED_TRACE(alone);
    AudioBook book = audiobook_of(docs + alone);
    EXPECT_FALSE(book.folder_mode);
    EXPECT_EQ(book.parts, std::vector<std::string>{docs + alone});
  }
}

TEST(LibraryView, SortOrders) {
  LibraryRoot root;
  root.put("1.epub", epub_titled("abc", "Zed"));
  root.put("2.epub", epub_titled("ABC", "young"));
  root.put("3.epub", epub_titled("ab", "Xavier"));
  root.put("4.epub", epub_titled("b", ""));
  library_rescan_documents();
  // The scan order (Recent) puts equal folded titles in any order; the view keeps it.
  const Names scan_order = entry_names();
  struct Case {
    uint8_t sort;
    Names shown;
  } cases[] = {
      {SORT_RECENT, scan_order},
      {SORT_TITLE, {"3.epub", scan_order[1], scan_order[2], "4.epub"}},
      {SORT_AUTHOR, {"4.epub", "3.epub", "2.epub", "1.epub"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.sort});
    ui_state.sort = c.sort;
    library_rebuild_view();
    EXPECT_EQ(view_names(), c.shown);
    for (uint64_t i = 0; i + 1 < library.view_count; i++) {
      EXPECT_FALSE(library_view_less_than(library.view_list[i + 1], library.view_list[i]));
    }
  }
}

TEST(LibraryView, ClosedBookHeadsRecentOnly) {
  LibraryRoot root;
  root.put("alpha.epub", epub_titled("Alpha", ""));
  root.put("omega.epub", epub_titled("Omega", ""));
  root.put("new.epub", epub_titled("Zzz", ""));
  root.put("Morning Paper/2024-01-01.epub", "x");
  write_file(root.state("new-books.txt"), "new.epub\n");
  library_rescan_documents();
  strcpy(library.closed_name, "omega.epub");
  library_rebuild_view();
  EXPECT_EQ(view_names(), (Names{"new.epub", "Morning Paper/2024-01-01.epub", "omega.epub", "alpha.epub"}));
  ui_state.sort = SORT_TITLE;
  library_rebuild_view();
  EXPECT_EQ(view_names(), (Names{"new.epub", "Morning Paper/2024-01-01.epub", "alpha.epub", "omega.epub"}));
}

TEST(LibraryView, RescanCountsAndFollowsQuilloDocs) {
  LibraryRoot root;
  root.put("elsewhere/x.epub", "x");
  root.put("y.epub", "x");
  library_rescan_documents();
  EXPECT_EQ(library.entry_count, 2u);
  setenv("QUILLO_DOCS", "/mnt/us/documents/elsewhere", 1);
  library_rescan_documents();
  unsetenv("QUILLO_DOCS");
  EXPECT_EQ(library.entry_count, 1u);
  EXPECT_EQ(library.scan_generation, 2u);
}

TEST(LibraryView, FullLibrary) {
  LibraryRoot root;
  for (size_t i = 0; i < kMaxEntries; i++) {
    root.put(std::string("f").append(std::to_string(i)).append(".txt"), "");
  }
  library_rescan_documents();
  EXPECT_EQ(library.view_count, kMaxEntries);
  set_search("no such title");
  library_rebuild_view();
  EXPECT_EQ(library.view_count, 0u);
}
