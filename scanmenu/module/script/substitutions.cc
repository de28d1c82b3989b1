#include "scanmenu/module/script/substitutions.h"

#include "common/text/ascii_case.h"

namespace scanmenu::script {

const Substitution* FindSubstitution(const SubstitutionList& list, std::u16string_view name) {
  for (const Substitution& entry : list) {
    if (text::EqualsIgnoringAsciiCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

}  // namespace scanmenu::script
