#pragma once

#include <unknwn.h>

#include <utility>

namespace pelliwick::win32 {

// One counted reference to a COM object, released when dropped.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For the calls that hand out a new reference.
  T** put() {
    reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace pelliwick::win32
