// Feeds arbitrary text and substitutions to the interpreter in both modes,
// over an in-memory registry that holds a registration of the class script.
//
// Input: one byte of flags (bit 0: register first, else unregister first),
// then the script; after each 0x01 byte a substitution "name 0x02 text".
// Every other byte is one character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "class_script.h"
#include "memory_registry.h"
#include "scanmenu/module/script/script_interpreter.h"

namespace {

using scanmenu::script::ScriptInterpreter;
using scanmenu::script::SubstitutionList;
using test_support::kClassScript;
using test_support::MemoryRegistry;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool register_first = (data[0] & 1) != 0;

  std::u16string script;
  SubstitutionList substitutions = {{u"Module", u"C:\\It''s\\Scanmenu.dll"}};
  std::u16string* target = &script;
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0x01) {
      substitutions.push_back({});
      target = &substitutions.back().name;
    } else if (data[i] == 0x02 && target != &script) {
      target = &substitutions.back().text;
    } else {
      target->push_back(static_cast<char16_t>(data[i]));
    }
  }

  MemoryRegistry registry;
  registry.set_record_calls(false);
  ScriptInterpreter interpreter(registry);
  // The first "Module" entry is the fixed one, so this always succeeds.
  Check(interpreter.RunScript(kClassScript, true, substitutions) == scanmenu::script::kHrOk);

  interpreter.RunScript(script.c_str(), register_first, substitutions);
  Check(registry.OpenHandleCount() == 0);
  interpreter.RunScript(script.c_str(), !register_first, substitutions);
  Check(registry.OpenHandleCount() == 0);
  return 0;
}
