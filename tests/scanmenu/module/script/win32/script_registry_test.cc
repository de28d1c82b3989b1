// The script-level cases against the platform's registry: each leaves the
// same content there as over the in-memory registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "class_script.h"
#include "common/win32/registry_key.h"
#include "memory_registry.h"
#include "scanmenu/module/script/script_interpreter.h"
#include "scanmenu/module/script/win32/registry_access.h"
#include "scratch_registry.h"
#include "script_cases.h"
#include "test_support.h"

namespace scanmenu::script {

using test_support::HrText;
using test_support::kClassScript;
using test_support::kModulePath;
using test_support::MemoryRegistry;
using test_support::ScratchRegistry;
using test_support::ScriptCase;
using test_support::ScriptCases;
namespace {

using test_support::ScriptStep;

class PlatformScriptCaseTest : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(PlatformScriptCaseTest, LeavesTheSameContentAsInMemory) {
  const ScriptCase& script_case = GetParam();
  ScratchRegistry platform;
  ASSERT_TRUE(platform.Ready());
  MemoryRegistry memory;
  ScriptInterpreter on_platform(platform, &VarUI4NumberFromText);
  ScriptInterpreter in_memory(memory);
  for (std::size_t i = 0; i < script_case.steps.size(); ++i) {
    const ScriptStep& step = script_case.steps[i];
    EXPECT_EQ(HrText(on_platform.RunScript(step.script.c_str(), step.register_mode, script_case.substitutions)),
              HrText(step.expected))
        << "step " << i + 1;
    in_memory.RunScript(step.script.c_str(), step.register_mode, script_case.substitutions);
  }
  const std::string content = platform.Dump();
  EXPECT_EQ(content, script_case.expected_content);
  EXPECT_EQ(content, memory.Dump());
}

INSTANTIATE_TEST_SUITE_P(Scripts, PlatformScriptCaseTest, ::testing::ValuesIn(ScriptCases()),
                         [](const ::testing::TestParamInfo<ScriptCase>& info) { return info.param.name; });

TEST(RootKeys, AreThePlatformsPredefinedHandles) {
  EXPECT_EQ(RootKeyHandle(RootKey::kClassesRoot), reinterpret_cast<RegistryKey>(HKEY_CLASSES_ROOT));
  EXPECT_EQ(RootKeyHandle(RootKey::kCurrentUser), reinterpret_cast<RegistryKey>(HKEY_CURRENT_USER));
  EXPECT_EQ(RootKeyHandle(RootKey::kLocalMachine), reinterpret_cast<RegistryKey>(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(RootKeyHandle(RootKey::kUsers), reinterpret_cast<RegistryKey>(HKEY_USERS));
  EXPECT_EQ(RootKeyHandle(RootKey::kPerformanceData), reinterpret_cast<RegistryKey>(HKEY_PERFORMANCE_DATA));
  EXPECT_EQ(RootKeyHandle(RootKey::kCurrentConfig), reinterpret_cast<RegistryKey>(HKEY_CURRENT_CONFIG));
  EXPECT_EQ(RootKeyHandle(RootKey::kDynData), reinterpret_cast<RegistryKey>(HKEY_DYN_DATA));
}

constexpr char16_t kHandlerClassKey[] = u"CLSID\\{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}";

std::optional<std::u16string> ClassesRootText(std::u16string_view path, std::u16string_view name) {
  win32::RegistryKey key;
  if (key.Open(HKEY_CLASSES_ROOT, path, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
  return key.ReadText(name, 1024);
}

bool ClassesRootHas(std::u16string_view path) {
  win32::RegistryKey key;
  return key.Open(HKEY_CLASSES_ROOT, path, KEY_READ) == ERROR_SUCCESS;
}

const SubstitutionList kModule = {{u"Module", kModulePath}, {u"Module_Raw", kModulePath}};

TEST(ClassesRoot, ClassScriptRegistersTheHandlerForFilesAndDirectories) {
  Win32RegistryAccess registry;
  ScriptInterpreter interpreter(registry, &VarUI4NumberFromText);
  ASSERT_EQ(HrText(interpreter.RunScript(kClassScript, true, kModule)), HrText(kHrOk));
  EXPECT_EQ(ClassesRootText(kHandlerClassKey, u""), u"Quenor Clean Shell Extension");
  EXPECT_EQ(ClassesRootText(std::u16string(kHandlerClassKey) + u"\\InprocServer32", u""),
            u"C:\\Program Files\\It's\\Scanmenu.dll");
  EXPECT_EQ(ClassesRootText(std::u16string(kHandlerClassKey) + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
  EXPECT_EQ(ClassesRootText(u"*\\shellex\\ContextMenuHandlers\\QuenorClean", u""),
            u"{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}");
  EXPECT_EQ(ClassesRootText(u"Directory\\shellex\\ContextMenuHandlers\\QuenorClean", u""),
            u"{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}");
  EXPECT_EQ(interpreter.RunScript(kClassScript, false, kModule), kHrOk);
}

TEST(ClassesRoot, ClassScriptUnregistrationKeepsTheSharedKeys) {
  Win32RegistryAccess registry;
  ScriptInterpreter interpreter(registry, &VarUI4NumberFromText);
  ASSERT_EQ(interpreter.RunScript(kClassScript, true, kModule), kHrOk);
  ASSERT_EQ(HrText(interpreter.RunScript(kClassScript, false, kModule)), HrText(kHrOk));
  EXPECT_FALSE(ClassesRootHas(kHandlerClassKey));
  EXPECT_FALSE(ClassesRootHas(u"*\\shellex\\ContextMenuHandlers\\QuenorClean"));
  EXPECT_FALSE(ClassesRootHas(u"Directory\\shellex\\ContextMenuHandlers\\QuenorClean"));
  EXPECT_TRUE(ClassesRootHas(u"CLSID"));
  EXPECT_TRUE(ClassesRootHas(u"*\\shellex\\ContextMenuHandlers"));
  EXPECT_TRUE(ClassesRootHas(u"Directory\\shellex\\ContextMenuHandlers"));
}

}  // namespace
}  // namespace scanmenu::script
