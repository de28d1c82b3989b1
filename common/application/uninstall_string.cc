#include "common/application/uninstall_string.h"

namespace application {

std::u16string ExecutablePathFromUninstallString(std::u16string_view value) {
  if (value.empty() || value.front() != u'"') return {};
  const std::u16string_view rest = value.substr(1);
  return std::u16string(rest.substr(0, rest.find(u'"')));
}

}  // namespace application
