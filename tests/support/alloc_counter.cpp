#include "alloc_counter.hpp"

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace sablewick::bench {

namespace {

std::atomic<std::uint64_t> g_allocations{0};
std::atomic<std::uint64_t> g_frees{0};
std::atomic<std::int64_t> g_live_bytes{0};
thread_local int t_refusals = 0;

void* allocate(std::size_t size, std::size_t alignment) {
    if (t_refusals > 0) return nullptr;
    if (size == 0) size = 1;
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(size)
                  : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (!p) return nullptr;
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    g_live_bytes.fetch_add(static_cast<std::int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    return p;
}

void release(void* p) noexcept {
    if (!p) return;
    g_frees.fetch_add(1, std::memory_order_relaxed);
    g_live_bytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    std::free(p);
}

void* allocate_or_throw(std::size_t size, std::size_t alignment) {
    void* p = allocate(size, alignment);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

RefuseAllocations::RefuseAllocations() noexcept { ++t_refusals; }
RefuseAllocations::~RefuseAllocations() { --t_refusals; }

AllocStats alloc_stats() noexcept {
    return {g_allocations.load(std::memory_order_relaxed), g_frees.load(std::memory_order_relaxed),
            g_live_bytes.load(std::memory_order_relaxed)};
}

}  // namespace sablewick::bench

using sablewick::bench::allocate;
using sablewick::bench::allocate_or_throw;
using sablewick::bench::release;

void* operator new(std::size_t size) { return allocate_or_throw(size, 0); }
void* operator new[](std::size_t size) { return allocate_or_throw(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) {
    return allocate_or_throw(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
    return allocate_or_throw(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
