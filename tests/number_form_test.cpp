// The number test of the "I" prompt: a text qualifies when reading it as a number and writing
// the number back gives the same text.
#include "filter/number_form.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace brawlhue {
namespace {

std::u16string Widen(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

TEST(IsGeneralNumberForm, WholeNumbers) {
    struct Case {
        std::string_view text;
        bool qualifies;
    };
    const Case cases[] = {
        {"0", true},
        {"5", true},
        {"51", true},
        {"100", true},
        {"-5", true},
        {"-51", true},
        {"123456789012345", true},
        {"999999999999999", true},
        {"100000000000000", true},
        {"-123456789012345", true},
        // Sixteen digits and more come back in exponent form.
        {"1234567890123456", false},
        {"1000000000000000", false},
        {"9999999999999999", false},
        {"-1234567890123456", false},
        {"12345678901234567890123456789", false},
        // Leading zeros, signs that are not written back, zero with a sign.
        {"051", false},
        {"00", false},
        {"007", false},
        {"+5", false},
        {"+0", false},
        {"-0", false},
        {"--5", false},
        {"-", false},
        {"+", false},
        // Nothing readable, or something behind the number.
        {"", false},
        {"a", false},
        {"abc", false},
        {"5a", false},
        {"a5", false},
        {"1,000", false},
        {"0x10", false},
        {"5\t", false},
        {" 5", false},
        {"5 ", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsGeneralNumberForm(Widen(c.text)), c.qualifies) << '"' << c.text << '"';
    }
}

TEST(IsGeneralNumberForm, FractionsAndOtherDigits) {
    struct Case {
        std::u16string_view text;
        bool qualifies;
    };
    const Case cases[] = {
        {u"1.5", true},
        {u"-1.5", true},
        {u"12.75", true},
        {u"1.05", true},
        {u"1.23456789012345", true},
        {u"1.50", false},
        {u"1.0", false},
        {u"1.", false},
        {u"0.0", false},
        {u"00.5", false},
        {u"1.234567890123456", false},
        {u"1.5.", false},
        {u"1e5", false},
        {u"1E5", false},
        // Only ASCII digits are digits.
        {u"\uFF15", false},  // FULLWIDTH DIGIT FIVE
        {u"\u0665", false},  // ARABIC-INDIC DIGIT FIVE
        {u"5\U0001F600", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsGeneralNumberForm(c.text), c.qualifies)
            << std::string(c.text.begin(), c.text.end());
    }
    // Whether a value below one keeps its leading zero is a choice of the written form, but
    // exactly one of the two spellings must be it.
    EXPECT_NE(IsGeneralNumberForm(u"0.5"), IsGeneralNumberForm(u".5"));
    EXPECT_NE(IsGeneralNumberForm(u"-0.5"), IsGeneralNumberForm(u"-.5"));
}

}  // namespace
}  // namespace brawlhue
