// The program path at the start of an "UninstallString" registry value.
#pragma once

#include <string>
#include <string_view>

namespace application {

// The executable path that an "UninstallString" value begins with: the text
// between its first two double quotes, or everything after the first quote
// when no second one follows. A value that does not start with a double quote
// names no path, and the result is empty.
std::u16string ExecutablePathFromUninstallString(std::u16string_view value);

}  // namespace application
