#include <gtest/gtest.h>

#include "memory_registry.h"
#include "scanmenu/module/script/script_interpreter.h"
#include "script_cases.h"
#include "test_support.h"

namespace scanmenu::script {

using test_support::HrText;
using test_support::MemoryRegistry;
using test_support::ScriptCase;
using test_support::ScriptCases;
namespace {

using test_support::ScriptStep;

class ScriptCaseTest : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptCaseTest, LeavesTheExpectedContent) {
  const ScriptCase& script_case = GetParam();
  MemoryRegistry registry;
  ScriptInterpreter interpreter(registry);
  for (std::size_t i = 0; i < script_case.steps.size(); ++i) {
    const ScriptStep& step = script_case.steps[i];
    EXPECT_EQ(HrText(interpreter.RunScript(step.script.c_str(), step.register_mode, script_case.substitutions)),
              HrText(step.expected))
        << "step " << i + 1;
    EXPECT_EQ(registry.OpenHandleCount(), 0) << "step " << i + 1;
  }
  EXPECT_EQ(registry.Dump(), script_case.expected_content);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptCaseTest, ::testing::ValuesIn(ScriptCases()),
                         [](const ::testing::TestParamInfo<ScriptCase>& info) { return info.param.name; });

}  // namespace
}  // namespace scanmenu::script
