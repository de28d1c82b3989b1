#include "scanmenu/menu/drop_list.h"

#include <cstdint>
#include <new>

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

// Calls `take` with each path of `paths` in order, up to the empty path. A
// path without its null before the end is no path the user chose but a cut
// one, which may well name another item: it ends the list unread.
template <typename Unit, typename Take>
void ForEachPath(std::basic_string_view<Unit> paths, Take take) {
  while (!paths.empty() && paths.front() != Unit{0}) {
    const std::size_t end = paths.find(Unit{0});
    if (end == std::basic_string_view<Unit>::npos) return;
    take(paths.substr(0, end));
    paths.remove_prefix(end + 1);
  }
}

}  // namespace

void CaptureDropList(std::span<const std::byte> block, DropListPlatform& platform, Selection& selection) noexcept {
  if (block.size() < kHeaderBytes) return;
  const std::uint32_t offset = ReadLittleEndian32(block, kFilesOffsetAt);
  if (offset < kHeaderBytes || offset > block.size()) return;
  const std::span<const std::byte> list = block.subspan(offset);

  if (ReadLittleEndian32(block, kWideFlagAt) == 0) {
    ForEachPath(std::string_view(reinterpret_cast<const char*>(list.data()), list.size()), [&](std::string_view path) {
      try {
        const std::optional<std::u16string> converted = platform.FromAnsiCodePage(path);
        if (converted && !converted->empty()) selection.Append(*converted);
      } catch (const std::bad_alloc&) {
        // Left out, as a path whose copy cannot be allocated.
      }
    });
    return;
  }
  // Global memory is aligned for any type, so the paths after an even offset
  // are aligned for 16-bit units; a block that is not holds no paths either.
  if (offset % sizeof(char16_t) != 0 || reinterpret_cast<std::uintptr_t>(list.data()) % alignof(char16_t) != 0) {
    return;
  }
  ForEachPath(std::u16string_view(reinterpret_cast<const char16_t*>(list.data()), list.size() / sizeof(char16_t)),
              [&](std::u16string_view path) { selection.Append(path); });
}

}  // namespace scanmenu
