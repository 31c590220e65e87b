// Hostile and odd input at the boundary: every text parameter NULL and empty, lines around the
// pager's length and of 16 MiB, lines of NULs, lone surrogates, escape sequences and wildcard
// characters, thousands of prompts in a row, extreme handles and command identifiers, and a
// session count that lies. Each gets its specified answer, or a failure status where going on
// would overflow or crash; nothing leaks and no structured exception is raised.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hardening_support.h"

namespace brawlhue::hardening {
namespace {

constexpr std::u16string_view kPager = u" Press <Return> to continue, q to quit *>";
static_assert(kPager.size() == 41);

std::u16string Repeated(std::u16string_view part, std::size_t times) {
    std::u16string text;
    text.reserve(part.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += part;
    }
    return text;
}

std::u16string Joined(std::initializer_list<std::u16string_view> parts) {
    std::u16string text;
    for (const std::u16string_view part : parts) {
        text += part;
    }
    return text;
}

// An own hit padded with "!" to the given length; the pattern's final "*" takes the padding.
std::u16string OwnHitOfLength(std::size_t units) {
    return std::u16string(kOwnHit) + std::u16string(units - kOwnHit.size(), u'!');
}

constexpr std::size_t k16MiBUnits = 8 * 1024 * 1024;

class BadInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, apartment_.result());
        ASSERT_EQ(S_OK, spied_.registered());
        hosted_.emplace(LoadedModule::Get(kShippedModule));
        ASSERT_NE(nullptr, hosted_->plugin());
        ASSERT_EQ(S_OK, LoadedModule::Get(kShippedModule).Create(CLSID_Tools, tools_));
        resting_host_objects_ = host().LiveObjects();
    }
    void TearDown() override {
        EXPECT_EQ(resting_host_objects_, host().LiveObjects()) << "host references left over";
        tools_.reset();
        hosted_.reset();
        EXPECT_EQ(0, TaskMemorySpy::Instance().LiveBlocks()) << "task memory left over";
        EXPECT_EQ(0u, TaskMemorySpy::Instance().StrayFrees());
        EXPECT_EQ(S_OK, spied_.Revoke());
        EXPECT_EQ(0u, exceptions_.Count()) << exceptions_.Describe();
    }

    host::StandinHost& host() { return hosted_->host(); }
    IzMUDPlugin* plugin() { return hosted_->plugin(); }

    Apartment apartment_;
    FirstChanceExceptions exceptions_;
    SpiedTaskMemory spied_;
    std::optional<HostedPlugin> hosted_;
    ComRef<_Tools> tools_;
    long resting_host_objects_ = 0;
};

struct LineCase {
    const char* name;
    std::u16string line;
    std::u16string message;  // the line less its leading prompts
    bool own_hit;            // whether the message is coloured as an own hit
};

std::vector<LineCase> LineCases() {
    const std::u16string hit(kOwnHit);
    const std::u16string pager(kPager);
    return {
        // Around the pager prompt: one opening character and the 41 units of the pager text.
        {"0 units", u"", u"", false},
        {"1 unit, a star", u"*", u"*", false},
        {"1 unit, a greater-than sign", u">", u">", false},
        {"2 units, bare prompt", u"> ", u"", false},
        {"2 units, bracket prompt", u"] ", u"", false},
        {"2 units, an opening and no terminator", u"* ", u"* ", false},
        {"2 units, I and a blank", u"I ", u"I ", false},
        {"41 units, the pager text alone", pager, pager, false},
        {"41 units, the pager cut short", u"*" + pager.substr(0, 40), u"*" + pager.substr(0, 40),
         false},
        {"42 units, the pager behind a star", u"*" + pager, u"", false},
        {"42 units, the pager behind o", u"o" + pager, u"", false},
        {"42 units, the pager behind S", u"S" + pager, u"", false},
        {"42 units, the pager behind R", u"R" + pager, u"", false},
        {"42 units, the pager behind x", u"x" + pager, u"x" + pager, false},
        {"43 units, the pager and one more", u"*" + pager + u"Y", u"Y", false},
        {"the pager, then an own hit", u"*" + pager + hit, hit, true},
        {"the pager twice, then an own hit", u"*" + pager + u"R" + pager + hit, hit, true},
        {"41-unit own hit", OwnHitOfLength(41), OwnHitOfLength(41), true},
        {"42-unit own hit", OwnHitOfLength(42), OwnHitOfLength(42), true},
        {"43-unit own hit", OwnHitOfLength(43), OwnHitOfLength(43), true},
        // NULs are characters like any other.
        {"64 NULs", std::u16string(64, u'\0'), std::u16string(64, u'\0'), false},
        {"own hit ending in NUL", hit + u'\0', hit + u'\0', true},
        {"NUL before a prompt", u'\0' + (u"> " + hit), u'\0' + (u"> " + hit), false},
        {"prompt, then NUL", u"> " + (u'\0' + hit), u'\0' + hit, false},
        {"NUL inside the terminator", Joined({u"* HP:1 ", std::u16string(1, u'\0'), u"> x"}),
         Joined({u"* HP:1 ", std::u16string(1, u'\0'), u"> x"}), false},
        // Units pass through whole, paired or not.
        {"lone high surrogate", u"\xD800", u"\xD800", false},
        {"prompt, then a lone low surrogate", u"> \xDFFF", u"\xDFFF", false},
        {"own hit ending in a lone surrogate", hit + u"\xD800", hit + u"\xD800", true},
        {"surrogate inside a prompt", u"* \xD83D > " + hit, hit, true},
        {"reversed pair before an own hit", u"\xDC00\xD800" + hit, u"\xDC00\xD800" + hit, false},
        // Escape sequences are text of the line, never interpreted.
        {"colour sequence before an own hit", u"\x1b[31m" + hit, u"\x1b[31m" + hit, false},
        {"sequences inside an own hit", u"You hit the \x1b[1mtroll\x1b[0m's head",
         u"You hit the \x1b[1mtroll\x1b[0m's head", true},
        {"prompt, then a reset sequence", u"> \x1b[0m", u"\x1b[0m", false},
        {"control characters", u"\a\b\f\r\n\t\v", u"\a\b\f\r\n\t\v", false},
        // Wildcard characters in the line are ordinary.
        {"star prompt, then a star", u"* > *", u"*", false},
        {"a star in place of the verb", u"You * the troll's head", u"You * the troll's head",
         false},
        {"wildcards in the target", u"You hit the *?[#]'s head", u"You hit the *?[#]'s head", true},
        {"wildcards alone", u"*?[#]!-", u"*?[#]!-", false},
        {"question marks", u"???", u"???", false},
        // Thousands of prompts in a row.
        {"5000 bare prompts, then an own hit", Repeated(u"> ", 5000) + hit, hit, true},
        {"3000 status prompts, then an own hit", Repeated(u"* HP:12 SP:3 > ", 3000) + hit, hit,
         true},
        {"3000 numbered prompts, then a quiet room",
         Repeated(u"I51 > ", 3000) + u"The room is quiet.", u"The room is quiet.", false},
        {"2000 pagers, then an own hit", Repeated(u"*" + pager, 2000) + hit, hit, true},
        {"10000 prompts and nothing else", Repeated(u"> ", 10000), u"", false},
        // 16 MiB lines.
        {"16 MiB own hit", OwnHitOfLength(k16MiBUnits), OwnHitOfLength(k16MiBUnits), true},
        {"16 MiB of bare prompts", Repeated(u"> ", k16MiBUnits / 2), u"", false},
        {"16 MiB opening with no terminator", u"* " + std::u16string(k16MiBUnits - 2, u'x'),
         u"* " + std::u16string(k16MiBUnits - 2, u'x'), false},
        {"16 MiB numbered opening with no blank", u"I" + std::u16string(k16MiBUnits - 1, u'7'),
         u"I" + std::u16string(k16MiBUnits - 1, u'7'), false},
        {"16 MiB of a verb again and again", Repeated(u" hit", k16MiBUnits / 4),
         Repeated(u" hit", k16MiBUnits / 4), false},
    };
}

TEST_F(BadInputTest, LinesGetTheirSpecifiedAnswer) {
    hosted_->SetColouring(true);
    const std::vector<LineCase> cases = LineCases();
    for (const LineCase& test : cases) {
        SCOPED_TRACE(test.name);
        ASSERT_LE(test.message.size(), test.line.size());
        const std::u16string_view prompt =
            std::u16string_view(test.line).substr(0, test.line.size() - test.message.size());
        ASSERT_EQ(test.message, std::u16string_view(test.line).substr(prompt.size()))
            << "the message is a tail of the line";

        BSTR line = UniqueBstr::Copy(test.line).release();
        const BSTR passed = line;
        BSTR message = nullptr;
        ASSERT_EQ(S_OK, tools_->GetNonPrompt(&line, &message));
        const UniqueBstr owned_message(message);
        EXPECT_TRUE(test.message == owned_message.view()) << Printable(owned_message.view());
        EXPECT_EQ(passed, line);

        for (const bool colouring : {true, false}) {
            hosted_->SetColouring(colouring);
            const BSTR before = line;
            LONG gag = 4;
            VARIANT_BOOL update = 9;
            ASSERT_EQ(S_OK, plugin()->Parse(-1, &line, VARIANT_FALSE, &gag, &update));
            EXPECT_EQ(4, gag);
            if (colouring && test.own_hit) {
                EXPECT_EQ(VARIANT_TRUE, update);
                EXPECT_TRUE(RebuiltOwnHit(prompt, test.message) == com::TextOf(line))
                    << Printable(com::TextOf(line));
                ::SysFreeString(line);
                line = UniqueBstr::Copy(test.line).release();
            } else {
                EXPECT_EQ(VARIANT_FALSE, update);
                EXPECT_EQ(before, line) << "a line not coloured is left alone";
                EXPECT_TRUE(test.line == com::TextOf(line));
            }
        }
        ::SysFreeString(line);
    }
}

// NULL is the empty text wherever a text goes in; every operation takes both.
TEST_F(BadInputTest, NullAndEmptyTextsInEveryTextParameter) {
    const SessionId session = host().OpenSession(1);
    hosted_->StoreFlag(session, u"False");
    hosted_->SetColouring(true);
    // The case of no word found; its hint line is the command tests' business.
    const auto expect_unknown_word = [](const std::vector<DisplayedLine>& shown) {
        ASSERT_EQ(4u, shown.size());
        EXPECT_EQ(Plain({u"", u"Brawlhue: Unknown command."}),
                  std::vector(shown.begin(), shown.begin() + 2));
        EXPECT_EQ(Plain({u""}), std::vector(shown.begin() + 3, shown.end()));
    };

    using Check = std::function<void(BSTR text)>;
    struct Case {
        const char* name;
        Check check;
    };
    const Case cases[] = {
        {"Parse: P",
         [&](BSTR text) {
             BSTR line = text;
             LONG gag = 0;
             VARIANT_BOOL update = 3;
             EXPECT_EQ(S_OK, plugin()->Parse(1, &line, VARIANT_FALSE, &gag, &update));
             EXPECT_EQ(text, line);
             EXPECT_EQ(VARIANT_FALSE, update);
         }},
        {"GetNonPrompt: PromptString",
         [&](BSTR text) {
             BSTR line = text;
             BSTR message = nullptr;
             EXPECT_EQ(S_OK, tools_->GetNonPrompt(&line, &message));
             EXPECT_EQ(text, line);
             EXPECT_NE(nullptr, message) << "an empty text, not nothing";
             EXPECT_EQ(0u, ::SysStringLen(message));
             ::SysFreeString(message);
         }},
        {"plugCommand: ComStr",
         [&](BSTR text) {
             VARIANT unused;
             ::VariantInit(&unused);
             EXPECT_EQ(S_OK, plugin()->plugCommand(1, kCommandId, text, unused));
             expect_unknown_word(hosted_->TakeShown(session));
             EXPECT_TRUE(hosted_->Colouring());
             EXPECT_EQ((StoredVariable{u"False", u"False"}), hosted_->Flag(session));
         }},
        {"plugFunction: ComStr",
         [&](BSTR text) {
             VARIANT unused;
             ::VariantInit(&unused);
             BSTR result = nullptr;
             EXPECT_EQ(S_OK, plugin()->plugFunction(1, kCommandId, text, unused, &result));
             EXPECT_NE(nullptr, result);
             EXPECT_EQ(0u, ::SysStringLen(result));
             ::SysFreeString(result);
         }},
        {"Register: Version",
         [&](BSTR text) {
             BSTR out[4] = {};
             BSTR version = text;
             VARIANT_BOOL load_def = VARIANT_FALSE;
             EXPECT_EQ(S_OK,
                       plugin()->Register(&out[0], &out[1], &out[2], &version, &out[3], &load_def));
             EXPECT_EQ(text, version) << "Version is left as the host passed it";
             for (BSTR written : out) {
                 EXPECT_NE(nullptr, written);
                 ::SysFreeString(written);
             }
         }},
        {"AddMenu: Caption and HelpStr",
         [&](BSTR text) {
             BSTR caption = text;
             BSTR help = text;
             LONG id = 5;
             EXPECT_EQ(S_OK, plugin()->AddMenu(0, &caption, &help, &id, 0));
             EXPECT_EQ(text, caption);
             EXPECT_EQ(text, help);
             EXPECT_EQ(5, id);
         }},
        {"UserInput and MUDInput: P",
         [&](BSTR text) {
             BSTR input = text;
             VARIANT_BOOL send = VARIANT_TRUE;
             EXPECT_EQ(S_OK, plugin()->UserInput(1, &input, &send));
             EXPECT_EQ(S_OK, plugin()->MUDInput(1, &input));
             EXPECT_EQ(text, input);
             EXPECT_EQ(VARIANT_TRUE, send);
         }},
        {"LoadSettings, CaptureOutput, OpenThread: every text",
         [&](BSTR text) {
             EXPECT_EQ(S_OK, plugin()->LoadSettings(text, 0));
             EXPECT_EQ(S_OK, plugin()->CaptureOutput(1, text, text));
             EXPECT_EQ(S_OK, plugin()->OpenThread(1, text, text, 0));
         }},
    };
    const UniqueBstr empty = UniqueBstr::Copy(u"");
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        for (const BSTR text : {BSTR{}, empty.get()}) {
            SCOPED_TRACE(text == nullptr ? "NULL" : "empty");
            test.check(text);
            EXPECT_EQ(0u, ::SysStringLen(empty.get()));
        }
    }
    EXPECT_TRUE(hosted_->TakeShown(session).empty());
}

// What the host hands back as the stored flag is input too. A text that reads as true or false
// gives it; one that does not is a type mismatch; one too big to read may be refused with another
// failure instead. A failure shows the banner and changes neither Enabled nor the variable.
TEST_F(BadInputTest, StoredFlagTextsThatAreNotTrueOrFalse) {
    constexpr LONG kHandle = 8;
    const SessionId session = host().OpenSession(kHandle);
    enum class Reads { kTrue, kFalse, kMismatch, kTrueOrRefused };
    const struct {
        const char* name;
        std::u16string stored;
        Reads reads;
    } cases[] = {
        {"empty", u"", Reads::kMismatch},
        {"NUL inside", Joined({u"True", std::u16string(1, u'\0'), u"x"}), Reads::kMismatch},
        {"NUL alone", std::u16string(1, u'\0'), Reads::kMismatch},
        {"lone surrogate", u"\xD800", Reads::kMismatch},
        {"escape sequence", u"\x1b[0m", Reads::kMismatch},
        {"wildcard", u"*", Reads::kMismatch},
        {"16 MiB of letters", std::u16string(k16MiBUnits, u'T'), Reads::kMismatch},
        {"minus zero", u"-0", Reads::kFalse},
        {"a number too big for a double", u"1e400", Reads::kTrueOrRefused},
        {"16 MiB of digits", std::u16string(k16MiBUnits, u'1'), Reads::kTrueOrRefused},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        for (const bool before : {false, true}) {
            hosted_->SetColouring(before);
            hosted_->StoreFlag(session, test.stored);
            const HRESULT result = plugin()->OnConnect(kHandle);
            EXPECT_EQ(1u, hosted_->TakeShown(session).size()) << "the banner comes first";
            const bool refused = test.reads == Reads::kMismatch ||
                                 (test.reads == Reads::kTrueOrRefused && FAILED(result));
            if (test.reads == Reads::kMismatch) {
                EXPECT_EQ(DISP_E_TYPEMISMATCH, result);
            }
            if (refused) {
                EXPECT_TRUE(FAILED(result));
                EXPECT_EQ(before, hosted_->Colouring());
            } else {
                EXPECT_EQ(S_OK, result);
                EXPECT_EQ(test.reads != Reads::kFalse, hosted_->Colouring());
            }
            EXPECT_TRUE((StoredVariable{test.stored, test.stored}) == hosted_->Flag(session))
                << "connect never writes a flag that exists";
        }
    }
}

// The handles at the ends of the range, with a session that has them and without one.
TEST_F(BadInputTest, ExtremeHandlesFindTheirSessionOrNothing) {
    const std::vector<DisplayedLine> enabled = Plain({u"", u"Brawlhue: Enabled.", u""});
    const std::vector<DisplayedLine> switched_off =
        Plain({u"", u"Brawlhue has been disabled.", u""});
    const SessionId bystander = host().OpenSession(12345);
    for (const LONG handle : {LONG{0}, LONG{-1}, LONG{INT_MIN}, LONG{INT_MAX}}) {
        SCOPED_TRACE(handle);
        // Nobody has the handle: every call on the missing session fails, nothing is shown.
        for (const bool before : {false, true}) {
            hosted_->SetColouring(before);
            EXPECT_EQ(kObjectMissing, plugin()->OnConnect(handle));
            EXPECT_EQ(kObjectMissing, plugin()->OnDisconnect(handle));
            EXPECT_EQ(kObjectMissing, hosted_->Command(handle, u"status"));
            EXPECT_EQ(before, hosted_->Colouring());
            EXPECT_EQ(kObjectMissing, hosted_->Command(handle, u"off"));
            EXPECT_FALSE(hosted_->Colouring()) << "switched before the session was needed";
            EXPECT_TRUE(hosted_->TakeShown(bystander).empty());
            EXPECT_TRUE(host().Variables(bystander).empty());
            LONG wanted = handle;
            ComRef<HostSession> found;
            EXPECT_EQ(S_OK, tools_->GetSession(&wanted, found.put()));
            EXPECT_FALSE(found);
            EXPECT_EQ(handle, wanted);
        }
        // A session has it, behind the bystander.
        const SessionId session = host().OpenSession(handle);
        ASSERT_EQ(S_OK, plugin()->OnConnect(handle));
        EXPECT_EQ(1u, hosted_->TakeShown(session).size()) << "the banner";
        EXPECT_EQ((StoredVariable{u"True", u"True"}), hosted_->Flag(session));
        EXPECT_EQ(S_OK, hosted_->Command(handle, u"status"));
        EXPECT_EQ(enabled, hosted_->TakeShown(session));
        EXPECT_EQ(S_OK, hosted_->Command(handle, u"off"));
        EXPECT_EQ(switched_off, hosted_->TakeShown(session));
        EXPECT_EQ((StoredVariable{u"False", u"False"}), hosted_->Flag(session));
        hosted_->SetColouring(true);
        EXPECT_EQ(S_OK, plugin()->OnDisconnect(handle));
        EXPECT_EQ((StoredVariable{u"True", u"True"}), hosted_->Flag(session));
        EXPECT_TRUE(hosted_->TakeShown(bystander).empty());
        host().CloseSession(session);
    }
}

TEST_F(BadInputTest, OtherCommandIdentifiersAreNamedInDecimal) {
    const SessionId session = host().OpenSession(3);
    hosted_->StoreFlag(session, u"stored");
    const struct {
        LONG id;
        const char16_t* decimal;
    } cases[] = {
        {0, u"0"},         {-1, u"-1"},       {INT_MIN, u"-2147483648"}, {INT_MAX, u"2147483647"},
        {20350, u"20350"}, {20352, u"20352"}, {-20351, u"-20351"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.id);
        for (const bool before : {false, true}) {
            hosted_->SetColouring(before);
            EXPECT_EQ(S_OK, hosted_->Command(3, u"on", test.id));
            const std::u16string middle = u"Brawlhue: Unknown plugin command ID " +
                                          std::u16string(test.decimal) + u", aborting";
            EXPECT_EQ(Plain({u"", middle, u""}), hosted_->TakeShown(session));
            EXPECT_EQ(before, hosted_->Colouring());
            EXPECT_EQ((StoredVariable{u"stored", u"stored"}), hosted_->Flag(session));
        }
    }
}

// Count is the host's word for how many sessions there are; when it is wrong, the lookup finds
// nothing (0 or less), stops short (fewer), or runs into the host's refusal (more), and never
// asks for an index past the first refused one.
TEST_F(BadInputTest, ASessionCountThatLies) {
    constexpr LONG kTarget = 6;
    const SessionId first = host().OpenSession(5);
    const SessionId target = host().OpenSession(kTarget);
    struct Case {
        LONG reported;
        LONG handle;
        HRESULT result;
        std::vector<LONG> items;  // the indexes Item is asked for by one lookup
    };
    const Case cases[] = {
        {0, kTarget, kObjectMissing, {}},        {-1, kTarget, kObjectMissing, {}},
        {INT_MIN, kTarget, kObjectMissing, {}},  {1, kTarget, kObjectMissing, {0}},
        {5, kTarget, S_OK, {0, 1, 1}},           {INT_MAX, kTarget, S_OK, {0, 1, 1}},
        {5, 7, host::kNoSuchSession, {0, 1, 2}}, {INT_MAX, 7, host::kNoSuchSession, {0, 1, 2}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(::testing::Message() << test.reported << " reported, handle " << test.handle);
        host().SetReportedCount(test.reported);
        for (const bool connect : {true, false}) {
            host().ResetCalls();
            const HRESULT result =
                connect ? plugin()->OnConnect(test.handle) : hosted_->Command(test.handle, u"help");
            EXPECT_EQ(test.result, result);
            std::vector<LONG> items;
            for (const host::HostCall& call : host().CallLog()) {
                if (call.operation == HostOperation::kItem) {
                    items.push_back(call.index);
                }
            }
            const std::size_t lookups = SUCCEEDED(result) && connect ? 2 : 1;
            std::vector<LONG> expected;
            for (std::size_t i = 0; i < lookups; ++i) {
                expected.insert(expected.end(), test.items.begin(), test.items.end());
            }
            EXPECT_EQ(expected, items);
            const std::size_t lines = hosted_->TakeShown(target).size();
            EXPECT_EQ(SUCCEEDED(result) ? (connect ? 1u : 8u) : 0u, lines);
            EXPECT_TRUE(hosted_->TakeShown(first).empty());
        }
        host().RemoveVariable(target, kFlagName, kFlagClass);
    }
    host().SetReportedCount(std::nullopt);
}

}  // namespace
}  // namespace brawlhue::hardening
