// Any "UninstallString" value: the path is a quote-free prefix of the text
// after a leading quote, and nothing at all without one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/application/uninstall_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string value(size / 2, u'\0');
  for (std::size_t i = 0; i < value.size(); ++i) {
    value[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  const std::u16string path = application::ExecutablePathFromUninstallString(value);
  if (value.empty() || value.front() != u'"') {
    if (!path.empty()) std::abort();
    return 0;
  }
  if (path.find(u'"') != std::u16string::npos) std::abort();
  if (value.compare(1, path.size(), path) != 0) std::abort();
  // The path ends at the second quote, or at the end of the value.
  const std::size_t end = 1 + path.size();
  if (end != value.size() && value[end] != u'"') std::abort();
  return 0;
}
