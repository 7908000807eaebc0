// The one file copy: seeding at start-up, added books, bundled books (host paths here; the
// device-path form is ql_copy_file in display/system_services).
#pragma once
#include <functional>
#include <string>
#include <string_view>

// A copy is written under a hidden name of its own beside its target, which only this program
// writes: the library does not list it, no file of the user's is ever taken for it, and a start
// removes what a killed copy left (host/leftovers.h).
constexpr std::string_view kCopyPartPrefix = ".quillo-copy-";
bool is_copy_part_name(std::string_view name);
// Makes a new part entry in the folder of `dst`: `create` makes the entry (a file or a folder) at
// the name it is given, failing with errno EEXIST when the name is taken, and is tried with other
// names then. The part's path; empty when none could be made.
std::string create_copy_part(const std::string& dst,
                             const std::function<bool(const std::string&)>& create);

// What lets another thread call off a copy (a book being added, which a quit cannot wait for
// without end) while the copy still ends one way only: put in place, or its part removed. The
// one who calls it off decides under its own lock, so it knows which way each copy ended.
class CopyStop {
 public:
  // Looked at between blocks: once true, the copy fails with errno ECANCELED.
  virtual bool is_stopped() const = 0;
  // The copy has made its part (a file or a folder), which a call-off removes. False when the copy
  // is called off already: the copy then removes the part itself.
  virtual bool hold(const std::string& part) = 0;
  // The part is written and on the disk: `put` renames it into place, unless the copy was called
  // off meanwhile (false, errno ECANCELED; the part is gone or the copy removes it).
  virtual bool put_in_place(const std::function<bool()>& put) = 0;

 protected:
  ~CopyStop() = default;
};

// Copies the bytes of `src` to `dst` through a part file (create_copy_part), synced and renamed
// into place as every atomic write is (base/atomic_file.h), so `dst` is either as it was or whole.
// Unless `replace`, nothing is touched when anything is at `dst` already, a dangling link
// included. A failed copy leaves no part file.
bool copy_file(const std::string& src, const std::string& dst, bool replace,
               CopyStop* stop = nullptr);

// Copies the bytes of `src` into the new file `dst`, synced; refused when anything is at `dst`. A
// failed copy removes what it wrote.
bool copy_new_file(const std::string& src, const std::string& dst, const CopyStop* stop = nullptr);

// Creates a folder and its missing parents (mode 0755); true when it exists afterwards, else errno
// tells why it could not be made.
bool make_folders(const std::string& path);
