#include "proxy/log.h"

#include <cstdio>
#include <string>

namespace brawlhue::proxy {

void Log(std::string_view line) {
    // One write per line, so that lines of a busy proxy never interleave mid-line.
    std::string text = "brawlhue-proxy: ";
    text += line;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace brawlhue::proxy
