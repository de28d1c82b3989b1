#include "scanmenu/module/registration_text.h"

namespace scanmenu {

std::size_t EscapeSingleQuotes(const char16_t* path, char16_t* out) {
  constexpr std::size_t kLimit = kEscapedPathCapacity - 1;
  std::size_t written = 0;
  for (const char16_t* p = path; *p != u'\0' && written < kLimit; ++p) {
    out[written++] = *p;
    if (*p == u'\'' && written < kLimit) out[written++] = u'\'';
  }
  out[written] = u'\0';
  return written;
}

bool TypeLibraryFileName(const char16_t* path, char16_t* out) {
  static constexpr char16_t kExtension[] = u".tlb";
  constexpr std::size_t kExtensionLength = sizeof(kExtension) / sizeof(kExtension[0]) - 1;

  // A dot counts only after the last backslash: C:\a.b\name has no extension.
  std::size_t length = 0;
  std::size_t last_dot = 0;
  bool has_dot = false;
  for (; path[length] != u'\0'; ++length) {
    if (path[length] == u'\\') {
      has_dot = false;
    } else if (path[length] == u'.') {
      last_dot = length;
      has_dot = true;
    }
  }
  const std::size_t stem = has_dot ? last_dot : length;
  if (stem + kExtensionLength + 1 > kModulePathCapacity) return false;
  for (std::size_t i = 0; i < stem; ++i) out[i] = path[i];
  for (std::size_t i = 0; i <= kExtensionLength; ++i) out[stem + i] = kExtension[i];
  return true;
}

}  // namespace scanmenu
