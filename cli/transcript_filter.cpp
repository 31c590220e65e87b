#include "cli/transcript_filter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "cli/block_line_reader.h"
#include "engine/colorizer.h"
#include "filter/line_filter.h"
#include "filter/prompt.h"
#include "transcript/utf8_codec.h"

namespace brawlhue::cli {
namespace {

constexpr std::int16_t kColouringOn = -1;
constexpr std::int16_t kColouringOff = 0;

// The reset sequence as bytes: the same four ASCII units as kResetSequence.
constexpr std::string_view kResetBytes = "\x1b[0m";
static_assert(kResetBytes.size() == kResetSequence.size());

}  // namespace

std::string_view ExplainLine(std::u16string_view line) noexcept {
    const Classification found = ClassifyMessage(GetNonPrompt(line));
    switch (found.kind) {
        case MessageKind::kCategory:
            return found.row->test->name;
        case MessageKind::kSpeech:
            return "speech";
        case MessageKind::kPlain:
            break;
    }
    return "-";
}

TranscriptFilter::TranscriptFilter(const Options& options, Output& output)
    : enabled_(options.colouring_off ? kColouringOff : kColouringOn),
      appearance_(options.appearance),
      explain_(options.explain),
      output_(output) {}

int TranscriptFilter::Run(std::FILE* stream) {
    const int descriptor = fileno(stream);
    if (descriptor >= 0) {
        BlockLineReader reader(descriptor);
        return RunLines(reader);
    }
    // A stream in memory has no descriptor: stdio reads it.
    LineReader reader(stream);
    return RunLines(reader);
}

template <typename Reader>
int TranscriptFilter::RunLines(Reader& reader) {
    Line line;
    while (reader.Next(line)) {
        std::string_view whole_line;
        if constexpr (requires { reader.whole_line(); }) {
            whole_line = reader.whole_line();
        }
        const bool written = explain_ ? WriteExplanation(line) : WriteLine(line, whole_line);
        if (!written) {
            return 0;
        }
    }
    return reader.error();
}

std::u16string_view TranscriptFilter::Decode(std::string_view bytes) {
    // Grown, never shrunk: no line costs an allocation once a longer one has been seen.
    if (units_.size() < bytes.size()) {
        units_.resize(bytes.size());
    }
    const char16_t* const end = DecodeUtf8(bytes, units_.data());
    return {units_.data(), static_cast<std::size_t>(end - units_.data())};
}

bool TranscriptFilter::WriteLine(const Line& line, std::string_view whole_line) {
    // With colouring off no line is rebuilt, so none needs decoding.
    const std::u16string_view units = enabled_ == kColouringOff ? u"" : Decode(line.body);
    const std::optional<RebuiltLine> rebuilt =
        enabled_ == kColouringOff ? std::nullopt : FilterLine(units, enabled_, appearance_);
    if (!rebuilt) {
        // Not re-encoded: the line goes out as the very bytes that came in, its ending with it
        // when the reader has them in one piece.
        if (!whole_line.empty()) {
            output_.Write(whole_line);
            return output_.EndLine();
        }
        output_.Write(line.body);
    } else if (rebuilt->prompt.empty() || rebuilt->prompt.back() < 0x80) {
        // The rebuilt line is the line's own bytes with ASCII sequences put in: the reset, the
        // prompt part, the colour, the message, the reset. The prompt part ends on an ASCII
        // unit (every prompt does), so its bytes are exactly what encoding its units gives;
        // when the line has as many units as bytes, each unit came from one byte.
        const std::size_t prompt_bytes =
            units.size() == line.body.size() ? rebuilt->prompt.size() : Utf8Size(rebuilt->prompt);
        WriteSpliced(line, prompt_bytes, rebuilt->message.opening.view());
        return output_.EndLine();
    } else {
        rebuilt_.resize(rebuilt->size());
        rebuilt->CopyTo(rebuilt_.data());
        encoded_.clear();
        EncodeUtf8(rebuilt_, encoded_);
        output_.Write(encoded_);
    }
    output_.Write(LineEndingText(line.ending));
    return output_.EndLine();
}

void TranscriptFilter::WriteSpliced(const Line& line, std::size_t prompt_bytes,
                                    std::u16string_view opening) {
    const std::string_view prompt = line.body.substr(0, prompt_bytes);
    const std::string_view message = line.body.substr(prompt_bytes);
    const std::string_view ending = LineEndingText(line.ending);
    const std::size_t size =
        2 * kResetBytes.size() + line.body.size() + opening.size() + ending.size();
    // Put together in place: a coloured line is a fifth of a session, and writing its six parts
    // one by one cost as much again as the rest of its way out.
    if (char* out = output_.Reserve(size)) {
        auto append = [&out](std::string_view bytes) {
            if (!bytes.empty()) {  // memcpy may not be given the null data of an empty view
                std::memcpy(out, bytes.data(), bytes.size());
                out += bytes.size();
            }
        };
        append(kResetBytes);
        append(prompt);
        for (char16_t unit : opening) {
            *out++ = static_cast<char>(unit);
        }
        append(message);
        append(kResetBytes);
        append(ending);
        output_.Commit(size);
        return;
    }
    std::array<char, MessageOpening::kCapacity> opening_bytes{};
    std::copy(opening.begin(), opening.end(), opening_bytes.begin());
    output_.Write(kResetBytes);
    output_.Write(prompt);
    output_.Write({opening_bytes.data(), opening.size()});
    output_.Write(message);
    output_.Write(kResetBytes);
    output_.Write(ending);
}

bool TranscriptFilter::WriteExplanation(const Line& line) {
    std::string_view word = "-";
    if (enabled_ != kColouringOff) {
        word = ExplainLine(Decode(line.body));
    }
    output_.Write(word);
    output_.Write("\n");
    return output_.EndLine();
}

}  // namespace brawlhue::cli
