// Applies a registration script to the registry, or takes it away again.
//
// A script is a list of root blocks ("HKCR { ... }") holding key items,
// value items ("val Name = s 'text'") and nested blocks. RunScript first
// replaces every %name% reference from the substitution list, then walks the
// text token by token and performs each registry operation as it reads it:
// there is no syntax tree, so everything before a syntax error has already
// happened. A root block whose registration fails is undone by an
// unregistration pass over the same block.
//
// One interpreter performs one run at a time; it keeps the run's state and
// reaches the registry only through its RegistryAccess.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "scanmenu/module/script/hresult.h"
#include "scanmenu/module/script/number_text.h"
#include "scanmenu/module/script/registry_access.h"
#include "scanmenu/module/script/substitutions.h"

namespace scanmenu::script {

class ScopedKey;

class ScriptInterpreter {
 public:
  // A token buffer holds the token and its terminating zero.
  static constexpr std::size_t kTokenBufferSize = 4096;
  static constexpr std::size_t kMaxTokenLength = 4094;
  // Longest substitution name, in characters.
  static constexpr std::size_t kMaxSubstitutionName = 31;
  // Blocks nested deeper than this, the root block counting as the first,
  // fail the run with kHrDispException. Every level keeps token buffers on
  // the stack, and the scripts of this module nest four levels deep.
  static constexpr int kMaxBlockDepth = 16;

  using TokenBuffer = std::array<char16_t, kTokenBufferSize>;

  explicit ScriptInterpreter(RegistryAccess& registry, NumberConverter convert_number = &UInt32FromNumberText);
  ScriptInterpreter(const ScriptInterpreter&) = delete;
  ScriptInterpreter& operator=(const ScriptInterpreter&) = delete;

  // Runs the zero-terminated `script` in register or unregister mode.
  HResult RunScript(const char16_t* script, bool register_mode, const SubstitutionList& substitutions);

  // Replaces each %name% with its text from `substitutions` and each "%%"
  // with "%". On failure `expanded` is left empty.
  static HResult ExpandVariables(const char16_t* script, const SubstitutionList& substitutions,
                                 std::u16string& expanded);

 private:
  HResult ReadToken(TokenBuffer& token);
  HResult ProcessBlock(TokenBuffer& token, RegistryKey parent, bool register_mode, bool recovery);
  HResult RegisterKey(RegistryKey parent, const char16_t* name, ScopedKey& current);
  HResult UnregisterKey(TokenBuffer& token, RegistryKey parent, bool recovery, bool delete_flag);
  HResult UnregisterValue(RegistryKey parent, const char16_t* name);
  HResult WriteValue(RegistryKey key, const char16_t* value_name, TokenBuffer& token);
  HResult SkipValueClause(TokenBuffer& token);
  std::int32_t DeleteKeyTree(RegistryKey parent, const char16_t* name);
  void SkipWhitespace();

  RegistryAccess& registry_;
  NumberConverter convert_number_;

  // State of the current run.
  std::u16string expanded_;
  const char16_t* position_ = nullptr;
  int depth_ = 0;
  bool too_deep_ = false;
};

}  // namespace scanmenu::script
