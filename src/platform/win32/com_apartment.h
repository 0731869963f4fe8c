#pragma once

#include <objbase.h>

#include "platform/win32/win32_failure.h"

namespace pelliwick::win32 {

// COM on this thread for as long as the object lives: a single-threaded
// apartment, as the thread that owns the window needs.
class ComApartment {
 public:
  ComApartment() {
    check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED),
          "cannot start COM");
  }
  ~ComApartment() { CoUninitialize(); }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

}  // namespace pelliwick::win32
