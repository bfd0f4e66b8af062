#include "bench/heap_meter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace vx::bench {
namespace {

std::atomic<size_t> gLive{0};
std::atomic<size_t> gPeak{0};

// Each block carries its size in front, kept at the alignment new promises.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block) return nullptr;
    *reinterpret_cast<size_t*>(block) = size;
    const size_t live = gLive += size;
    for (size_t peak = gPeak; live > peak && !gPeak.compare_exchange_weak(peak, live);) {
    }
    return block + kHeader;
}

void Free(void* p) {
    if (!p) return;
    auto* block = static_cast<unsigned char*>(p) - kHeader;
    gLive -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}

void* AllocateOrThrow(size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}

}  // namespace

size_t HeapLive() {
    return gLive;
}
size_t HeapPeak() {
    return gPeak;
}
void HeapResetPeak() {
    gPeak = gLive.load();
}

}  // namespace vx::bench

void* operator new(size_t size) {
    return vx::bench::AllocateOrThrow(size);
}
void* operator new[](size_t size) {
    return vx::bench::AllocateOrThrow(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return vx::bench::Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return vx::bench::Allocate(size);
}
void operator delete(void* p) noexcept {
    vx::bench::Free(p);
}
void operator delete[](void* p) noexcept {
    vx::bench::Free(p);
}
void operator delete(void* p, size_t) noexcept {
    vx::bench::Free(p);
}
void operator delete[](void* p, size_t) noexcept {
    vx::bench::Free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    vx::bench::Free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    vx::bench::Free(p);
}
