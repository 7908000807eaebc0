// Collections: named groups of books, kept in collections.tsv and listed by the library's Show
// "Collection" filter. A book can be in several collections; deleting a collection never touches
// its books. A collection is known by its row (0-based), so numbers shift down when an earlier
// collection is deleted.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr size_t kMaxCollections = 32;
constexpr size_t kCollectionNameMax = 47;  // bytes of text; the rows hold a NUL after it
constexpr size_t kMaxMemberships = 3000;
constexpr size_t kMembershipNameMax = 199;
constexpr char kCollectionsPath[] = "/mnt/us/ql/state/collections.tsv";

struct Membership {
  uint8_t collection;
  char name[kMembershipNameMax + 1];  // the book's file name, cut to 199 bytes
};

struct Collections {
  std::array<std::array<char, kCollectionNameMax + 1>, kMaxCollections> names{};
  size_t count = 0;
  std::array<Membership, kMaxMemberships> memberships{};
  size_t membership_count = 0;
};
// Only the core thread touches it (see app_assert_core).
extern Collections collections;

// Reads collections.tsv at start; a missing or unreadable file means no collections.
void collections_load();
// Replaces collections.tsv with both tables; false (and the old file kept) when the write fails.
bool collections_save();

// The name of a collection; empty when there is no such collection.
std::string_view collection_name(uint64_t collection);
// True when the collection holds the book of this file name (cut to 199 bytes).
bool collection_has_book(uint64_t collection, const char* name, size_t length);

// The changes below save the file when they change anything; false when nothing changed.
// Appends a collection. Trailing spaces are dropped (the file loses them). Refused when the
// name is empty, holds a tab or a line break, is taken, or 32 collections exist.
bool collection_create(std::string_view name);
// Renames a collection under the same rules; its books follow it.
bool collection_rename(uint64_t collection, std::string_view name);
// Deletes a collection and its memberships; later collections move up one number, and the
// library's collection filter follows: back to All when it showed this collection.
bool collection_delete(uint64_t collection);
// False for a book file name holding a tab or a line break: the file has no escaping, so such a
// book can never be a member.
bool collection_can_hold(std::string_view name);
// Puts a book into a collection; refused when it is there already, 3000 memberships exist or
// collection_can_hold refuses its name.
bool collection_add_book(uint64_t collection, const char* name, size_t length);
// Takes a book out of a collection (the last membership takes its place).
bool collection_remove_book(uint64_t collection, const char* name, size_t length);
