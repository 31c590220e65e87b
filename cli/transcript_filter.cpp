#include "cli/transcript_filter.h"

#include <optional>

#include "engine/colorizer.h"
#include "filter/line_filter.h"
#include "filter/prompt.h"
#include "transcript/utf8_codec.h"

namespace brawlhue::cli {
namespace {

constexpr std::int16_t kColouringOn = -1;
constexpr std::int16_t kColouringOff = 0;

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
      explain_(options.explain),
      output_(output) {}

int TranscriptFilter::Run(std::FILE* stream) {
    LineReader reader(stream);
    Line line;
    while (reader.Next(line)) {
        const bool written = explain_ ? WriteExplanation(line) : WriteLine(line);
        if (!written) {
            return 0;
        }
    }
    return reader.error();
}

bool TranscriptFilter::WriteLine(const Line& line) {
    units_.clear();
    DecodeUtf8(line.body, units_);
    const std::optional<RebuiltLine> rebuilt = FilterLine(units_, enabled_);
    if (rebuilt) {
        rebuilt_.resize(rebuilt->size());
        rebuilt->CopyTo(rebuilt_.data());
        encoded_.clear();
        EncodeUtf8(rebuilt_, encoded_);
        output_.Write(encoded_);
    } else {
        // Not re-encoded: the line goes out as the very bytes that came in.
        output_.Write(line.body);
    }
    output_.Write(LineEndingText(line.ending));
    return output_.EndLine();
}

bool TranscriptFilter::WriteExplanation(const Line& line) {
    std::string_view word = "-";
    if (enabled_ != kColouringOff) {
        units_.clear();
        DecodeUtf8(line.body, units_);
        word = ExplainLine(units_);
    }
    output_.Write(word);
    output_.Write("\n");
    return output_.EndLine();
}

}  // namespace brawlhue::cli
