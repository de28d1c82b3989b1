// Every registry call of a pass over the class script is made to fail in
// turn. Each failure must give the result the interpreter's rules state for
// that call, leak no key, keep what other software holds under the same
// keys, and, for a registration, leave nothing of its own behind that an
// unregistration would remove.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "class_script.h"
#include "memory_registry.h"
#include "scanmenu/module/script/script_interpreter.h"
#include "script_cases.h"
#include "test_support.h"

namespace scanmenu::script {

using test_support::HrText;
using test_support::kClassScript;
using test_support::kErrorAccessDenied;
using test_support::kModulePath;
using test_support::MemoryRegistry;
namespace {

constexpr std::int32_t kRegistryIoFailed = 1016;

// What other software keeps under the keys the class script uses.
constexpr char16_t kForeignScript[] =
    u"HKCR { NoRemove CLSID { Other = s 'other' } "
    u"NoRemove * { NoRemove shellex { NoRemove ContextMenuHandlers { OtherMenu = s 'x' } } } "
    u"NoRemove Directory { NoRemove shellex { NoRemove PropertySheetHandlers { Sheet } } } }";

SubstitutionList ModuleAt(const char16_t* path) { return {{u"Module", path}, {u"Module_Raw", path}}; }

std::set<std::string> Lines(const std::string& dump) {
  std::set<std::string> lines;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

bool Contains(const std::set<std::string>& outer, const std::set<std::string>& inner) {
  return std::includes(outer.begin(), outer.end(), inner.begin(), inner.end());
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The key a call names: "open HKCR\CLSID rw" names HKCR\CLSID.
std::string CallPath(const std::string& call) {
  const std::size_t start = call.find(' ') + 1;
  return call.substr(start, call.find(' ', start) - start);
}

// The results the rules allow when call `index` of `calls` fails with `error`.
std::set<HResult> AllowedResults(bool register_mode, const std::vector<std::string>& calls, std::size_t index,
                                 std::int32_t error) {
  const std::string& call = calls[index];
  const std::string previous = index > 0 ? calls[index - 1] : std::string();
  const HResult failure = HResultFromError(error);
  if (register_mode) {
    // Creating a key and setting a value are not optional.
    if (StartsWith(call, "create ") || StartsWith(call, "set ")) return {failure};
    // Only a forced removal enumerates and deletes here, and it ignores its
    // own failures; the key is then written over.
    if (StartsWith(call, "delete ") || StartsWith(call, "first-subkey ")) return {kHrOk};
    // An open for reading and writing falls back to reading, which may then
    // be refused the write that follows; an open for reading falls back to
    // creating.
    if (StartsWith(call, "open ")) return {kHrOk, HResultFromError(kErrorAccessDenied)};
    // Closing the key that a newly opened one replaces is checked; closing
    // at the end of a level or inside a forced removal is not.
    const bool replaces =
        (StartsWith(previous, "open ") || StartsWith(previous, "create ")) && CallPath(previous) != CallPath(call);
    return {replaces ? failure : kHrOk};
  }
  if (StartsWith(call, "open ") && call.size() > 2 && call.substr(call.size() - 2) == " w") return {failure};
  if (StartsWith(call, "open ") || StartsWith(call, "delete-value ")) {
    return {error == kErrorNotFound ? kHrOk : failure};
  }
  if (StartsWith(call, "delete ")) return {failure};
  // A key whose subkeys cannot be counted counts as having none.
  if (StartsWith(call, "count-subkeys ")) return {kHrOk};
  // The key of an item is closed checked; the handle a value was deleted
  // through is not.
  return {StartsWith(previous, "count-subkeys ") ? failure : kHrOk};
}

struct Pass {
  const char* name;
  bool baseline_registered;  // else only the foreign keys
  bool register_mode;
};

void PrintTo(const Pass& pass, std::ostream* os) { *os << pass.name; }

class FaultInjectionTest : public ::testing::TestWithParam<Pass> {
 protected:
  // The keys there before the pass: the foreign ones, and an earlier
  // registration from another module path.
  void SetUpBaseline(MemoryRegistry& registry) {
    ScriptInterpreter interpreter(registry);
    EXPECT_EQ(interpreter.RunScript(kForeignScript, true, {}), kHrOk);
    if (GetParam().baseline_registered) {
      EXPECT_EQ(interpreter.RunScript(kClassScript, true, ModuleAt(u"C:\\Old\\Scanmenu.dll")), kHrOk);
    }
  }

  // The baseline, then the pass, with its call `fail_call` (0: none) failing.
  HResult Run(MemoryRegistry& registry, int fail_call, std::int32_t error) {
    SetUpBaseline(registry);
    baseline_calls_ = static_cast<int>(registry.calls().size());
    if (fail_call > 0) registry.FailCall(fail_call, error);
    ScriptInterpreter interpreter(registry);
    return interpreter.RunScript(kClassScript, GetParam().register_mode, ModuleAt(kModulePath));
  }

  int baseline_calls_ = 0;
};

TEST_P(FaultInjectionTest, EveryFailingCallGivesItsResultAndKeepsTheRegistryConsistent) {
  const Pass& pass = GetParam();
  MemoryRegistry foreign_only;
  {
    ScriptInterpreter interpreter(foreign_only);
    ASSERT_EQ(interpreter.RunScript(kForeignScript, true, {}), kHrOk);
  }
  const std::set<std::string> foreign = Lines(foreign_only.Dump());
  MemoryRegistry before_pass;
  SetUpBaseline(before_pass);
  const std::set<std::string> baseline = Lines(before_pass.Dump());

  MemoryRegistry clean;
  ASSERT_EQ(HrText(Run(clean, 0, 0)), HrText(kHrOk));
  const std::vector<std::string> calls(clean.calls().begin() + baseline_calls_, clean.calls().end());
  const std::string clean_content = clean.Dump();
  ASSERT_FALSE(calls.empty());

  for (std::int32_t error : {kRegistryIoFailed, kErrorNotFound, kErrorAccessDenied}) {
    for (std::size_t i = 0; i < calls.size(); ++i) {
      SCOPED_TRACE("call " + std::to_string(i + 1) + " \"" + calls[i] + "\" fails with " + std::to_string(error));
      MemoryRegistry registry;
      const HResult hr = Run(registry, static_cast<int>(i) + 1, error);
      const std::set<HResult> allowed = AllowedResults(pass.register_mode, calls, i, error);
      EXPECT_TRUE(allowed.count(hr) == 1) << "result " << HrText(hr);
      EXPECT_EQ(registry.OpenHandleCount(), 0);

      const std::string content = registry.Dump();
      EXPECT_TRUE(Contains(Lines(content), foreign)) << content;
      if (Succeeded(hr) && (pass.register_mode || error != kErrorNotFound)) {
        // A pass that reports success did all of its work.
        EXPECT_EQ(content, clean_content);
      }
      if (!pass.register_mode) {
        // An unregistration never removes more than a clean one would.
        EXPECT_TRUE(Contains(Lines(content), Lines(clean_content))) << content;
      } else if (Failed(hr)) {
        // After the rollback, what an unregistration would still remove was
        // there before the failed registration began.
        ScriptInterpreter interpreter(registry);
        EXPECT_EQ(interpreter.RunScript(kClassScript, false, ModuleAt(kModulePath)), kHrOk);
        const std::set<std::string> after_unregister = Lines(registry.Dump());
        for (const std::string& line : Lines(content)) {
          if (after_unregister.count(line) == 0) {
            EXPECT_EQ(baseline.count(line), 1u) << "left behind by the failed registration: " << line;
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ClassScript, FaultInjectionTest,
                         ::testing::Values(Pass{"RegisterBesideForeignKeys", false, true},
                                           Pass{"RegisterOverAnEarlierRegistration", true, true},
                                           Pass{"UnregisterARegistration", true, false},
                                           Pass{"UnregisterWithoutRegistration", false, false}),
                         [](const ::testing::TestParamInfo<Pass>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace scanmenu::script
