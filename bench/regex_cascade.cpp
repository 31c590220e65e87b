#include "bench/regex_cascade.h"

#include <stdexcept>
#include <string>

#include "engine/category_tables.h"
#include "engine/colorizer.h"

namespace brawlhue::bench {
namespace {

// "*" and "?" become ".*" and "."; every other character is matched as itself.
std::u16string ToRegex(const Entry& entry) {
    std::u16string regex;
    for (char16_t c : entry.text) {
        if (entry.kind == kPattern && c == u'*') {
            regex += u".*";
        } else if (entry.kind == kPattern && c == u'?') {
            regex += u'.';
        } else {
            const bool word = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                              (c >= u'0' && c <= u'9') || c == u' ';
            if (!word) {
                regex += u'\\';
            }
            regex += c;
        }
    }
    regex += u"\\z";
    return regex;
}

pcre2_code* Compile(const Entry& entry) {
    const std::u16string regex = ToRegex(entry);
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(regex.data()), regex.size(),
                      PCRE2_ANCHORED | PCRE2_DOTALL | PCRE2_NO_UTF_CHECK, &error, &offset, nullptr);
    if (code == nullptr) {
        throw std::runtime_error("pattern does not compile as a regex");
    }
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    return code;
}

}  // namespace

RegexCascade::RegexCascade() {
    auto compile = [](const CategoryTest& test) {
        CompiledTest compiled{test.gated, {}};
        for (const Entry& entry : test.entries) {
            compiled.entries.push_back(Compile(entry));
        }
        return compiled;
    };
    attack_verb_ = compile(HasAttackVerb);
    speech_ = compile(IsSpeech);
    for (const CascadeRow& row : kCascade) {
        cascade_.push_back(compile(*row.test));
    }
    match_ = pcre2_match_data_create(4, nullptr);
}

RegexCascade::~RegexCascade() {
    pcre2_match_data_free(match_);
    auto release = [](CompiledTest& test) {
        for (pcre2_code* code : test.entries) {
            pcre2_code_free(code);
        }
    };
    release(attack_verb_);
    release(speech_);
    for (CompiledTest& test : cascade_) {
        release(test);
    }
}

bool RegexCascade::Holds(const CompiledTest& test, std::u16string_view line) const {
    if (test.gated && !Holds(attack_verb_, line)) {
        return false;
    }
    for (pcre2_code* code : test.entries) {
        if (pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(line.data()), line.size(), 0,
                        PCRE2_NO_UTF_CHECK, match_, nullptr) >= 0) {
            return true;
        }
    }
    return false;
}

int RegexCascade::Classify(std::u16string_view message) const {
    if (Holds(speech_, message)) {
        return -2;
    }
    for (std::size_t row = 0; row < cascade_.size(); ++row) {
        if (Holds(cascade_[row], message)) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

}  // namespace brawlhue::bench
