// The file in which brawlhost keeps a session's host variables from one run to the next.
//
// UTF-8 text, one variable a line, four fields separated by a tab:
//     class <TAB> name <TAB> value <TAB> default
// In a field, a backslash, tab, line feed and carriage return are written \\, \t, \n and \r,
// and a "#" that would begin the line \#, so any text fits. Lines end with "\n" ("\r\n" is read
// too); empty lines and lines that begin with "#" are ignored. Bytes that are not UTF-8 are kept as
// they are.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/standin_host.h"

namespace brawlhue::host {

class VariableFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Throws VariableFileError naming the line that is not in the format.
VariableTable ParseVariables(std::string_view text);
// Variables in the order of the table, after a comment line that names the fields.
std::string FormatVariables(const VariableTable& variables);

// A file that does not exist holds no variables. Throws VariableFileError when the file cannot
// be read or is not in the format.
VariableTable LoadVariableFile(const std::wstring& path);
// Writes a new file and puts it in place of the old one, so a failed run leaves the old file
// whole. Throws VariableFileError when that fails.
void SaveVariableFile(const std::wstring& path, const VariableTable& variables);

}  // namespace brawlhue::host
