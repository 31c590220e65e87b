#include "stream/line_assembler.h"

#include <algorithm>
#include <array>
#include <optional>

#include "engine/colour_codes.h"
#include "filter/line_filter.h"
#include "filter/prompt_forms.h"
#include "stream/telnet_encoding.h"
#include "transcript/utf8_codec.h"

namespace brawlhue::stream {
namespace {

constexpr std::string_view kReset = "\x1b[0m";
constexpr std::string_view kOwnLineEnding = "\r\n";

// Every prompt ends on the last unit of one of its forms: these must be ASCII for the splice
// in EndLine to cut the line's bytes where its units are cut.
constexpr bool PromptsEndOnAscii() {
    bool ascii = kPromptTerminator.back() < 0x80 && kPagerText.back() < 0x80;
    for (const std::u16string_view bare : kBarePrompts) {
        ascii = ascii && bare.back() < 0x80;
    }
    return ascii;
}
static_assert(PromptsEndOnAscii());

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
    if (line_feed != std::string_view::npos && line_.empty() && !over_cap_ &&
        body.size() < kLineCap) {
        // The whole line in this piece and none of it sent, as most lines come: it is
        // classified where it lies rather than copied first.
        EndLine(body);
        return line_feed + 1;
    }
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
    EndLine(line_);
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

void LineAssembler::EndLine(std::string_view line) {
    // The ending goes out as it came: LF, or CR LF with the CR still in the line.
    std::string_view body = line;
    if (!body.empty() && body.back() == '\r') {
        body.remove_suffix(1);
    }

    // With colouring off no line is rebuilt, so none is decoded.
    std::optional<RebuiltLine> rebuilt;
    std::size_t unit_count = 0;
    if (!over_cap_ && enabled_ != 0) {
        // Grown, never shrunk: no line costs an allocation once a longer one has been seen.
        if (units_.size() < body.size()) {
            units_.resize(body.size());
        }
        unit_count = static_cast<std::size_t>(DecodeUtf8(body, units_.data()) - units_.data());
        rebuilt = FilterLine({units_.data(), unit_count}, enabled_, appearance_);
    }
    bool coloured = false;
    if (rebuilt) {
        // The same bytes the brawlhue command writes for this line, spliced from the line's
        // own: the reset, the prompt part as it came, the colour (and spoken tag), the message,
        // the reset. The
        // prompt part ends on an ASCII unit, so its bytes are what encoding its units gives;
        // when the line has as many units as bytes, each unit came from one byte.
        const std::size_t prompt_bytes =
            unit_count == body.size() ? rebuilt->prompt.size() : Utf8Size(rebuilt->prompt);
        // Part of the prompt may already be on the screen: then the reset comes after it, and
        // the rest of the line follows. If the message had begun, it goes on uncoloured.
        if (sent_ <= prompt_bytes) {
            out_ += kReset;
            AppendTelnetText(body.substr(sent_, prompt_bytes - sent_), out_);
            const std::u16string_view opening = rebuilt->message.opening.view();
            std::array<char, MessageOpening::kCapacity> opening_bytes{};
            std::copy(opening.begin(), opening.end(), opening_bytes.begin());  // all ASCII
            out_.append(opening_bytes.data(), opening.size());
            AppendTelnetText(body.substr(prompt_bytes), out_);
            out_ += kReset;
            out_.append(line, body.size());
            coloured = true;
        }
    }
    if (coloured) {
        ++lines_coloured_;
    } else {
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
