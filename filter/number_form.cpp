#include "filter/number_form.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace brawlhue {
namespace {

constexpr int kSignificantDigits = 15;
// Beyond these decimal exponents a double overflows or underflows; such texts are not numbers
// the host could have written.
constexpr int kLargestExponent = 308;
constexpr int kSmallestExponent = -324;
// No general form is longer than this: sign, 15 digits, point, and "E+308" or "0.0000".
constexpr std::size_t kLongestForm = 24;

constexpr bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// A value as read: sign, significant digits without leading zeros, and the decimal exponent of
// the first digit (value = d1.d2d3... * 10^exponent).
struct Reading {
    bool negative = false;
    std::array<std::uint8_t, kSignificantDigits + 1> digits{};
    int count = 0;     // significant digits kept: one more than written, for rounding
    int exponent = 0;  // decimal exponent of digits[0]
};

void AddDigit(Reading& reading, int digit, int position) {
    if (reading.count == 0) {
        if (digit == 0) {
            return;  // a leading zero only moves the point
        }
        reading.exponent = position;
    }
    if (reading.count < static_cast<int>(reading.digits.size())) {
        reading.digits[reading.count++] = static_cast<std::uint8_t>(digit);
    }
}

// The leading-number rule. position tracks the decimal exponent of the digit being read,
// counted from the point: the integer digits are numbered after the whole run is known.
Reading ReadLeadingNumber(std::u16string_view text) {
    Reading reading;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        reading.negative = text[i] == u'-';
        ++i;
    }
    const std::size_t integer_begin = i;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    const std::size_t integer_end = i;
    std::size_t fraction_begin = i;
    std::size_t fraction_end = i;
    if (i + 1 < text.size() && text[i] == u'.' && IsDigit(text[i + 1])) {
        fraction_begin = ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
        }
        fraction_end = i;
    }
    if (integer_begin == integer_end && fraction_begin == fraction_end) {
        return Reading{};  // no digits: the value is 0
    }
    int position = static_cast<int>(integer_end - integer_begin) - 1;
    for (std::size_t k = integer_begin; k < integer_end; ++k, --position) {
        AddDigit(reading, text[k] - u'0', position);
    }
    for (std::size_t k = fraction_begin; k < fraction_end; ++k, --position) {
        AddDigit(reading, text[k] - u'0', position);
    }

    if (i < text.size() && (text[i] == u'E' || text[i] == u'e')) {
        std::size_t j = i + 1;
        bool exponent_negative = false;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) {
            exponent_negative = text[j] == u'-';
            ++j;
        }
        if (j < text.size() && IsDigit(text[j])) {
            int shift = 0;
            for (; j < text.size() && IsDigit(text[j]); ++j) {
                if (shift < 100000) {  // far past any representable value; stop growing
                    shift = shift * 10 + (text[j] - u'0');
                }
            }
            reading.exponent += exponent_negative ? -shift : shift;
        }
    }
    return reading;
}

// Rounds to 15 significant digits, half away from zero, and drops trailing zeros.
void RoundToSignificant(Reading& reading) {
    if (reading.count > kSignificantDigits) {
        const bool round_up = reading.digits[kSignificantDigits] >= 5;
        reading.count = kSignificantDigits;
        if (round_up) {
            int k = kSignificantDigits - 1;
            while (k >= 0 && reading.digits[k] == 9) {
                reading.digits[k--] = 0;
            }
            if (k >= 0) {
                ++reading.digits[k];
            } else {  // 999... became 1000...
                reading.digits[0] = 1;
                reading.count = 1;
                ++reading.exponent;
            }
        }
    }
    while (reading.count > 1 && reading.digits[reading.count - 1] == 0) {
        --reading.count;
    }
}

class FormBuffer {
  public:
    void Put(char16_t c) {
        if (size_ < units_.size()) {
            units_[size_] = c;
        }
        ++size_;
    }
    void PutDigit(int d) { Put(static_cast<char16_t>(u'0' + d)); }
    bool Equals(std::u16string_view text) const {
        return size_ <= units_.size() && text == std::u16string_view(units_.data(), size_);
    }

  private:
    std::array<char16_t, kLongestForm + 8> units_{};
    std::size_t size_ = 0;
};

void WriteGeneralForm(const Reading& reading, FormBuffer& out) {
    if (reading.count == 0) {
        out.Put(u'0');  // zero has no sign
        return;
    }
    if (reading.negative) {
        out.Put(u'-');
    }
    const int e = reading.exponent;
    if (e < -5 || e >= kSignificantDigits) {
        out.PutDigit(reading.digits[0]);
        if (reading.count > 1) {
            out.Put(u'.');
            for (int k = 1; k < reading.count; ++k) {
                out.PutDigit(reading.digits[k]);
            }
        }
        out.Put(u'E');
        out.Put(e < 0 ? u'-' : u'+');
        const int magnitude = e < 0 ? -e : e;
        if (magnitude >= 100) {
            out.PutDigit(magnitude / 100);
        }
        out.PutDigit(magnitude / 10 % 10);
        out.PutDigit(magnitude % 10);
        return;
    }
    if (e < 0) {
        out.Put(u'0');
        out.Put(u'.');
        for (int k = -1; k > e; --k) {
            out.Put(u'0');
        }
        for (int k = 0; k < reading.count; ++k) {
            out.PutDigit(reading.digits[k]);
        }
        return;
    }
    for (int k = 0; k <= e; ++k) {
        out.PutDigit(k < reading.count ? reading.digits[k] : 0);
    }
    if (reading.count > e + 1) {
        out.Put(u'.');
        for (int k = e + 1; k < reading.count; ++k) {
            out.PutDigit(reading.digits[k]);
        }
    }
}

}  // namespace

bool IsGeneralNumberForm(std::u16string_view text) noexcept {
    // Every general form is short; a longer text cannot equal its own, whatever it reads as.
    if (text.empty() || text.size() > kLongestForm) {
        return false;
    }
    Reading reading = ReadLeadingNumber(text);
    RoundToSignificant(reading);
    if (reading.count > 0 &&
        (reading.exponent > kLargestExponent || reading.exponent < kSmallestExponent)) {
        return false;
    }
    FormBuffer form;
    WriteGeneralForm(reading, form);
    return form.Equals(text);
}

}  // namespace brawlhue
