// The variables file of brawlhost keeps any text through a save and a load, and names the line
// it cannot read.
#include <gtest/gtest.h>

#include <string>

#include "host/variable_file.h"

namespace {

using brawlhue::host::FormatVariables;
using brawlhue::host::ParseVariables;
using brawlhue::host::StoredVariable;
using brawlhue::host::VariableFileError;
using brawlhue::host::VariableKey;
using brawlhue::host::VariableTable;

TEST(VariableFile, AnyTextSurvivesFormatAndParse) {
    const VariableTable variables = {
        {VariableKey{u"MeleeEnabled", u"BrawlhuePlugin"}, StoredVariable{u"False", u"False"}},
        {VariableKey{u"tab\there", u"back\\slash"}, StoredVariable{u"line\nfeed\r", u""}},
        {VariableKey{u"", u"#not a comment"}, StoredVariable{u"\x00e9\xDC80\xDCFF", u"\\t"}},
    };
    EXPECT_EQ(variables, ParseVariables(FormatVariables(variables)));
}

TEST(VariableFile, ReadsCommentsBlankLinesAndCrLf) {
    const VariableTable expected = {
        {VariableKey{u"MeleeEnabled", u"BrawlhuePlugin"}, StoredVariable{u"True", u"True"}},
    };
    EXPECT_EQ(expected, ParseVariables("# heading\r\n\r\nBrawlhuePlugin\tMeleeEnabled\tTrue\tTrue"
                                       "\r\n"));
}

TEST(VariableFile, RefusesMalformedLinesByNumber) {
    struct Case {
        std::string_view text;
        std::string_view message;
    };
    const Case cases[] = {
        {"a\tb\tc\n", "line 1: fewer than four fields"},
        {"# x\na\tb\tc\td\te\n", "line 2: more than four fields"},
        {"a\tb\tc\\x\td\n", "line 1: unknown escape after a backslash"},
        {"\n\na\tb\tc\td\\\n", "line 3: a backslash ends a field"},
    };
    for (const Case& c : cases) {
        try {
            ParseVariables(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const VariableFileError& error) {
            EXPECT_EQ(c.message, error.what());
        }
    }
}

}  // namespace
