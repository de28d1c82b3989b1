// Script-level cases with the registry content each must leave behind. The
// native tests run them over the in-memory registry, the Windows tests over
// the real registry, so the two must agree line for line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "scanmenu/module/script/hresult.h"
#include "scanmenu/module/script/substitutions.h"

namespace test_support {

struct ScriptStep {
  std::u16string script;
  bool register_mode;
  scanmenu::script::HResult expected;
};

struct ScriptCase {
  std::string name;
  // Run in order over an empty registry, each with `substitutions`.
  std::vector<ScriptStep> steps;
  // Every key and value afterwards, in the form of registry_dump.h.
  std::string expected_content;
  scanmenu::script::SubstitutionList substitutions;
};

std::vector<ScriptCase> ScriptCases();

// The module path the cases substitute for %Module%: its single quote is
// doubled, as the registration passes it.
inline constexpr char16_t kModulePath[] = u"C:\\Program Files\\It''s\\Scanmenu.dll";

inline void PrintTo(const ScriptCase& script_case, std::ostream* os) { *os << script_case.name; }

}  // namespace test_support
