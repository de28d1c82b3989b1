#include "scanmenu/module/script/substitutions.h"

#include <algorithm>

namespace scanmenu::script {
namespace {

char16_t FoldCase(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

}  // namespace

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return FoldCase(x) == FoldCase(y); });
}

const Substitution* FindSubstitution(const SubstitutionList& list, std::u16string_view name) {
  for (const Substitution& entry : list) {
    if (EqualsIgnoringCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

}  // namespace scanmenu::script
