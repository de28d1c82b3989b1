// The registration sequence of the module with a class table of its own:
// the registrar, the type library found beside the program when the program
// holds none, and the order in which failures stop registration and
// unregistration. The program embeds the module script but neither the class
// script nor a type library.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "scanmenu/module/win32/class_entry.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/reg_object.h"
#include "scanmenu/module/win32/registration.h"
#include "scanmenu/module/win32/scanmenu_module.h"
#include "scanmenu_idl.h"

namespace scanmenu {
namespace {

// {6B0C2E51-93A7-4D18-B2F4-0C5E7A91D3B6}
const CLSID kTestClassId = {0x6b0c2e51, 0x93a7, 0x4d18, {0xb2, 0xf4, 0x0c, 0x5e, 0x7a, 0x91, 0xd3, 0xb6}};

// What the class's registration function does and was asked.
HRESULT g_classResult = S_OK;
int g_registerCalls = 0;
int g_unregisterCalls = 0;

HRESULT UpdateTestClass(bool do_register) {
  ++(do_register ? g_registerCalls : g_unregisterCalls);
  return g_classResult;
}

ClassEntry g_testEntry = {&kTestClassId, &UpdateTestClass, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

ClassEntry* const g_classTable[] = {nullptr, &g_testEntry, nullptr};
extern const std::size_t g_classCount = 3;

namespace {

const wchar_t kTypeLibVersionKey[] = L"TypeLib\\{9E41B7C2-5D03-4A6E-8F19-2C7B0D64E3A5}\\1.0";

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring BesideProgram(const wchar_t* name) {
  const std::wstring path = ProgramPath();
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// The program's ".tlb": a copy of the type library the build compiled.
std::wstring ProgramTypeLibrary() {
  const std::wstring path = ProgramPath();
  return path.substr(0, path.find_last_of(L'.')) + L".tlb";
}

bool TypeLibraryRegistered() {
  win32::RegistryKey key;
  return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, kTypeLibVersionKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// --- the registrar ---------------------------------------------------------------

TEST(CRegObjectTest, KeepsCopiesInOrderRefusesNullsAndCountsNothing) {
  CRegObject registrar;
  EXPECT_EQ(registrar.AddRef(), 1u);
  EXPECT_EQ(registrar.Release(), 0u);
  EXPECT_EQ(registrar.Release(), 0u);
  void* out = &registrar;
  EXPECT_EQ(registrar.QueryInterface(IID_IUnknown, &out), E_NOTIMPL);

  wchar_t text[] = L"first";
  EXPECT_EQ(registrar.AddSubstitution(L"Name", text), S_OK);
  text[0] = L'X';  // the registrar holds its own copy
  EXPECT_EQ(registrar.AddSubstitution(nullptr, L"text"), E_INVALIDARG);
  EXPECT_EQ(registrar.AddSubstitution(L"Other", nullptr), E_INVALIDARG);
  EXPECT_EQ(registrar.AddSubstitution(L"NAME", L"second"), S_OK);
  EXPECT_EQ(registrar.AddSubstitution(L"Empty", L""), S_OK);
  ASSERT_EQ(registrar.substitutions().size(), 3u);
  // Looked up ignoring case, the first match wins.
  const script::Substitution* found = script::FindSubstitution(registrar.substitutions(), u"name");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->text, u"first");

  EXPECT_EQ(registrar.ClearSubstitutions(), S_OK);
  EXPECT_TRUE(registrar.substitutions().empty());
}

TEST(CRegObjectTest, TheModuleAddsItsApplicationId) {
  CRegObject registrar;
  EXPECT_EQ(Module().AddStandardSubstitutions(&registrar), S_OK);
  ASSERT_EQ(registrar.substitutions().size(), 1u);
  EXPECT_EQ(registrar.substitutions()[0].name, u"APPID");
  EXPECT_EQ(registrar.substitutions()[0].text, u"{C4D2197E-0B63-4A8F-B51D-93E6F27A0C14}");
}

// --- scripts and type library of a program without them ---------------------------

TEST(RegistrationResourcesTest, AMissingScriptGivesTheResourceLookupsError) {
  EXPECT_EQ(RunRegistrationScript(201, true, nullptr), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
  // The module script is here: it names the classes root and nothing else.
  const RegistrationEntry entries[] = {{L"APPID", L"{C4D2197E-0B63-4A8F-B51D-93E6F27A0C14}"}, {nullptr, nullptr}};
  EXPECT_EQ(RunRegistrationScript(200, true, entries), S_OK);
  EXPECT_EQ(RunRegistrationScript(200, false, nullptr), S_OK);
}

class TypeLibraryBesideTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(::CopyFileW(BesideProgram(L"VeltraneScanmenuLib.tlb").c_str(), ProgramTypeLibrary().c_str(), FALSE));
  }
  void TearDown() override {
    ::UnRegisterTypeLib(LIBID_VeltraneScanmenuLib, 1, 0, 0x0409, SYS_WIN64);
    ::DeleteFileW(ProgramTypeLibrary().c_str());
    g_classResult = S_OK;
  }
};

TEST_F(TypeLibraryBesideTest, LoadsFromTheTlbBesideTheProgramAndFailsAsLoadTypeLibWithoutIt) {
  BSTR path = reinterpret_cast<BSTR>(1);
  ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(LoadModuleTypeLibrary(nullptr, &library), E_POINTER);
  EXPECT_EQ(LoadModuleTypeLibrary(&path, nullptr), E_POINTER);

  Microsoft::WRL::ComPtr<ITypeLib> loaded;
  ASSERT_EQ(LoadModuleTypeLibrary(&path, &loaded), S_OK);
  EXPECT_STREQ(path, ProgramTypeLibrary().c_str());
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(loaded->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_VeltraneScanmenuLib));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0x0409u);
  loaded->ReleaseTLibAttr(attr);
  loaded.Reset();
  ::SysFreeString(path);

  ASSERT_TRUE(::DeleteFileW(ProgramTypeLibrary().c_str()));
  ITypeLib* direct = nullptr;
  const HRESULT expected = ::LoadTypeLib(ProgramTypeLibrary().c_str(), &direct);
  ASSERT_TRUE(FAILED(expected));
  EXPECT_EQ(LoadModuleTypeLibrary(&path, &library), expected);
  EXPECT_EQ(path, nullptr);
  EXPECT_EQ(library, nullptr);
  EXPECT_EQ(RegisterTypeLibrary(), expected);
  EXPECT_EQ(UnregisterTypeLibrary(), expected);
}

// --- the order of the steps ----------------------------------------------------

TEST_F(TypeLibraryBesideTest, AFailedClassRegistrationStopsBeforeTheTypeLibrary) {
  g_registerCalls = g_unregisterCalls = 0;
  g_classResult = E_ACCESSDENIED;
  EXPECT_EQ(RegisterServer(), E_ACCESSDENIED);
  EXPECT_EQ(g_registerCalls, 1);  // null rows skipped
  EXPECT_FALSE(TypeLibraryRegistered());

  g_classResult = S_OK;
  EXPECT_EQ(RegisterServer(), S_OK);
  EXPECT_EQ(g_registerCalls, 2);
  EXPECT_TRUE(TypeLibraryRegistered());
  EXPECT_EQ(g_unregisterCalls, 0);
}

TEST_F(TypeLibraryBesideTest, AFailedClassUnregistrationKeepsTheTypeLibraryRegistered) {
  ASSERT_EQ(RegisterServer(), S_OK);
  g_registerCalls = g_unregisterCalls = 0;
  g_classResult = E_ACCESSDENIED;
  EXPECT_EQ(UnregisterServer(), E_ACCESSDENIED);
  EXPECT_TRUE(TypeLibraryRegistered());

  g_classResult = S_OK;
  EXPECT_EQ(UnregisterServer(), S_OK);
  EXPECT_FALSE(TypeLibraryRegistered());
  EXPECT_EQ(g_unregisterCalls, 2);
  EXPECT_EQ(g_registerCalls, 0);
  // Nothing to take away any more: the platform's answer for the type
  // library decides, after the class has been asked again.
  EXPECT_EQ(UnregisterServer(), ::UnRegisterTypeLib(LIBID_VeltraneScanmenuLib, 1, 0, 0x0409, SYS_WIN64));
  EXPECT_EQ(g_unregisterCalls, 3);
}

}  // namespace
}  // namespace scanmenu
