#include "script_cases.h"

#include "class_script.h"
#include "registry_dump.h"

namespace test_support {

using scanmenu::script::kHrDispException;
using scanmenu::script::kHrDispOverflow;
using scanmenu::script::kHrDispTypeMismatch;
using scanmenu::script::kHrFail;
using scanmenu::script::kHrOk;
using scanmenu::script::SubstitutionList;
namespace {

constexpr bool kRegister = true;
constexpr bool kUnregister = false;

std::string Content(std::vector<std::string> lines) { return JoinSorted(std::move(lines)); }

const std::string kClsidKey = "HKCR\\CLSID\\{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}";

std::vector<std::string> NoRemoveKeysOfClassScript() {
  return {
      "HKCR\\CLSID",
      "HKCR\\*",
      "HKCR\\*\\shellex",
      "HKCR\\*\\shellex\\ContextMenuHandlers",
      "HKCR\\Directory",
      "HKCR\\Directory\\shellex",
      "HKCR\\Directory\\shellex\\ContextMenuHandlers",
      "HKCR\\Drive",
      "HKCR\\Drive\\shellex",
      "HKCR\\Drive\\shellex\\ContextMenuHandlers",
  };
}

std::vector<std::string> RegisteredClassScript() {
  std::vector<std::string> lines = NoRemoveKeysOfClassScript();
  lines.insert(
      lines.end(),
      {
          kClsidKey,
          kClsidKey + " : @ = sz \"Quenor Clean Shell Extension\\0\"",
          kClsidKey + "\\InprocServer32",
          kClsidKey + "\\InprocServer32 : @ = sz \"C:\\Program Files\\It's\\Scanmenu.dll\\0\"",
          kClsidKey + "\\InprocServer32 : ThreadingModel = sz \"Apartment\\0\"",
          "HKCR\\*\\shellex\\ContextMenuHandlers\\QuenorClean",
          "HKCR\\*\\shellex\\ContextMenuHandlers\\QuenorClean : @ = sz \"{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}\\0\"",
          "HKCR\\Directory\\shellex\\ContextMenuHandlers\\QuenorClean",
          "HKCR\\Directory\\shellex\\ContextMenuHandlers\\QuenorClean : @ = sz "
          "\"{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}\\0\"",
          "HKCR\\Drive\\shellex\\ContextMenuHandlers\\QuenorClean",
          "HKCR\\Drive\\shellex\\ContextMenuHandlers\\QuenorClean : @ = sz "
          "\"{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}\\0\"",
      });
  return lines;
}

// A script whose root block holds `blocks` levels of blocks in all: keys
// K2 .. K<blocks>, each opening the next level, and a last key Leaf.
std::u16string NestedScript(int blocks) {
  std::u16string script = u"HKCU {";
  for (int level = 2; level <= blocks; ++level) {
    script += u" K";
    script += static_cast<char16_t>(u'0' + level / 10);
    script += static_cast<char16_t>(u'0' + level % 10);
    script += u" {";
  }
  script += u" Leaf";
  for (int level = 1; level <= blocks; ++level) script += u" }";
  return script;
}

// The keys NestedScript(blocks) writes; with `leaf`, Leaf too.
std::vector<std::string> NestedKeys(int blocks, bool leaf) {
  std::vector<std::string> lines;
  std::string path = "HKCU";
  for (int level = 2; level <= blocks; ++level) {
    path += "\\K" + std::string(1, '0' + level / 10) + std::string(1, '0' + level % 10);
    lines.push_back(path);
  }
  if (leaf) lines.push_back(path + "\\Leaf");
  return lines;
}

}  // namespace

std::vector<ScriptCase> ScriptCases() {
  const SubstitutionList module = {{u"Module", kModulePath}, {u"Module_Raw", kModulePath}};
  std::vector<ScriptCase> cases;

  // Scripts without items.
  cases.push_back({"EmptyScript", {{u"", kRegister, kHrOk}, {u"", kUnregister, kHrOk}}, "", {}});
  cases.push_back({"ModuleScript", {{kModuleScript, kRegister, kHrOk}, {kModuleScript, kUnregister, kHrOk}}, "", {}});
  cases.push_back({"BlanksOnlyStillNeedARootName", {{u" \r\n\t", kRegister, kHrDispException}}, "", {}});
  cases.push_back({"RootNameProblems",
                   {{u"HKCU{ }", kRegister, kHrDispException},
                    {u"HKXX { }", kRegister, kHrDispException},
                    {u"HKCU K { }", kRegister, kHrDispException},
                    {u"HKCU {", kRegister, kHrDispException}},
                   "",
                   {}});

  // The class script of the context-menu handler.
  cases.push_back(
      {"ClassScriptRegisters", {{kClassScript, kRegister, kHrOk}}, Content(RegisteredClassScript()), module});
  cases.push_back({"ClassScriptRegisteredTwice",
                   {{kClassScript, kRegister, kHrOk}, {kClassScript, kRegister, kHrOk}},
                   Content(RegisteredClassScript()),
                   module});
  cases.push_back({"ClassScriptUnregisterKeepsNoRemoveKeys",
                   {{kClassScript, kRegister, kHrOk}, {kClassScript, kUnregister, kHrOk}},
                   Content(NoRemoveKeysOfClassScript()),
                   module});
  cases.push_back({"ClassScriptUnregisterWithoutRegistration", {{kClassScript, kUnregister, kHrOk}}, "", module});
  {
    std::vector<std::string> lines = NoRemoveKeysOfClassScript();
    lines.insert(lines.end(), {"HKCR\\CLSID\\Other", "HKCR\\CLSID\\Other : @ = sz \"other\\0\"",
                               "HKCR\\*\\shellex\\ContextMenuHandlers\\OtherMenu",
                               "HKCR\\*\\shellex\\ContextMenuHandlers\\OtherMenu : @ = sz \"x\\0\""});
    cases.push_back({"ClassScriptUnregisterKeepsForeignKeys",
                     {{u"HKCR { NoRemove CLSID { Other = s 'other' } NoRemove * { NoRemove shellex "
                       u"{ NoRemove ContextMenuHandlers { OtherMenu = s 'x' } } } }",
                       kRegister, kHrOk},
                      {kClassScript, kRegister, kHrOk},
                      {kClassScript, kUnregister, kHrOk}},
                     Content(lines),
                     module});
  }

  // Unregistration rules.
  cases.push_back({"KeyWithUnnamedSubkeySurvivesWithItsDefaultValue",
                   {{u"HKCU { Product = s 'p' { val Setting = s 'v' Part } }", kRegister, kHrOk},
                    {u"HKCU { NoRemove Product { Extra } }", kRegister, kHrOk},
                    {u"HKCU { Product = s 'p' { val Setting = s 'v' Part } }", kUnregister, kHrOk}},
                   Content({"HKCU\\Product", "HKCU\\Product : @ = sz \"p\\0\"", "HKCU\\Product\\Extra"}),
                   {}});
  cases.push_back({"NoRemoveKeepsAValueAndAMissingValueIsNoError",
                   {{u"HKCU { NoRemove Settings { NoRemove val Kept = s 'k' val Gone = s 'g' } }", kRegister, kHrOk},
                    {u"HKCU { NoRemove Settings { NoRemove val Kept = s 'k' val Gone = s 'g' val Missing = s 'm' } }",
                     kUnregister, kHrOk}},
                   Content({"HKCU\\Settings", "HKCU\\Settings : Kept = sz \"k\\0\""}),
                   {}});

  // Forced removal and Delete.
  cases.push_back({"ForceRemoveSparesProtectedNames",
                   {{u"HKCU { NoRemove CLSID { Old = s 'o' } NoRemove Software { Old } }", kRegister, kHrOk},
                    {u"HKCU { ForceRemove clsid { New } ForceRemove SOFTWARE = s 'd' }", kRegister, kHrOk}},
                   Content({"HKCU\\CLSID", "HKCU\\CLSID\\Old", "HKCU\\CLSID\\Old : @ = sz \"o\\0\"", "HKCU\\CLSID\\New",
                            "HKCU\\Software", "HKCU\\Software : @ = sz \"d\\0\"", "HKCU\\Software\\Old"}),
                   {}});
  cases.push_back({"ForceRemoveWipesAnUnprotectedKeyBeforeWritingIt",
                   {{u"HKCU { App = s 'old' { val Extra = s 'e' Old { Deeper { Deepest } } } }", kRegister, kHrOk},
                    {u"HKCU { ForceRemove App { New } }", kRegister, kHrOk}},
                   Content({"HKCU\\App", "HKCU\\App\\New"}),
                   {}});
  cases.push_back({"DeleteRemovesItsKeyAtRegistrationAndCreatesNothing",
                   {{u"HKCU { Gone { Sub = s 's' } Stay }", kRegister, kHrOk},
                    {u"HKCU { Delete Gone = s 'ignored' Delete Absent }", kRegister, kHrOk}},
                   Content({"HKCU\\Stay"}),
                   {}});
  cases.push_back({"DeleteInUnregistrationIsAPlainKeyItem",
                   {{u"HKCU { Plain = s 'p' Held { Child } }", kRegister, kHrOk},
                    {u"HKCU { Delete Plain = s 'p' Delete Held }", kUnregister, kHrOk}},
                   Content({"HKCU\\Held", "HKCU\\Held\\Child"}),
                   {}});
  cases.push_back({"BlockAfterValOrDeleteGoesUnderTheLevelsCurrentKey",
                   {{u"HKCU { Base val V = s 'x' { FromVal } Delete Gone { FromDelete } }", kRegister, kHrOk}},
                   Content({"HKCU : V = sz \"x\\0\"", "HKCU\\Base", "HKCU\\Base\\FromVal", "HKCU\\Base\\FromDelete"}),
                   {}});

  // Tokens. Quotes are gone once a token is read: a quoted '{' that follows a
  // value would open a block, so the key named "{" comes first.
  cases.push_back(
      {"QuotedTokens",
       {{u"HKCU { Quotes = s 'It''s' { '{' = s '}' val 'a b' = s '{ = }' val Empty = s '' } }", kRegister, kHrOk}},
       Content({"HKCU\\Quotes", "HKCU\\Quotes : @ = sz \"It's\\0\"", "HKCU\\Quotes : a b = sz \"{ = }\\0\"",
                "HKCU\\Quotes : Empty = sz \"\\0\"", "HKCU\\Quotes\\{", "HKCU\\Quotes\\{ : @ = sz \"}\\0\""}),
       {}});
  cases.push_back({"EqualsAgainstANameBelongsToIt",
                   {{u"HKCU { Eq= s }", kRegister, kHrOk}},
                   Content({"HKCU\\Eq=", "HKCU\\s"}),
                   {}});
  cases.push_back({"TokenOf4094CharactersIsAccepted",
                   {{u"HKCU { Long = s '" + std::u16string(4094, u'x') + u"' }", kRegister, kHrOk}},
                   Content({"HKCU\\Long", "HKCU\\Long : @ = sz \"" + std::string(4094, 'x') + "\\0\""}),
                   {}});
  // The rollback stops at the same token, so the key stays, without value.
  cases.push_back({"TokenOf4095CharactersIsNot",
                   {{u"HKCU { Long = s '" + std::u16string(4095, u'x') + u"' }", kRegister, kHrDispException}},
                   Content({"HKCU\\Long"}),
                   {}});

  // Substitutions.
  {
    SubstitutionList list = module;
    list.push_back({u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde", u"thirty-one"});
    list.push_back({u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef", u"thirty-two"});
    cases.push_back({"PercentSignsAndSubstitutionNames",
                     {{u"HKCU { Subst { val Percent = s '100%%' val Module = s '%MODULE%' "
                       u"val Long = s '%abcdefghijklmnopqrstuvwxyzABCDE%' } }",
                       kRegister, kHrOk},
                      {u"HKCU { X = s '%ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef%' }", kRegister, kHrFail},
                      {u"HKCU { X = s '%Unknown%' }", kRegister, kHrDispException},
                      {u"HKCU { X = s '%Module' }", kRegister, kHrDispException}},
                     Content({"HKCU\\Subst", "HKCU\\Subst : Percent = sz \"100%\\0\"",
                              "HKCU\\Subst : Module = sz \"C:\\Program Files\\It's\\Scanmenu.dll\\0\"",
                              "HKCU\\Subst : Long = sz \"thirty-one\\0\""}),
                     list});
  }

  // Value types.
  cases.push_back(
      {"ValueTypes",
       {{u"HKCU { Types { val S = s 'text' val M = m 'a\\0b' val M2 = m 'a\\0\\0b' val M3 = m '' "
         u"val B = b '0aFf' val B0 = b '' val Bx = b 'zZ1g' val D = d '12' val DHex = d '&H10' "
         u"val DMax = d '4294967295' val DBlank = d ' 7 ' val DRound = d '2.5' } }",
         kRegister, kHrOk}},
       Content({"HKCU\\Types", "HKCU\\Types : S = sz \"text\\0\"", "HKCU\\Types : M = multi \"a\\0b\\0\\0\"",
                "HKCU\\Types : M2 = multi \"a\\0\\0\"", "HKCU\\Types : M3 = multi \"\\0\"",
                "HKCU\\Types : B = hex [0a ff]", "HKCU\\Types : B0 = hex []", "HKCU\\Types : Bx = hex [00 10]",
                "HKCU\\Types : D = dword 0x0000000c", "HKCU\\Types : DHex = dword 0x00000010",
                "HKCU\\Types : DMax = dword 0xffffffff", "HKCU\\Types : DBlank = dword 0x00000007",
                "HKCU\\Types : DRound = dword 0x00000002"}),
       {}});

  // Rollback of a failed root block.
  cases.push_back({"RejectedNumberInACreatedKeyLeavesNothing",
                   {{u"HKCU { App = s 'a' { val N = d 'x12' } }", kRegister, kHrDispTypeMismatch},
                    {u"HKCU { App { val N = d '4294967296' } }", kRegister, kHrDispOverflow},
                    {u"HKCU { App { val B = b 'abc' } }", kRegister, kHrFail}},
                   "",
                   {}});
  cases.push_back({"ScriptEndingAfterAKeyNameKeepsItAndItsAncestors",
                   {{u"HKCU { Done = s 'd' Outer { Inner", kRegister, kHrDispException}},
                   Content({"HKCU\\Outer", "HKCU\\Outer\\Inner"}),
                   {}});
  cases.push_back({"FailingSecondRootBlockLeavesTheFirstApplied",
                   {{u"HKCU { First = s '1' } HKCU { Second { val N = d 'bad' } }", kRegister, kHrDispTypeMismatch}},
                   Content({"HKCU\\First", "HKCU\\First : @ = sz \"1\\0\""}),
                   {}});
  cases.push_back({"SyntaxErrorsBeforeAnyKeyLeaveNothing",
                   {{u"HKCU { A\\B }", kRegister, kHrDispException},
                    {u"HKCU { ForceRemove A\\B }", kRegister, kHrDispException},
                    {u"HKCU { '' }", kRegister, kHrDispException},
                    {u"HKCU { val V s 'x' }", kRegister, kHrDispException},
                    {u"HKCU { K = x 'y' }", kRegister, kHrDispException}},
                   "",
                   {}});
  cases.push_back({"SyntaxErrorsInsideABlockKeepTheEnclosingKeys",
                   {{u"HKCU { K { val V s 'x' } }", kRegister, kHrDispException},
                    {u"HKCU { L = s 'unclosed }", kRegister, kHrDispException}},
                   Content({"HKCU\\K", "HKCU\\L"}),
                   {}});

  // Case of names and keywords.
  cases.push_back({"RootNamesAndKeywordsInAnyCase",
                   {{u"hkcr { a1 } HKEY_classes_root { a2 } hkcu { B1 } HKEY_CURRENT_USER { b2 } HkLm { C1 } "
                     u"hkey_local_machine { C2 } hku { D1 } hkey_users { D2 } hkpd { E1 } Hkey_Performance_Data { E2 } "
                     u"hkdd { F1 } hkey_dyn_data { F2 } hkcc { G1 } HKEY_Current_Config { G2 } "
                     u"hkcu { nOrEMOVE Keys { fORCErEMOVE K = S 'x' { VAL v = D '1' vAl w = M 'y' vaL z = b '01' } } "
                     u"delete B2 }",
                     kRegister, kHrOk}},
                   Content({"HKCR\\a1", "HKCR\\a2", "HKCU\\B1", "HKLM\\C1", "HKLM\\C2", "HKU\\D1", "HKU\\D2",
                            "HKPD\\E1", "HKPD\\E2", "HKDD\\F1", "HKDD\\F2", "HKCC\\G1", "HKCC\\G2", "HKCU\\Keys",
                            "HKCU\\Keys\\K", "HKCU\\Keys\\K : @ = sz \"x\\0\"", "HKCU\\Keys\\K : v = dword 0x00000001",
                            "HKCU\\Keys\\K : w = multi \"y\\0\\0\"", "HKCU\\Keys\\K : z = hex [01]"}),
                   {}});

  // Nesting.
  cases.push_back({"SixteenLevelsOfBlocks", {{NestedScript(16), kRegister, kHrOk}}, Content(NestedKeys(16, true)), {}});
  // The rollback meets the same limit, inside every key written.
  cases.push_back({"SeventeenLevelsOfBlocksFail",
                   {{NestedScript(17), kRegister, kHrDispException}},
                   Content(NestedKeys(17, false)),
                   {}});
  return cases;
}

}  // namespace test_support
