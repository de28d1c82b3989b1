#include "common/win32/string_resource.h"

#include "common/win32/wide.h"
namespace win32 {

std::optional<std::u16string> LoadStringResource(HINSTANCE module, UINT id) {
  // With no buffer size the function hands out a read-only pointer to the
  // text inside the resource, which need not end in a null, and its length.
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return std::nullopt;
  return std::u16string(Utf16(text), static_cast<std::size_t>(length));
}

}  // namespace win32
