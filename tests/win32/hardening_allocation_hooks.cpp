// The counting allocator of BrawlhueCounted.dll. Linked ahead of the static C++ runtime, these
// replace operator new and delete for all code in the module, the runtime's own included, and
// leave every other module's allocator alone.
#include <cstdlib>
#include <new>

#include "hardening_allocation_probe.h"

namespace {

constinit brawlhue::hardening::AllocationProbe probe{};

void* Allocate(std::size_t size) {
    if (probe.refuse_countdown != 0 && --probe.refuse_countdown == 0) {
        ++probe.refused;
        throw std::bad_alloc();
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    ++probe.live_blocks;
    ++probe.allocations;
    return block;
}

void Free(void* block) noexcept {
    if (block != nullptr) {
        --probe.live_blocks;
        std::free(block);
    }
}

}  // namespace

extern "C" brawlhue::hardening::AllocationProbe* BrawlhueAllocationProbe() {
    return &probe;
}

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept {
    Free(block);
}
void operator delete[](void* block) noexcept {
    Free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    Free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    Free(block);
}
