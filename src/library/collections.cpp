#include "library/collections.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "app/ui/app_state.h"
#include "app/ui/save_notice.h"
#include "app/ui/ui_state.h"
#include "base/held_files.h"
#include "base/paths.h"
#include "base/text_lines.h"
#include "base/tsv_field.h"
#include "base/utf8.h"
#include "library/library_view.h"

Collections collections;

namespace {

// Lines longer than this are read in pieces, each taken as a line; saved lines stay far shorter.
constexpr size_t kLoadBufferSize = 512;

// Keeps as much of the text as fits with its NUL.
void copy_cut(std::span<char> dest, std::string_view text) {
  const size_t n = std::min(text.size(), dest.size() - 1);
  memcpy(dest.data(), text.data(), n);
  dest[n] = '\0';
}

void set_name(size_t row, std::string_view name) { copy_cut(collections.names[row], name); }

std::string_view member_key(const char* name, size_t length) {
  return std::string_view(name, std::min(length, kMembershipNameMax));
}

std::optional<size_t> find_collection(std::string_view name) {
  for (size_t i = 0; i < collections.count; i++) {
    if (collection_name(i) == name) return i;
  }
  return std::nullopt;
}

std::optional<size_t> find_membership(uint64_t collection, std::string_view key) {
  for (size_t i = 0; i < collections.membership_count; i++) {
    const Membership& m = collections.memberships[i];
    if (m.collection == collection && std::string_view(m.name) == key) return i;
  }
  return std::nullopt;
}

void remove_membership(size_t i) {
  collections.memberships[i] = collections.memberships[--collections.membership_count];
}

// "C\tname" or "M\tcollection name\tfile name", trailing spaces and line ends already removed.
void load_line(std::string_view line) {
  std::string_view field[3];
  for (size_t f = 0; f < 3; f++) {
    const size_t tab = line.find('\t');
    field[f] = line.substr(0, tab);
    if (tab == std::string_view::npos) {
      line = {};
      break;
    }
    line.remove_prefix(tab + 1);
  }
  const bool has_third = field[2].data() != nullptr;
  if (field[0] == "C") {
    if (collections.count < kMaxCollections) set_name(collections.count++, field[1]);
  } else if (field[0] == "M") {
    if (collections.membership_count >= kMaxMemberships) return;
    const std::optional<size_t> owner = find_collection(field[1]);
    if (!owner || !has_third) return;
    Membership& m = collections.memberships[collections.membership_count++];
    m.collection = static_cast<uint8_t>(*owner);
    copy_cut(m.name, field[2]);
  }
}

// A name as the file can keep it: trailing spaces would be lost at the next load (and with them
// every membership naming the collection), a tab or line break would split its line.
std::optional<std::string_view> storable_name(std::string_view name) {
  name = name.substr(0, utf8_prefix_length(name, kCollectionNameMax));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (name.empty() || !tsv_field_plain(name)) return std::nullopt;
  return name;
}

}  // namespace

std::string_view collection_name(uint64_t collection) {
  return collection < collections.count ? std::string_view(collections.names[collection].data())
                                        : std::string_view();
}

bool collection_has_book(uint64_t collection, const char* name, size_t length) {
  return find_membership(collection, member_key(name, length)).has_value();
}

void collections_load() {
  collections.count = 0;
  collections.membership_count = 0;
  FilePtr f(qlp_fopen(kCollectionsPath, "rb"));
  if (!f) return;
  char buf[kLoadBufferSize];
  while (fgets(buf, sizeof buf, f.get())) {
    const std::string_view line(buf, strlen(buf));
    load_line(line.substr(0, trimmed_length(line)));
  }
}

bool collections_save() {
  app_assert_core();
  std::string text;
  for (size_t i = 0; i < collections.count; i++) {
    text.append("C\t").append(collection_name(i)).append("\n");
  }
  for (size_t i = 0; i < collections.membership_count; i++) {
    const Membership& m = collections.memberships[i];
    text.append("M\t").append(collection_name(m.collection)).append("\t").append(m.name);
    text.append("\n");
  }
  return ui_report_save(ReaderWork::Collections,
                        held_replace(kCollectionsPath, std::move(text), ReaderWork::Collections));
}

bool collection_create(std::string_view name) {
  const std::optional<std::string_view> stored = storable_name(name);
  if (!stored || find_collection(*stored) || collections.count >= kMaxCollections) return false;
  set_name(collections.count++, *stored);
  collections_save();
  return true;
}

bool collection_rename(uint64_t collection, std::string_view name) {
  const std::optional<std::string_view> stored = storable_name(name);
  if (collection >= collections.count || !stored || find_collection(*stored)) return false;
  set_name(collection, *stored);
  collections_save();
  return true;
}

bool collection_delete(uint64_t collection) {
  if (collection >= collections.count) return false;
  for (size_t i = 0; i < collections.membership_count;) {
    Membership& m = collections.memberships[i];
    if (m.collection == collection) {
      remove_membership(i);  // the record moved here is looked at next
      continue;
    }
    if (m.collection > collection) m.collection--;
    i++;
  }
  for (size_t row = collection; row + 1 < collections.count; row++) {
    collections.names[row] = collections.names[row + 1];
  }
  collections.count--;
  // The filter names collections by number: left as it was, it would now show another one.
  if (ui_state.filter == FILTER_COLLECTION) {
    if (library.filter_collection == collection) {
      ui_state.filter = FILTER_ALL;
      library.filter_collection = 0;
    } else if (library.filter_collection > collection) {
      library.filter_collection--;
    }
  }
  collections_save();
  return true;
}

// The file has no escaping: a tab or line break in a name would split its record into others
// (phantom collections and memberships). Names come in only through these checks and through
// the load, which splits lines at tabs and line feeds.
bool collection_can_hold(std::string_view name) {
  return tsv_field_plain(member_key(name.data(), name.size()));
}

bool collection_add_book(uint64_t collection, const char* name, size_t length) {
  const std::string_view key = member_key(name, length);
  if (collection >= collections.count || collections.membership_count >= kMaxMemberships ||
      !tsv_field_plain(key) || find_membership(collection, key)) {
    return false;
  }
  Membership& m = collections.memberships[collections.membership_count++];
  m.collection = static_cast<uint8_t>(collection);
  copy_cut(m.name, key);
  collections_save();
  return true;
}

bool collection_remove_book(uint64_t collection, const char* name, size_t length) {
  const std::optional<size_t> i = find_membership(collection, member_key(name, length));
  if (!i) return false;
  remove_membership(*i);
  collections_save();
  return true;
}
