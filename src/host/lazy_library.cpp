#include "host/lazy_library.h"

#include <dlfcn.h>

LazyLibraries::LazyLibraries(std::initializer_list<const char*> sonames) {
  for (const char* soname : sonames) {
    // Local: the calls are reached only through bind, so nothing else binds to them by accident.
    if (void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
      handles_.push_back(handle);
    } else if (missing_.empty()) {
      const char* why = dlerror();
      missing_ = why ? why : soname;
    }
  }
}

void* LazyLibraries::find(const char* name) const {
  for (void* handle : handles_) {
    if (void* fn = dlsym(handle, name)) return fn;
  }
  return nullptr;
}

std::string LazyLibraries::failure(const char* what) const {
  if (!loaded()) return missing_;
  return std::string(what) + " lacks a function this program calls";
}
