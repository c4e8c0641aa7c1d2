// Fuzz targets only: the run's big state block (the language store and the
// tables, some 70 MB) is made once and handed out again for every run,
// instead of being mapped, poisoned, faulted in and unmapped each time,
// which costs more than the run itself. Guard pages on both sides still
// catch any access outside the block; every other allocation goes to the
// sanitizer's allocator as usual. The block's pages are dropped after each
// run, so every run starts on zero pages, as on a fresh mapping.
#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "run/run_state.h"

namespace {

constexpr std::size_t kPage = 4096;

char* block = nullptr;  // start of the usable bytes; they end at a guard page
char* pages = nullptr;  // the usable pages
std::size_t pages_size = 0;
bool block_in_use = false;

void* big_block(std::size_t size) {
  if (block_in_use) return nullptr;
  if (block == nullptr) {
    const std::size_t usable = (size + kPage - 1) / kPage * kPage;
    char* base = static_cast<char*>(
        mmap(nullptr, usable + 2 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base == MAP_FAILED) return nullptr;
    mprotect(base, kPage, PROT_NONE);
    mprotect(base + kPage + usable, kPage, PROT_NONE);
    // The object ends right at the upper guard page.
    pages = base + kPage;
    pages_size = usable;
    block = base + kPage + (usable - size) / 16 * 16;
  }
  block_in_use = true;
  return block;
}

}  // namespace

// Every form of new and delete is replaced, so that all of them agree on
// where memory comes from: the block, or malloc and free.
void* operator new(std::size_t size) {
  if (size == sizeof(plix::RunState))
    if (void* p = big_block(size)) return p;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void* operator new(std::size_t size, std::align_val_t align) {
  const std::size_t a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return operator new(size, align);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  try {
    return operator new(size, align);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t& tag) noexcept {
  return operator new(size, align, tag);
}

void operator delete(void* p) noexcept {
  if (p != nullptr && p == block) {
    // Drop the pages: the next run finds them zero, as a fresh mapping.
    madvise(pages, pages_size, MADV_DONTNEED);
    block_in_use = false;
    return;
  }
  std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(p);
}
