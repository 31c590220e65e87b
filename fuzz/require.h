// How a fuzz target reports a broken property: what broke and the texts involved on stderr,
// then abort(), which libFuzzer records as a crash and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace brawlhue::fuzz {

// Printable ASCII as is, every other unit as \uXXXX.
inline void PrintUnits(const char* label, std::u16string_view units) {
    std::fprintf(stderr, "  %s (%zu units): \"", label, units.size());
    for (char16_t unit : units) {
        if (unit >= 0x20 && unit < 0x7F && unit != u'\\') {
            std::fputc(static_cast<int>(unit), stderr);
        } else {
            std::fprintf(stderr, "\\u%04X", static_cast<unsigned>(unit));
        }
    }
    std::fputs("\"\n", stderr);
}

inline void PrintBytes(const char* label, std::string_view bytes) {
    std::fprintf(stderr, "  %s (%zu bytes):", label, bytes.size());
    for (char byte : bytes) {
        std::fprintf(stderr, " %02X", static_cast<unsigned>(static_cast<unsigned char>(byte)));
    }
    std::fputs("\n", stderr);
}

// The texts are printed only on failure; pass them as a callable that prints them.
template <typename PrintContext>
void Require(bool holds, const char* property, PrintContext&& print_context) {
    if (holds) {
        return;
    }
    std::fprintf(stderr, "Broken: %s\n", property);
    print_context();
    std::abort();
}

}  // namespace brawlhue::fuzz
