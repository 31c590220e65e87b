#include "stream/line_assembler.h"

#include <optional>

#include "engine/colour_codes.h"
#include "filter/line_filter.h"
#include "stream/telnet_encoding.h"
#include "transcript/utf8_codec.h"

namespace brawlhue::stream {
namespace {

constexpr std::string_view kReset = "\x1b[0m";
constexpr std::string_view kOwnLineEnding = "\r\n";

}  // namespace

std::size_t LineAssembler::Text(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return 0;
    }
    if (after_line_feed_) {
        after_line_feed_ = false;
        if (bytes.front() == '\r') {
            // LF CR, as Diku-family servers end their lines: the next line must start clean,
            // or its prompt would not be recognised.
            out_ += '\r';
            return 1;
        }
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::size_t line_feed = text.find('\n');
    std::string_view body = text.substr(0, line_feed);
    if (!over_cap_) {
        // line_ stays below the cap: it is sent and left behind the moment it reaches it.
        const std::size_t room = kLineCap - line_.size();
        line_.append(body.substr(0, room));
        if (body.size() >= room) {
            SendHeld();
            over_cap_ = true;
            line_.clear();
            sent_ = 0;
            body.remove_prefix(room);
        } else {
            body = {};
        }
    }
    AppendTelnetText(body, out_);
    if (line_feed == std::string_view::npos) {
        return bytes.size();
    }
    EndLine();
    return line_feed + 1;
}

void LineAssembler::SendHeld() {
    if (!holding()) {
        return;
    }
    AppendTelnetText(std::string_view(line_).substr(sent_), out_);
    sent_ = line_.size();
    mid_line_ = true;
}

void LineAssembler::SendOwnLine(std::string_view bytes) {
    if (mid_line_) {
        out_ += kOwnLineEnding;
        mid_line_ = false;
    }
    AppendTelnetText(bytes, out_);
    out_ += kOwnLineEnding;
}

void LineAssembler::EndLine() {
    const std::string_view line(line_);
    // The ending goes out as it came: LF, or CR LF with the CR still in line_.
    std::string_view body = line;
    if (!body.empty() && body.back() == '\r') {
        body.remove_suffix(1);
    }

    std::optional<RebuiltLine> rebuilt;
    if (!over_cap_) {
        units_.clear();
        DecodeUtf8(body, units_);
        rebuilt = FilterLine(units_, enabled_);
    }
    bool coloured = false;
    if (rebuilt) {
        // The same bytes the brawlhue command writes for this line: the reset sequence, the
        // prompt part as it came, the coloured message.
        rebuilt_.resize(rebuilt->size());
        rebuilt->CopyTo(rebuilt_.data());
        encoded_.clear();
        EncodeUtf8(rebuilt_, encoded_);
        // Part of the prompt may already be on the screen: then the reset comes after it, and
        // the rest of the line follows. If the message had begun, it goes on uncoloured.
        prompt_.clear();
        if (sent_ > 0) {
            EncodeUtf8(rebuilt->prompt, prompt_);
        }
        if (sent_ <= prompt_.size()) {
            const std::string_view encoded(encoded_);
            AppendTelnetText(encoded.substr(0, kReset.size()), out_);
            AppendTelnetText(encoded.substr(kReset.size() + sent_), out_);
            out_.append(line, body.size());
            coloured = true;
            ++lines_coloured_;
        }
    }
    if (!coloured) {
        AppendTelnetText(line.substr(sent_), out_);
    }
    out_ += '\n';

    line_.clear();
    sent_ = 0;
    over_cap_ = false;
    mid_line_ = false;
    after_line_feed_ = true;
}

}  // namespace brawlhue::stream
