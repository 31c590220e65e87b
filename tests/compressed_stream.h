// A whole zlib stream, compressed in one call, as the test game servers send MCCP data: shared by
// the stream filter's tests and the fuzz target's seeds.
#pragma once

#include <zlib.h>

#include <string>
#include <string_view>

namespace brawlhue::mccp {

inline std::string Compressed(std::string_view plain) {
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()));
    out.resize(size);
    return out;
}

}  // namespace brawlhue::mccp
