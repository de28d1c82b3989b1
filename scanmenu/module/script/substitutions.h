// The (name, text) pairs a script's %name% references are replaced with.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace scanmenu::script {

struct Substitution {
  std::u16string name;
  std::u16string text;
};

// In the order the entries were added.
using SubstitutionList = std::vector<Substitution>;

// The first entry whose name equals `name` ignoring the case of the letters
// A-Z (text::EqualsIgnoringAsciiCase, as script keywords and root-key names
// are compared), or null.
const Substitution* FindSubstitution(const SubstitutionList& list, std::u16string_view name);

}  // namespace scanmenu::script
