// The COM server frame on its own, with a test class in the class table:
// the table walk, the cached class object, the instance wrappers and the
// module lock count.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include "scanmenu/module/win32/class_entry.h"
#include "scanmenu/module/win32/class_factory.h"
#include "scanmenu/module/win32/com_module_record.h"
#include "scanmenu/module/win32/create_instance.h"
#include "scanmenu/module/win32/dispatch_impl.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/object_root.h"
#include "scanmenu/module/win32/scanmenu_module.h"
#include "scanmenu_idl.h"

namespace scanmenu {
namespace {

// {0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}
const CLSID kTestClassId = {0x0f1e2d3c, 0x4b5a, 0x6978, {0x87, 0x96, 0xa5, 0xb4, 0xc3, 0xd2, 0xe1, 0xf0}};
// {11111111-2222-3333-4444-555555555555}: a class listed without a class-object creator.
const CLSID kNoCreatorClassId = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// A class with two interfaces and a dual one it does not hand out, like the
// handler. Its destructor notes the lock count while its members are freed.
class CTestObject : public CDispatchImpl<IVeltraneContextMenuHandler, &IID_IVeltraneContextMenuHandler>,
                    public IPersist,
                    public IOleWindow,
                    public CObjectRoot<SingleThreadModel> {
 public:
  static inline int live = 0;
  static inline LONG lock_count_at_destruction = -1;

  static const InterfaceEntry* GetEntries() {
    static const InterfaceEntry kEntries[] = {
        {&IID_IPersist, OffsetOfClass<IPersist, CTestObject>(), kSimpleEntry},
        {&IID_IOleWindow, OffsetOfClass<IOleWindow, CTestObject>(), kSimpleEntry},
        {nullptr, 0, 0},
    };
    return kEntries;
  }

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    *id = kTestClassId;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    *window = nullptr;
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // The dual interface, reached without a query, for the type information.
  IVeltraneContextMenuHandler* dual() { return this; }

 protected:
  CTestObject() { ++live; }
  ~CTestObject() {
    --live;
    lock_count_at_destruction = Module().LockCount();
  }
};

ClassObjectCache g_testCache = {nullptr, 0};
ClassEntry g_testEntry = {
    &kTestClassId, nullptr, &CreateClassObject, &CreateInstanceOf<CTestObject>, &g_testCache, nullptr,
    nullptr,       nullptr};
ClassObjectCache g_noCreatorCache = {nullptr, 0};
ClassEntry g_noCreatorEntry = {&kNoCreatorClassId, nullptr, nullptr, &CreateInstanceOf<CTestObject>,
                               &g_noCreatorCache,  nullptr, nullptr, nullptr};

}  // namespace

ClassEntry* const g_classTable[] = {nullptr, &g_noCreatorEntry, &g_testEntry};
extern const std::size_t g_classCount = 3;

namespace {

LONG Locks() { return Module().LockCount(); }

using Microsoft::WRL::ComPtr;

ComPtr<IClassFactory> GetFactory() {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(ComModule().GetClassObject(kTestClassId, IID_IClassFactory, &factory), S_OK);
  return factory;
}

// An outer object that counts what reaches it.
class Outer final : public IUnknown {
 public:
  ULONG refs() const { return refs_; }
  int queries() const { return queries_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    ++queries_;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

 private:
  ULONG refs_ = 1;
  int queries_ = 0;
};

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { baseline_ = Locks(); }
  void TearDown() override {
    EXPECT_EQ(Locks(), baseline_);
    EXPECT_EQ(CTestObject::live, 0);
  }
  LONG baseline_ = 0;
};

TEST_F(ModuleTest, TheTableWalkAnswersIUnknownWithTheFirstRowAndRefusesTheRest) {
  ComPtr<IClassFactory> factory = GetFactory();
  ComPtr<IPersist> persist;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &persist), S_OK);
  ComPtr<IUnknown> identity;
  ASSERT_EQ(persist->QueryInterface(IID_IUnknown, &identity), S_OK);
  EXPECT_EQ(static_cast<void*>(identity.Get()), static_cast<void*>(persist.Get()));
  ComPtr<IOleWindow> window;
  ASSERT_EQ(persist->QueryInterface(IID_IOleWindow, &window), S_OK);
  EXPECT_NE(static_cast<void*>(window.Get()), static_cast<void*>(persist.Get()));

  for (const IID* refused : {&IID_IDispatch, &IID_IVeltraneContextMenuHandler, &IID_IClassFactory}) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(persist->QueryInterface(*refused, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(persist->QueryInterface(IID_IPersist, nullptr), E_POINTER);
  void* out = nullptr;
  EXPECT_EQ(InternalQueryInterface(nullptr, CTestObject::GetEntries(), IID_IPersist, &out), E_INVALIDARG);
  EXPECT_EQ(InternalQueryInterface(persist.Get(), nullptr, IID_IPersist, &out), E_INVALIDARG);

  window.Reset();
  identity.Reset();
  EXPECT_EQ(persist.Reset(), 0u);
  factory.Reset();
}

TEST_F(ModuleTest, TheClassObjectIsCachedAndOnlyFurtherReferencesLockTheModule) {
  ComPtr<IClassFactory> first = GetFactory();
  EXPECT_EQ(Locks(), baseline_ + 1);
  ComPtr<IClassFactory> second = GetFactory();
  EXPECT_EQ(first.Get(), second.Get());
  IClassFactory* const cached = first.Get();
  // Client references together hold one lock: taken on the first, given
  // back when the last one goes.
  EXPECT_EQ(Locks(), baseline_ + 1);
  second.Reset();
  first.Reset();
  EXPECT_EQ(Locks(), baseline_);

  // A refused query leaves the cached object in place.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(ComModule().GetClassObject(kTestClassId, IID_IPersist, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(GetFactory().Get(), cached);
}

TEST_F(ModuleTest, UnknownClassesRowsWithoutCreatorAndNullOutPointersAreRefused) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(ComModule().GetClassObject(IID_IPersist, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(ComModule().GetClassObject(kNoCreatorClassId, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(ComModule().GetClassObject(kTestClassId, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(CreateClassObject(&CreateInstanceOf<CTestObject>, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ModuleTest, CreateInstanceChecksItsArgumentsAndAggregation) {
  const ComPtr<IClassFactory> factory = GetFactory();
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, nullptr), E_POINTER);
  Outer outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IPersist, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  // Asking a new object for an interface it lacks destroys it again.
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CTestObject::live, 0);
}

TEST_F(ModuleTest, AnInstanceLocksTheModuleUntilItsMembersAreFreed) {
  GetFactory().Reset();
  ComPtr<IPersist> persist;
  ASSERT_EQ(CreateInstanceOf<CTestObject>(nullptr, IID_IPersist, &persist), S_OK);
  EXPECT_EQ(Locks(), baseline_ + 1);
  EXPECT_EQ(persist.Get()->AddRef(), 2u);
  EXPECT_EQ(persist.Get()->Release(), 1u);
  CTestObject::lock_count_at_destruction = -1;
  EXPECT_EQ(persist.Reset(), 0u);
  EXPECT_GT(CTestObject::lock_count_at_destruction, baseline_);
}

TEST_F(ModuleTest, AnAggregatedInstanceForwardsItsInterfacesToTheOuterObject) {
  Outer outer;
  ComPtr<IUnknown> inner;
  ASSERT_EQ(GetFactory()->CreateInstance(&outer, IID_IUnknown, &inner), S_OK);
  EXPECT_EQ(outer.refs(), 1u);

  // The non-delegating unknown answers IUnknown with itself.
  ComPtr<IUnknown> self;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, &self), S_OK);
  EXPECT_EQ(self.Get(), inner.Get());
  self.Reset();

  ComPtr<IPersist> persist;
  ASSERT_EQ(inner->QueryInterface(IID_IPersist, &persist), S_OK);
  EXPECT_EQ(outer.refs(), 2u);
  ComPtr<IPersist> copy = persist;  // AddRef
  EXPECT_EQ(outer.refs(), 3u);
  copy.Reset();
  ComPtr<IUnknown> through;
  ASSERT_EQ(persist->QueryInterface(IID_IUnknown, &through), S_OK);
  EXPECT_EQ(through.Get(), &outer);
  EXPECT_EQ(outer.queries(), 1);
  through.Reset();
  persist.Reset();
  EXPECT_EQ(outer.refs(), 1u);

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(inner->QueryInterface(IID_IVeltraneContextMenuHandler, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Locks(), baseline_ + 1);
  EXPECT_EQ(inner.Reset(), 0u);
}

TEST_F(ModuleTest, LockServerCountsEitherWayAndTheCountMayGoBelowZero) {
  ComPtr<IClassFactory> factory = GetFactory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(Locks(), baseline_ + 2);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  IClassFactory* const cached = factory.Get();
  factory.Reset();
  EXPECT_EQ(Locks(), baseline_);
  EXPECT_EQ(cached->LockServer(FALSE), S_OK);  // the cache still holds it
  EXPECT_EQ(Locks(), baseline_ - 1);
  EXPECT_NE(Locks(), 0);
  Module().LockModule();
}

TEST_F(ModuleTest, TheDualInterfaceServesItsTypeInformationFromTheTypeLibrary) {
  ComPtr<IPersist> persist;
  ASSERT_EQ(CreateInstanceOf<CTestObject>(nullptr, IID_IPersist, &persist), S_OK);
  IVeltraneContextMenuHandler* dual = static_cast<CTestObject*>(persist.Get())->dual();

  UINT count = 0;
  ASSERT_EQ(dual->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(dual->GetTypeInfo(0, 0, &info), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IVeltraneContextMenuHandler));
  EXPECT_NE(attributes->wTypeFlags & TYPEFLAG_FDUAL, 0);
  info->ReleaseTypeAttr(attributes);

  ComPtr<ITypeInfo> cached;
  ASSERT_EQ(dual->GetTypeInfo(0, 0, &cached), S_OK);
  EXPECT_EQ(cached.Get(), info.Get());
  cached.Reset();
  info.Reset();

  ITypeInfo* refused = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(dual->GetTypeInfo(1, 0, &refused), DISP_E_BADINDEX);
  EXPECT_EQ(refused, nullptr);
  wchar_t name[] = L"NoSuchMember";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_EQ(dual->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
}

}  // namespace
}  // namespace scanmenu
