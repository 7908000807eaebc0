// System libraries opened when a feature first needs them instead of when the program starts:
// FFmpeg for the parts only it decodes, SDL for sound. A program that never plays such a part
// never maps them, so every tool mode and headless run starts without their cost.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

class LazyLibraries {
 public:
  // Opens each library by the file name the dynamic loader looks for; loaded() says whether all
  // of them were found. They stay loaded for the life of the process.
  explicit LazyLibraries(std::initializer_list<const char*> sonames);
  bool loaded() const { return missing_.empty(); }
  // Why `what` (the libraries' common name) cannot be used: the loader's reason when one was not
  // found, else that a function is missing.
  std::string failure(const char* what) const;

  // Points `slot` at the function `name` from the first library that has it; false when none has.
  template <class Fn>
  bool bind(const char* name, Fn*& slot) const {
    slot = reinterpret_cast<Fn*>(find(name));
    return slot != nullptr;
  }

 private:
  void* find(const char* name) const;
  std::vector<void*> handles_;
  std::string missing_;
};

// One member of a table of library calls, typed by the function's own declaration; tables are
// written as a list macro applied to this, and filled by applying a binding macro to the same
// list, so each name is written once.
#define QL_CALL_SLOT(name) decltype(&::name) name = nullptr;
