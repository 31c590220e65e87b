#include "host/variable_file.h"

#include <windows.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "transcript/utf8_codec.h"

namespace brawlhue::host {
namespace {

constexpr char kSeparator = '\t';
constexpr std::size_t kFieldCount = 4;
constexpr std::string_view kHeading = "# class\tname\tvalue\tdefault\n";

void AppendEscaped(std::u16string_view field, std::string& out) {
    std::string bytes;
    EncodeUtf8(field, bytes);
    for (const char byte : bytes) {
        switch (byte) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out.push_back(byte);
        }
    }
}

std::string LineError(std::size_t line_number, std::string_view what) {
    return "line " + std::to_string(line_number) + ": " + std::string(what);
}

std::u16string Unescaped(std::string_view field, std::size_t line_number) {
    std::string bytes;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            bytes.push_back(field[i]);
            continue;
        }
        if (++i == field.size()) {
            throw VariableFileError(LineError(line_number, "a backslash ends a field"));
        }
        switch (field[i]) {
            case '\\':
                bytes.push_back('\\');
                break;
            case 't':
                bytes.push_back('\t');
                break;
            case 'n':
                bytes.push_back('\n');
                break;
            case 'r':
                bytes.push_back('\r');
                break;
            case '#':
                bytes.push_back('#');
                break;
            default:
                throw VariableFileError(LineError(line_number, "unknown escape after a backslash"));
        }
    }
    std::u16string units;
    DecodeUtf8(bytes, units);
    return units;
}

void ParseLine(std::string_view line, std::size_t line_number, VariableTable& variables) {
    std::array<std::string_view, kFieldCount> fields;
    std::size_t count = 0;
    for (;;) {
        const std::size_t separator = line.find(kSeparator);
        if (count == kFieldCount) {
            throw VariableFileError(LineError(line_number, "more than four fields"));
        }
        fields[count++] = line.substr(0, separator);
        if (separator == std::string_view::npos) {
            break;
        }
        line.remove_prefix(separator + 1);
    }
    if (count != kFieldCount) {
        throw VariableFileError(LineError(line_number, "fewer than four fields"));
    }
    variables.insert_or_assign(
        VariableKey{Unescaped(fields[1], line_number), Unescaped(fields[0], line_number)},
        StoredVariable{Unescaped(fields[2], line_number), Unescaped(fields[3], line_number)});
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    EncodeUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()),
               narrow);
    return narrow;
}

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

VariableTable ParseVariables(std::string_view text) {
    VariableTable variables;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        ParseLine(line, line_number, variables);
    }
    return variables;
}

std::string FormatVariables(const VariableTable& variables) {
    std::string text(kHeading);
    for (const auto& [key, variable] : variables) {
        // A line that begins with "#" would be read as a comment.
        if (key.class_name.starts_with(u'#')) {
            text.push_back('\\');
        }
        AppendEscaped(key.class_name, text);
        text.push_back(kSeparator);
        AppendEscaped(key.name, text);
        text.push_back(kSeparator);
        AppendEscaped(variable.value, text);
        text.push_back(kSeparator);
        AppendEscaped(variable.default_value, text);
        text.push_back('\n');
    }
    return text;
}

VariableTable LoadVariableFile(const std::wstring& path) {
    errno = 0;
    UniqueFile file(::_wfopen(path.c_str(), L"rb"));
    if (!file) {
        if (errno == ENOENT) {
            return {};
        }
        throw VariableFileError(Narrow(path) + ": cannot be opened");
    }
    std::string text;
    std::array<char, 4096> chunk;
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) != 0) {
        text.append(chunk.data(), got);
    }
    if (std::ferror(file.get()) != 0) {
        throw VariableFileError(Narrow(path) + ": read error");
    }
    try {
        return ParseVariables(text);
    } catch (const VariableFileError& error) {
        throw VariableFileError(Narrow(path) + ": " + error.what());
    }
}

void SaveVariableFile(const std::wstring& path, const VariableTable& variables) {
    const std::string text = FormatVariables(variables);
    const std::wstring fresh = path + L".new";
    std::FILE* file = ::_wfopen(fresh.c_str(), L"wb");
    if (file == nullptr) {
        throw VariableFileError(Narrow(fresh) + ": cannot be created");
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    // Closed before anything else: an open file cannot be deleted.
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        ::DeleteFileW(fresh.c_str());
        throw VariableFileError(Narrow(fresh) + ": write error");
    }
    if (!::MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ::DeleteFileW(fresh.c_str());
        throw VariableFileError(Narrow(path) + ": cannot be replaced");
    }
}

}  // namespace brawlhue::host
