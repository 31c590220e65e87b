// One line on standard error per event, prefixed with the program's name.
#pragma once

#include <string_view>

namespace brawlhue::proxy {

void Log(std::string_view line);

}  // namespace brawlhue::proxy
