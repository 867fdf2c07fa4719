// The move-only owner that every handle family's owner is made from (handle_owners.h): the
// closer runs once, when the owner is reset or goes out of scope.
#pragma once

#include <utility>

namespace rt {

template <typename Handle, typename Closer, Handle kEmpty = Handle{}>
class UniqueHandle {
public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : handle_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != kEmpty; }
  Handle release() { return std::exchange(handle_, kEmpty); }
  void reset(Handle h = kEmpty) {
    if (handle_ != kEmpty) Closer{}(handle_);
    handle_ = h;
  }
  // Resets, then hands out the address for an out-parameter.
  Handle* put() {
    reset();
    return &handle_;
  }

private:
  Handle handle_ = kEmpty;
};

}  // namespace rt
