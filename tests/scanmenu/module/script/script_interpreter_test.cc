// Behaviour of the interpreter that the script-level cases cannot show: the
// expansion on its own, which registry calls a pass makes, and the limits.
#include "scanmenu/module/script/script_interpreter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_registry.h"
#include "test_support.h"

namespace scanmenu::script {
namespace {

using test_support::HrText;
using test_support::kErrorAccessDenied;
using test_support::MemoryRegistry;
using test_support::StoredValue;

using Calls = std::vector<std::string>;

HResult Expand(const char16_t* script, const SubstitutionList& list, std::u16string& out) {
  return ScriptInterpreter::ExpandVariables(script, list, out);
}

TEST(ExpandVariables, InsertsTextsUnscannedAndUnescaped) {
  std::u16string out;
  const SubstitutionList list = {{u"A", u"%B%"}, {u"Quote", u"It's"}, {u"a", u"second"}};
  EXPECT_EQ(Expand(u"x%a%y '%QUOTE%' 50%%", list, out), kHrOk);
  EXPECT_EQ(out, u"x%B%y 'It's' 50%");
}

TEST(ExpandVariables, FailuresLeaveNoText) {
  std::u16string out = u"stale";
  EXPECT_EQ(Expand(nullptr, {}, out), kHrPointer);
  EXPECT_EQ(out, u"");
  out = u"stale";
  EXPECT_EQ(Expand(u"abc %open", {{u"open", u"x"}}, out), kHrDispException);
  EXPECT_EQ(out, u"");
  EXPECT_EQ(Expand(u"%", {}, out), kHrDispException);
  EXPECT_EQ(Expand(u"%%%", {}, out), kHrDispException);
}

TEST(ExpandVariables, NameLengthLimitComesBeforeTheLookup) {
  std::u16string out;
  EXPECT_EQ(Expand(u"%0123456789012345678901234567890%", {}, out), kHrDispException);  // 31: looked up
  EXPECT_EQ(Expand(u"%01234567890123456789012345678901%", {}, out), kHrFail);          // 32
}

TEST(ExpandVariables, GrowsForLongTexts) {
  std::u16string out;
  const std::u16string long_text(10000, u'z');
  EXPECT_EQ(Expand(u"[%L%][%L%]", {{u"L", long_text}}, out), kHrOk);
  EXPECT_EQ(out, u"[" + long_text + u"][" + long_text + u"]");
}

TEST(RunScript, NullScriptIsAPointerError) {
  MemoryRegistry registry;
  EXPECT_EQ(ScriptInterpreter(registry).RunScript(nullptr, true, {}), kHrPointer);
}

TEST(RunScript, SubstitutionFailureTouchesNothing) {
  MemoryRegistry registry;
  EXPECT_EQ(ScriptInterpreter(registry).RunScript(u"HKCU { K = s '%Nope%' }", true, {}), kHrDispException);
  EXPECT_TRUE(registry.calls().empty());
}

TEST(RunScript, TextEndsAtItsFirstZero) {
  MemoryRegistry registry;
  const std::u16string script(u"HKCU { K }\0HKCU { L", 19);
  EXPECT_EQ(ScriptInterpreter(registry).RunScript(script.c_str(), true, {}), kHrOk);
  EXPECT_TRUE(registry.HasKey(u"HKCU\\K"));
}

TEST(RegisterCalls, KeyThatOpensOnlyForReadingIsUsedAsIs) {
  MemoryRegistry registry;
  ScriptInterpreter interpreter(registry);
  ASSERT_EQ(interpreter.RunScript(u"HKCU { K }", true, {}), kHrOk);
  registry.FailCall(1, kErrorAccessDenied);  // the open for reading and writing
  // The value cannot be set through a read-only key, and the rollback then
  // removes the key.
  EXPECT_EQ(HrText(interpreter.RunScript(u"HKCU { K = s 'v' }", true, {})), HrText(HResultFromError(5)));
  EXPECT_FALSE(registry.HasKey(u"HKCU\\K"));
}

TEST(RegisterCalls, ForceRemoveOfManySiblings) {
  MemoryRegistry registry;
  ScriptInterpreter interpreter(registry);
  std::u16string script = u"HKCU { T {";
  for (int i = 0; i < 300; ++i) script += u" S" + std::u16string(1, u'a' + i % 26) + std::u16string(1, u'a' + i / 26);
  ASSERT_EQ(interpreter.RunScript((script + u" } }").c_str(), true, {}), kHrOk);
  ASSERT_EQ(interpreter.RunScript(u"HKCU { ForceRemove T }", true, {}), kHrOk);
  EXPECT_EQ(registry.Dump(), "HKCU\\T\n");
}

TEST(UnregisterCalls, KeyThatCannotBeOpenedSkipsItsBlockWithoutAnyCall) {
  MemoryRegistry registry;
  ASSERT_EQ(ScriptInterpreter(registry).RunScript(
                u"HKCU { Missing = s 'x' { Deeper { val V = s 'x' Deepest } ForceRemove Gone } }", false, {}),
            kHrOk);
  EXPECT_EQ(registry.calls(), (Calls{"open HKCU\\Missing r"}));
}

TEST(UnregisterCalls, ValueIsDeletedThroughAWritableHandleOfItsKey) {
  MemoryRegistry registry;
  ScriptInterpreter interpreter(registry);
  ASSERT_EQ(interpreter.RunScript(u"HKCU { NoRemove K { val V = s 'x' } }", true, {}), kHrOk);
  const std::size_t before = registry.calls().size();
  ASSERT_EQ(interpreter.RunScript(u"HKCU { NoRemove K { val V = s 'x' } }", false, {}), kHrOk);
  EXPECT_EQ(Calls(registry.calls().begin() + before, registry.calls().end()),
            (Calls{"open HKCU\\K r", "open HKCU\\K w", "delete-value HKCU\\K : V", "close HKCU\\K",
                   "count-subkeys HKCU\\K", "close HKCU\\K"}));
}

TEST(UnregisterCalls, OpenFailureOtherThanNotFoundIsReportedAfterTheBlockIsRead) {
  MemoryRegistry registry;
  ScriptInterpreter interpreter(registry);
  ASSERT_EQ(interpreter.RunScript(u"HKCU { K { Sub } } HKCU { L }", true, {}), kHrOk);
  registry.FailCall(1, kErrorAccessDenied);
  EXPECT_EQ(HrText(interpreter.RunScript(u"HKCU { K { Sub } } HKCU { L }", false, {})), HrText(HResultFromError(5)));
  EXPECT_TRUE(registry.HasKey(u"HKCU\\K\\Sub"));
  EXPECT_TRUE(registry.HasKey(u"HKCU\\L"));  // nothing is rolled back or continued in unregistration
}

TEST(UnregisterCalls, ErrorInsideASkippedBlockIsDroppedAndReadingGoesOnFromThere) {
  MemoryRegistry registry;
  ScriptInterpreter interpreter(registry);
  ASSERT_EQ(interpreter.RunScript(u"HKCU { Other }", true, {}), kHrOk);
  // The bad name ends the skipped block early: "Other" is then read as an
  // item of HKCU and removed, and the brace left over as a root name.
  EXPECT_EQ(interpreter.RunScript(u"HKCU { Missing { Bad\\Name Other } }", false, {}), kHrDispException);
  EXPECT_FALSE(registry.HasKey(u"HKCU\\Other"));
}

TEST(Nesting, LimitHoldsInEveryMode) {
  std::u16string too_deep = u"HKCU";
  for (int i = 0; i < ScriptInterpreter::kMaxBlockDepth; ++i) too_deep += u" { K";
  too_deep += u" {";
  for (int i = 0; i <= ScriptInterpreter::kMaxBlockDepth; ++i) too_deep += u" }";
  MemoryRegistry registry;
  ScriptInterpreter interpreter(registry);
  // Unregistering keys that do not exist runs every level in recovery, where
  // other errors are dropped; this one is not.
  EXPECT_EQ(interpreter.RunScript(too_deep.c_str(), false, {}), kHrDispException);
  EXPECT_EQ(interpreter.RunScript(too_deep.c_str(), true, {}), kHrDispException);
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST(Nesting, DeeplyNestedTextFailsWithoutExhaustingTheStack) {
  std::u16string script = u"HKCU";
  for (int i = 0; i < 100000; ++i) script += u" { K";
  MemoryRegistry registry;
  EXPECT_EQ(ScriptInterpreter(registry).RunScript(script.c_str(), true, {}), kHrDispException);
  EXPECT_EQ(ScriptInterpreter(registry).RunScript(script.c_str(), false, {}), kHrDispException);
}

TEST(Values, LongMultiStringAndBinaryDataAreWrittenWhole) {
  MemoryRegistry registry;
  const std::u16string a(200, u'a'), b(300, u'b'), hex(600, u'F');
  const std::u16string script = u"HKCU { K { val M = m '" + a + u"\\0" + b + u"' val B = b '" + hex + u"' } }";
  ASSERT_EQ(ScriptInterpreter(registry).RunScript(script.c_str(), true, {}), kHrOk);
  const std::optional<StoredValue> multi = registry.GetValue(u"HKCU\\K", u"M");
  ASSERT_TRUE(multi.has_value());
  EXPECT_EQ(multi->type, kTypeMultiString);
  EXPECT_EQ(multi->data.size(), (200 + 1 + 300 + 1 + 1) * 2u);
  EXPECT_EQ(multi->data[400], 0);
  EXPECT_EQ(multi->data[402], 'b');
  const std::optional<StoredValue> binary = registry.GetValue(u"HKCU\\K", u"B");
  ASSERT_TRUE(binary.has_value());
  EXPECT_EQ(binary->data, std::vector<std::uint8_t>(300, 0xFF));
}

}  // namespace
}  // namespace scanmenu::script
