// Any block as a drop list, UTF-16 or 8-bit, whatever its header claims: the
// reader stays inside the block (the input is its exact allocation) and
// takes exactly the paths a plain walk over the bytes finds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "scanmenu/menu/drop_list.h"
#include "scanmenu/menu/latin1_drop_list_platform.h"

namespace {

std::uint32_t Field(const std::uint8_t* data, std::size_t at) {
  return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (static_cast<std::uint32_t>(data[at + 3]) << 24);
}

// The complete paths of the list, walked unit by unit; 8-bit ones through
// the test's code page.
std::vector<std::u16string> Expected(const std::uint8_t* data, std::size_t size) {
  std::vector<std::u16string> paths;
  if (size < 20) return paths;
  const std::size_t offset = Field(data, 0);
  const bool wide = Field(data, 16) != 0;
  if (offset < 20 || offset > size || (wide && offset % 2 != 0)) return paths;
  const std::size_t unit = wide ? 2 : 1;
  std::u16string path;
  for (std::size_t at = offset; at + unit <= size; at += unit) {
    const char16_t c = wide ? static_cast<char16_t>(data[at] | (data[at + 1] << 8)) : data[at];
    if (c != 0) {
      path += c;
    } else if (path.empty()) {
      break;
    } else {
      if (wide || path.find(u'|') == std::u16string::npos) paths.push_back(path);
      path.clear();
    }
  }
  return paths;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  test_support::Latin1DropListPlatform platform;
  scanmenu::Selection selection;
  scanmenu::CaptureDropList(std::span(reinterpret_cast<const std::byte*>(data), size), platform, selection);
  const std::vector<std::u16string> expected = Expected(data, size);
  if (selection.size() != expected.size()) std::abort();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (selection[i] != expected[i]) std::abort();
  }
  return 0;
}
