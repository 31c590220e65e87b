#include "host/replay.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "brawlhue.h"
#include "host/standin_host.h"
#include "host/variable_file.h"
#include "plugin/com_guard.h"
#include "plugin/com_ref.h"
#include "plugin/unique_bstr.h"
#include "transcript/line_reader.h"
#include "transcript/utf8_codec.h"
#include "zmud.h"

namespace brawlhue::host {
namespace {

// What the command definition file makes the host send for "#brawlhue".
constexpr LONG kCommandId = 20351;
constexpr std::u16string_view kCommandWord = u"#brawlhue";
constexpr std::u16string_view kFlagName = u"MeleeEnabled";
constexpr std::u16string_view kPaletteName = u"MeleePalette";
constexpr std::u16string_view kTagsName = u"MeleeTags";
constexpr std::u16string_view kVariableClass = u"BrawlhuePlugin";
constexpr std::u16string_view kFlagOff = u"False";
constexpr std::u16string_view kTagsOn = u"True";

// "0x80004005 (Unspecified error)", or the code alone when Windows has no text for it.
std::string Describe(HRESULT code) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(code));
    std::string text = number;
    char* message = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&message), 0, nullptr);
    if (length != 0 && message != nullptr) {
        std::string_view words(message, length);
        while (!words.empty() && (words.back() == '\n' || words.back() == '\r' ||
                                  words.back() == ' ' || words.back() == '.')) {
            words.remove_suffix(1);
        }
        if (!words.empty()) {
            text.append(" (").append(words).append(")");
        }
    }
    ::LocalFree(message);
    return text;
}

void Check(HRESULT code, std::string_view step) {
    if (FAILED(code)) {
        throw ReplayError(std::string(step) + " failed: " + Describe(code));
    }
}

std::string LineStep(std::size_t line_number, std::string_view operation) {
    return "line " + std::to_string(line_number) + ": " + std::string(operation);
}

class ReplaySession {
  public:
    ReplaySession(const ReplayOptions& options, std::FILE* output)
        : options_(options), output_(output), session_(host_.OpenSession(kReplaySessionHandle)) {}

    void Run(std::FILE* transcript) {
        Check(RegisterHostTypeLibrary(), "registering the host's type library");
        if (options_.variables_file) {
            for (const auto& [key, variable] : LoadVariableFile(*options_.variables_file)) {
                host_.SetVariable(session_, key.name, key.class_name, variable.value,
                                  variable.default_value);
            }
        }
        // Stored as the plug-in stores a player's choice, so that its own connect loads them.
        if (options_.colouring_off) {
            host_.SetVariable(session_, kFlagName, kVariableClass, kFlagOff, kFlagOff);
        }
        if (options_.palette) {
            const std::u16string_view name = kPalettes[*options_.palette].name;
            host_.SetVariable(session_, kPaletteName, kVariableClass, name, name);
        }
        if (options_.tags) {
            host_.SetVariable(session_, kTagsName, kVariableClass, kTagsOn, kTagsOn);
        }
        {
            const HostSessionsRegistration registration = Register();
            Connect();
            ReplayLines(transcript);
            Check(plugin_->OnDisconnect(kReplaySessionHandle), "OnDisconnect");
            ShowNewDisplayedLines();
            if (options_.variables_file) {
                SaveVariableFile(*options_.variables_file, host_.Variables(session_));
            }
            plugin_.reset();
        }
        if (const long kept = host_.LiveObjects(); kept != 0) {
            throw ReplayError("the released plug-in still holds " + std::to_string(kept) +
                              " host objects");
        }
        if (std::fflush(output_) != 0) {
            WriteFailed();
        }
    }

  private:
    HostSessionsRegistration Register() try {
        return HostSessionsRegistration(host_);
    } catch (const com::HResultError& error) {
        Check(error.code(), "registering the host's session collection");
        throw;
    }

    void Connect() {
        Check(::CoCreateInstance(CLSID_BrawlhueClass, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IzMUDPlugin, reinterpret_cast<void**>(plugin_.put())),
              "creating BrawlhueClass (is Brawlhue.dll registered?)");
        com::UniqueBstr name, company, description, version, help_file;
        VARIANT_BOOL load_definitions = VARIANT_FALSE;
        Check(plugin_->Register(name.put(), company.put(), description.put(), version.put(),
                                help_file.put(), &load_definitions),
              "Register");
        com::UniqueBstr command_file;
        LONG command_version = 0;
        Check(plugin_->AddCommands(command_file.put(), &command_version), "AddCommands");
        Check(plugin_->OnConnect(kReplaySessionHandle), "OnConnect");
        ShowNewDisplayedLines();
    }

    void ReplayLines(std::FILE* transcript) {
        LineReader reader(transcript);
        Line line;
        std::size_t line_number = 0;
        while (reader.Next(line)) {
            ++line_number;
            units_.clear();
            DecodeUtf8(line.body, units_);
            if (std::u16string_view(units_).starts_with(kCommandWord)) {
                RunCommand(std::u16string_view(units_).substr(kCommandWord.size()), line_number);
            } else {
                ParseLine(line, line_number);
            }
        }
        if (reader.error() != 0) {
            throw ReplayError(std::string("transcript: ") + std::strerror(reader.error()));
        }
    }

    void RunCommand(std::u16string_view command, std::size_t line_number) {
        const com::UniqueBstr text = com::UniqueBstr::Copy(command);
        VARIANT unused;
        ::VariantInit(&unused);
        Check(plugin_->plugCommand(kReplaySessionHandle, kCommandId, text.get(), unused),
              LineStep(line_number, "plugCommand"));
        ShowNewDisplayedLines();
    }

    void ParseLine(const Line& line, std::size_t line_number) {
        // In and out: Parse frees the line it replaces, so the text is handed over raw.
        BSTR raw = com::UniqueBstr::Copy(units_).release();
        LONG gag = 0;
        VARIANT_BOOL update = VARIANT_FALSE;
        const HRESULT parsed =
            plugin_->Parse(kReplaySessionHandle, &raw, VARIANT_FALSE, &gag, &update);
        const com::UniqueBstr text(raw);
        Check(parsed, LineStep(line_number, "Parse"));
        if (text.view() == std::u16string_view(units_)) {
            // Left as it came: out as the very bytes that came in.
            Write(line.body);
        } else {
            encoded_.clear();
            EncodeUtf8(text.view(), encoded_);
            Write(encoded_);
        }
        Write(LineEndingText(line.ending));
        ShowNewDisplayedLines();
    }

    void ShowNewDisplayedLines() {
        const std::vector<DisplayedLine>& displayed = host_.Displayed(session_);
        for (; shown_ < displayed.size(); ++shown_) {
            if (options_.lines_only) {
                continue;
            }
            encoded_.clear();
            EncodeUtf8(displayed[shown_].text, encoded_);
            encoded_.push_back('\n');
            Write(encoded_);
        }
    }

    void Write(std::string_view bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), output_) != bytes.size()) {
            WriteFailed();
        }
    }

    [[noreturn]] void WriteFailed() {
        throw ReplayError(std::string("write error: ") + std::strerror(errno));
    }

    const ReplayOptions& options_;
    std::FILE* output_;
    StandinHost host_;
    SessionId session_;
    com::ComRef<IzMUDPlugin> plugin_;
    std::size_t shown_ = 0;  // DisplayText lines of the session written so far
    std::u16string units_;
    std::string encoded_;
};

}  // namespace

void Replay(const ReplayOptions& options, std::FILE* transcript, std::FILE* output) {
    ReplaySession(options, output).Run(transcript);
}

}  // namespace brawlhue::host
