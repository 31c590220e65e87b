// The telnet parser's events, each input fed whole and then one byte at a time: a split at any
// byte must change nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stream/telnet_encoding.h"
#include "stream/telnet_parser.h"

namespace brawlhue::stream {
namespace {

// Writes each event as a short token: text runs as their bytes, the rest in brackets.
struct RecordingSink {
    std::string events;

    bool Text(std::uint8_t byte) {
        events += static_cast<char>(byte);
        return true;
    }
    bool Command(std::uint8_t command) {
        events += "[C" + std::to_string(command) + "]";
        return true;
    }
    bool Negotiation(std::uint8_t verb, std::uint8_t option) {
        events += "[N" + std::to_string(verb) + "," + std::to_string(option) + "]";
        return true;
    }
    bool SubnegotiationStart(std::uint8_t option) {
        events += "[S" + std::to_string(option) + "]";
        return true;
    }
    bool SubnegotiationData(std::uint8_t byte) {
        events += "[D" + std::to_string(byte) + "]";
        return true;
    }
    bool SubnegotiationEnd(bool complete) {
        events += complete ? "[E]" : "[E-]";
        return true;
    }
};

std::string Bytes(std::initializer_list<int> bytes) {
    std::string text;
    for (const int byte : bytes) {
        text += static_cast<char>(byte);
    }
    return text;
}

struct Case {
    const char* name;
    std::string input;
    std::string events;
    std::string unfinished;  // UnfinishedCommand() after the input
};

const std::vector<Case>& Cases() {
    using namespace telnet;
    static const std::vector<Case> cases = {
        {"plain text", "ab\r\n", "ab\r\n", ""},
        {"IAC IAC is a 0xFF of text", "a" + Bytes({kIac, kIac}) + "b",
         "a\xFF"
         "b",
         ""},
        {"GA after a prompt", "> " + Bytes({kIac, kGa}), "> [C249]", ""},
        {"EOR", Bytes({kIac, kEor}), "[C239]", ""},
        {"a negotiation", Bytes({kIac, kWill, kCompress2}), "[N251,86]", ""},
        {"a subnegotiation", Bytes({kIac, kSb, 201, 'x', kIac, kIac, kIac, kSe}),
         "[S201][D120][D255][E]", ""},
        {"a subnegotiation ended by a command", Bytes({kIac, kSb, 24, 'y', kIac, kGa}) + "z",
         "[S24][D121][E-][C249]z", ""},
        {"cut after IAC", "a" + Bytes({kIac}), "a", Bytes({kIac})},
        {"cut after IAC WILL", Bytes({kIac, kWill}), "", Bytes({kIac, kWill})},
        {"cut after IAC SB", Bytes({kIac, kSb}), "", Bytes({kIac, kSb})},
    };
    return cases;
}

TEST(TelnetParser, ReportsEachItemWhereverTheBytesAreSplit) {
    for (const Case& test : Cases()) {
        SCOPED_TRACE(test.name);
        const auto* data = reinterpret_cast<const std::uint8_t*>(test.input.data());
        TelnetParser whole_parser;
        RecordingSink whole;
        EXPECT_EQ(whole_parser.Feed({data, test.input.size()}, whole), test.input.size());
        EXPECT_EQ(whole.events, test.events);
        EXPECT_EQ(whole_parser.UnfinishedCommand(), test.unfinished);

        TelnetParser bytewise_parser;
        RecordingSink bytewise;
        for (std::size_t i = 0; i < test.input.size(); ++i) {
            bytewise_parser.Feed({data + i, 1}, bytewise);
        }
        EXPECT_EQ(bytewise.events, test.events);
    }
}

// The encoding is the parser's inverse: text with 0xFF in it comes back as it went.
TEST(TelnetEncoding, TextSurvivesTheParser) {
    for (const std::string& text : {std::string("plain"), std::string("\xFF"),
                                    std::string("a\xFF\xFF"
                                                "b\xFF")}) {
        std::string encoded;
        AppendTelnetText(text, encoded);
        TelnetParser parser;
        RecordingSink sink;
        parser.Feed({reinterpret_cast<const std::uint8_t*>(encoded.data()), encoded.size()}, sink);
        EXPECT_EQ(sink.events, text);
    }
    std::string negotiation;
    AppendNegotiation(negotiation, telnet::kWont, telnet::kCompress2);
    EXPECT_EQ(negotiation, Bytes({telnet::kIac, telnet::kWont, telnet::kCompress2}));
}

}  // namespace
}  // namespace brawlhue::stream
