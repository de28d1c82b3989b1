#include "scanmenu/menu/drop_list.h"


namespace scanmenu {
namespace {

// DROPFILES: DWORD pFiles; POINT pt (two LONGs); BOOL fNC; BOOL fWide.
constexpr std::size_t kHeaderBytes = 20;
constexpr std::size_t kFilesOffsetAt = 0;
constexpr std::size_t kWideFlagAt = 16;

std::uint32_t ReadLittleEndian32(std::span<const std::byte> block, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(block[at + i]) << (8 * i);
  return value;
}

}  // namespace

std::optional<std::u16string_view> WideDropListPaths(std::span<const std::byte> block) {
  if (block.size() < kHeaderBytes) return std::nullopt;
  if (ReadLittleEndian32(block, kWideFlagAt) == 0) return std::nullopt;
  const std::uint32_t offset = ReadLittleEndian32(block, kFilesOffsetAt);
  if (offset < kHeaderBytes || offset > block.size() || offset % sizeof(char16_t) != 0) return std::nullopt;
  const std::size_t units = (block.size() - offset) / sizeof(char16_t);
  // The block comes from the allocator, so the list after an even offset is
  // aligned for 16-bit units.
  return std::u16string_view(reinterpret_cast<const char16_t*>(block.data() + offset), units);
}

std::size_t CaptureDropListPaths(std::u16string_view paths, Selection& selection) {
  std::size_t count = 0;
  while (!paths.empty() && paths.front() != u'\0') {
    const std::size_t end = paths.find(u'\0');
    const std::u16string_view path = paths.substr(0, end);
    selection.Append(path);
    ++count;
    if (end == std::u16string_view::npos) break;
    paths.remove_prefix(end + 1);
  }
  return count;
}

}  // namespace scanmenu
