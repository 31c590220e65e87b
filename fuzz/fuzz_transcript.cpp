// Transcripts as raw bytes: the codec decodes exactly as the table of well-formed UTF-8 says
// and gives every byte back; the line reader splits the bytes as a whole-input splitter does,
// whatever its chunk size; and the command's stream filtering gives the input back byte for
// byte with colouring off, and with colouring on rebuilds exactly the lines the line filter
// rebuilds, passing all others through as they came, both on an in-memory stream (read through
// stdio) and on a file in memory (read through its descriptor in blocks, as files are).
#include <stdio.h>     // fmemopen, open_memstream
#include <sys/mman.h>  // memfd_create
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "cli/output.h"
#include "cli/transcript_filter.h"
#include "filter/line_filter.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/reference_transcript.h"
#include "fuzz/require.h"
#include "transcript/line_reader.h"
#include "transcript/utf8_codec.h"

namespace brawlhue::fuzz {
namespace {

// Closes its stream when it goes.
using StreamPointer = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// A read-only stream over the bytes; fmemopen wants a writable buffer, so it gets a copy, which
// outlives the stream.
class InputStream {
  public:
    explicit InputStream(std::string_view bytes) : copy_(bytes.begin(), bytes.end()) {
        copy_.push_back('\0');  // never read: keeps data() valid for an empty input
        stream_.reset(fmemopen(copy_.data(), bytes.size(), "rb"));
        Require(stream_ != nullptr, "fmemopen opens the input", [] {});
    }
    std::FILE* get() const { return stream_.get(); }

  private:
    std::vector<char> copy_;
    StreamPointer stream_{nullptr, &std::fclose};
};

// A file in memory holding the bytes, opened as a stream with a descriptor.
class DescriptorInput {
  public:
    explicit DescriptorInput(std::string_view bytes) {
        const int descriptor = memfd_create("transcript", 0);
        Require(descriptor >= 0, "memfd_create makes a file", [] {});
        std::size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t n = write(descriptor, bytes.data() + written, bytes.size() - written);
            Require(n > 0, "the bytes go into the file", [] {});
            written += static_cast<std::size_t>(n);
        }
        lseek(descriptor, 0, SEEK_SET);
        stream_.reset(fdopen(descriptor, "rb"));
        Require(stream_ != nullptr, "fdopen opens the file", [] {});
    }
    std::FILE* get() const { return stream_.get(); }

  private:
    StreamPointer stream_{nullptr, &std::fclose};
};

// What the command writes for the input with the given options, read through stdio or through
// the descriptor.
template <typename Input>
std::string RunTranscriptFilter(std::string_view bytes, const cli::Options& options) {
    Input input(bytes);
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&buffer, &length);
    Require(out != nullptr, "open_memstream opens the output", [] {});
    {
        cli::Output output(out);
        cli::TranscriptFilter filter(options, output);
        const int read_error = filter.Run(input.get());
        Require(read_error == 0 && output.Flush(), "an in-memory transcript is filtered cleanly",
                [&] { PrintBytes("input", bytes); });
    }
    std::fclose(out);
    std::string written(buffer, length);
    std::free(buffer);
    return written;
}

void CheckCodec(std::string_view bytes) {
    const auto context = [&] { PrintBytes("bytes", bytes); };
    std::u16string units;
    DecodeUtf8(bytes, units);
    Require(units == ReferenceDecodeUtf8(bytes), "DecodeUtf8 decodes as the table says", [&] {
        context();
        PrintUnits("decoded", units);
        PrintUnits("expected", ReferenceDecodeUtf8(bytes));
    });
    std::string back;
    EncodeUtf8(units, back);
    Require(back == bytes, "EncodeUtf8 gives back the bytes DecodeUtf8 was given", [&] {
        context();
        PrintBytes("encoded", back);
    });

    // Both append to what is already there.
    std::u16string appended = u"\xD800x";
    DecodeUtf8(bytes, appended);
    Require(appended == u"\xD800x" + units, "DecodeUtf8 appends", context);
    std::string appended_bytes = "\xFFx";
    EncodeUtf8(units, appended_bytes);
    Require(appended_bytes == "\xFFx" + back, "EncodeUtf8 appends", context);
}

// Any chunk size from 2 up, so that lines longer than a chunk are common.
void CheckLineReader(std::string_view bytes, std::size_t chunk_size) {
    const std::vector<SplitLine> expected = SplitLines(bytes);
    InputStream input(bytes);
    LineReader reader(input.get(), chunk_size);
    std::size_t count = 0;
    Line line;
    while (reader.Next(line)) {
        const auto context = [&] {
            PrintBytes("input", bytes);
            std::fprintf(stderr, "  chunk size %zu, line %zu\n", chunk_size, count);
            PrintBytes("body", line.body);
        };
        Require(count < expected.size(), "the reader yields no extra line", context);
        Require(line.body == expected[count].body &&
                    LineEndingText(line.ending) == expected[count].ending,
                "the reader splits as the whole-input splitter does", context);
        ++count;
    }
    Require(reader.error() == 0 && count == expected.size(),
            "the reader yields every line and no read error", [&] { PrintBytes("input", bytes); });
}

void CheckTranscriptFilter(std::string_view bytes) {
    const auto context = [&] { PrintBytes("input", bytes); };
    const std::vector<SplitLine> lines = SplitLines(bytes);

    cli::Options off;
    off.colouring_off = true;
    for (const std::string& passed : {RunTranscriptFilter<InputStream>(bytes, off),
                                      RunTranscriptFilter<DescriptorInput>(bytes, off)}) {
        Require(passed == bytes, "with colouring off the output is the input, byte for byte", [&] {
            context();
            PrintBytes("output", passed);
        });
    }

    // With colouring on: each line through the codec and the line filter.
    std::string expected;
    for (const SplitLine& line : lines) {
        std::u16string units;
        DecodeUtf8(line.body, units);
        if (const std::optional<RebuiltLine> rebuilt = FilterLine(units, -1)) {
            EncodeUtf8(rebuilt->ToString(), expected);
        } else {
            expected += line.body;
        }
        expected += line.ending;
    }
    const cli::Options on;
    for (const std::string& coloured : {RunTranscriptFilter<InputStream>(bytes, on),
                                        RunTranscriptFilter<DescriptorInput>(bytes, on)}) {
        Require(coloured == expected, "with colouring on each line is filtered on its own", [&] {
            context();
            PrintBytes("output", coloured);
            PrintBytes("expected", expected);
        });
    }
}

}  // namespace
}  // namespace brawlhue::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brawlhue::fuzz;
    const std::string_view bytes = AsBytes(data, size);
    CheckCodec(bytes);
    CheckLineReader(bytes, 2 + size % 7);
    CheckTranscriptFilter(bytes);
    return 0;
}
