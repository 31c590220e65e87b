// The per-line path allocates nothing: the core describes the rebuilt line and the caller builds
// the text once. Global operator new is replaced here to count, so this test has an executable
// of its own.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "engine/colorizer.h"
#include "filter/line_filter.h"

namespace {

std::size_t g_allocations = 0;

void* Allocate(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
    ++g_allocations;
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    if (void* p = std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

// Every replaceable form, so that memory from one never reaches another allocator's release
// (which AddressSanitizer reports as a mismatch).
void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    try {
        return AllocateAligned(size, align);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    try {
        return AllocateAligned(size, align);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace brawlhue {
namespace {

constexpr std::int16_t kOn = -1;

struct Filtered {
    std::optional<RebuiltLine> rebuilt;
    std::size_t allocations;
};

Filtered FilterCounting(std::u16string_view line, std::int16_t enabled) {
    const std::size_t before = g_allocations;
    std::optional<RebuiltLine> rebuilt = FilterLine(line, enabled);
    return {rebuilt, g_allocations - before};
}

TEST(Allocation, CountingIsInPlace) {
    const std::size_t before = g_allocations;
    const std::u16string text(100, u'x');
    EXPECT_EQ(g_allocations - before, 1u) << text.size();
}

TEST(Allocation, FilteringALineAllocatesNothing) {
    // Long enough that no copy of it could hide in a small-string buffer.
    const std::u16string long_prompts = u"* HP:120 SP:80 MV:95 > * HP:120 SP:80 MV:95 > ";
    const std::u16string_view uncoloured[] = {
        u"The orc flees from the room in panic, dropping its rusty scimitar.",
        u"Bob says 'the guard hits your arm and your leg and your head again'",
        u"* HP:120 SP:80 MV:95 > ",
        u"",
    };
    for (std::u16string_view line : uncoloured) {
        const std::u16string input = long_prompts + std::u16string(line);
        const Filtered filtered = FilterCounting(input, kOn);
        EXPECT_FALSE(filtered.rebuilt.has_value());
        EXPECT_EQ(filtered.allocations, 0u) << std::string(line.begin(), line.end());
    }
    const std::u16string coloured =
        long_prompts + u"You slash the troll's left foreleg with your two-handed sword.";
    const Filtered on = FilterCounting(coloured, kOn);
    EXPECT_TRUE(on.rebuilt.has_value());
    EXPECT_EQ(on.allocations, 0u);
    const Filtered off = FilterCounting(coloured, 0);
    EXPECT_FALSE(off.rebuilt.has_value());
    EXPECT_EQ(off.allocations, 0u);
}

TEST(Allocation, BuildingAColouredMessageAllocatesOnce) {
    const std::u16string message = u"You slash the troll's left foreleg with your sword.";
    const std::size_t before = g_allocations;
    const std::optional<ColouredText> coloured = ColorizeLine(message, kOn);
    EXPECT_EQ(g_allocations - before, 0u);
    ASSERT_TRUE(coloured.has_value());
    const std::size_t built = g_allocations;
    const std::u16string text = coloured->ToString();
    EXPECT_EQ(g_allocations - built, 1u);
    EXPECT_EQ(text.size(), coloured->size());
}

TEST(Allocation, BuildingTheRebuiltLineAllocatesOnce) {
    const std::u16string line =
        u"* HP:120 SP:80 MV:95 > A column of stone stands here covered in odd carvings.";
    const std::optional<RebuiltLine> rebuilt = FilterLine(line, kOn);
    ASSERT_TRUE(rebuilt.has_value());
    const std::size_t before = g_allocations;
    const std::u16string text = rebuilt->ToString();
    const std::size_t allocations = g_allocations - before;
    EXPECT_EQ(allocations, 1u);
    EXPECT_EQ(text.size(), rebuilt->size());
}

}  // namespace
}  // namespace brawlhue
