// The program's allocation functions. Running out of memory is a fatal run-time error that
// names the size, wherever it happens: inside an event handler, outside one, or on a thread
// of its own. The throwing forms therefore never throw std::bad_alloc; the nothrow forms keep
// their contract and return null. Blocks come from the C heap, aligned ones from its aligned
// functions, and go back to where they came from.
#include <malloc.h>

#include <cstdlib>
#include <new>

#include "rt/fatal_error.h"

namespace {

void* Allocate(std::size_t size) {
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  rt::FatalOutOfMemory(size);
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  if (void* block = _aligned_malloc(size == 0 ? 1 : size, static_cast<std::size_t>(alignment)))
    return block;
  rt::FatalOutOfMemory(size);
}

void* TryAllocate(std::size_t size) noexcept { return std::malloc(size == 0 ? 1 : size); }

void* TryAllocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
  return _aligned_malloc(size == 0 ? 1 : size, static_cast<std::size_t>(alignment));
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return AllocateAligned(size, alignment);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return TryAllocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return TryAllocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return TryAllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return TryAllocateAligned(size, alignment);
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { _aligned_free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { _aligned_free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { _aligned_free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
  _aligned_free(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  _aligned_free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  _aligned_free(block);
}
