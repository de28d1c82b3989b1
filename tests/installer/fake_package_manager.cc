// Test support: a stand-in for the Windows Runtime's package deployment,
// which Wine does not have. Registered under
// HKLM\Software\Microsoft\WindowsRuntime\ActivatableClassId\<class> (DllPath)
// for PackageManager, StagePackageOptions, AddPackageOptions and Uri, it
// writes one line per deployment call to calls.txt beside itself:
//   stage <package uri> <external location uri>
//   provision <family>            add <package uri> <external location uri>
//   deprovision <family>          find <name>|<publisher>
//   remove <full name> <removal options>
// Every operation completes at once; with fail.txt beside it (an HRESULT in
// hexadecimal), each fails with that code instead. FindPackages answers two
// versions of the name asked for.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer/actions/win32/winrt_abi.h"

namespace {

using namespace winrt_abi;

// Asked of a Uri made here for its text.
constexpr GUID kFakeUriText = {0x5D2B0C7E, 0x1F4A, 0x4E8B, {0x9B, 0x61, 0x33, 0x0A, 0x7C, 0x52, 0xE1, 0x04}};

HMODULE g_module = nullptr;

std::wstring Beside(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(g_module, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

void Record(const std::wstring& line) {
  FILE* file = _wfopen(Beside(L"calls.txt").c_str(), L"ab");
  if (file == nullptr) return;
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
  std::fprintf(file, "%s\n", utf8.c_str());
  std::fclose(file);
}

HRESULT FailCode() {
  FILE* file = _wfopen(Beside(L"fail.txt").c_str(), L"rb");
  if (file == nullptr) return S_OK;
  char text[32] = {};
  std::fread(text, 1, sizeof(text) - 1, file);
  std::fclose(file);
  return static_cast<HRESULT>(std::strtoul(text, nullptr, 16));
}

std::wstring Text(HString string) {
  using Raw = const wchar_t*(WINAPI*)(HString, UINT32*);
  static auto raw = reinterpret_cast<Raw>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"combase.dll"), "WindowsGetStringRawBuffer")));
  UINT32 length = 0;
  const wchar_t* buffer = string != nullptr && raw != nullptr ? raw(string, &length) : nullptr;
  return buffer == nullptr ? std::wstring() : std::wstring(buffer, length);
}

bool Is(REFIID iid, const GUID& other) { return ::IsEqualGUID(iid, other) != FALSE; }

// Reference counting and IInspectable for every object here.
template <typename... Bases>
class Object : public Bases... {
 public:
  virtual ~Object() = default;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetIids(ULONG* count, GUID** iids) override {
    *count = 0;
    *iids = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HString* name) override {
    *name = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(int* level) override {
    *level = 0;
    return S_OK;
  }

 protected:
  template <typename Interface>
  HRESULT Hand(Interface* self, void** out) {
    *out = self;
    AddRef();
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
};

class FakeUri final : public Object<IInspectable> {
 public:
  explicit FakeUri(std::wstring text) : text_(std::move(text)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (Is(iid, IID_IUnknown) || Is(iid, kIInspectable) || Is(iid, kFakeUriText)) return Hand(this, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  const std::wstring& text() const { return text_; }

 private:
  std::wstring text_;
};

std::wstring UriText(IInspectable* uri) {
  void* fake = nullptr;
  if (uri == nullptr || FAILED(uri->QueryInterface(kFakeUriText, &fake))) return L"(not a Uri)";
  std::wstring text = static_cast<FakeUri*>(static_cast<IInspectable*>(fake))->text();
  static_cast<IInspectable*>(fake)->Release();
  return text;
}

class FakeOptions final : public Object<IPackageOptionsHead> {
 public:
  explicit FakeOptions(const GUID& iid) : iid_(iid) {}
  ~FakeOptions() override {
    if (external_ != nullptr) external_->Release();
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (Is(iid, IID_IUnknown) || Is(iid, kIInspectable) || Is(iid, iid_)) return Hand(this, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE get_DependencyPackageUris(Unused*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TargetVolume(Unused*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_TargetVolume(Unused) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_OptionalPackageFamilyNames(Unused*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_OptionalPackageUris(Unused*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RelatedPackageUris(Unused*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ExternalLocationUri(IInspectable** uri) override {
    *uri = external_;
    if (external_ != nullptr) external_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ExternalLocationUri(IInspectable* uri) override {
    if (uri != nullptr) uri->AddRef();
    if (external_ != nullptr) external_->Release();
    external_ = uri;
    return S_OK;
  }

 private:
  GUID iid_;
  IInspectable* external_ = nullptr;
};

class FakeResult final : public Object<IDeploymentResult> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (Is(iid, IID_IUnknown) || Is(iid, kIInspectable) || Is(iid, kIDeploymentResult)) return Hand(this, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE get_ErrorText(HString* text) override {
    *text = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ActivityId(GUID* id) override {
    *id = GUID{};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ExtendedErrorCode(HRESULT* code) override {
    *code = S_OK;
    return S_OK;
  }
};

// An operation already over: completed, or failed with `code`.
class FakeOperation final : public Object<IDeploymentOperation, IAsyncInfo> {
 public:
  explicit FakeOperation(HRESULT code) : code_(code) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (Is(iid, IID_IUnknown) || Is(iid, kIInspectable)) return Hand(static_cast<IDeploymentOperation*>(this), out);
    if (Is(iid, kIAsyncInfo)) return Hand(static_cast<IAsyncInfo*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE put_Progress(Unused) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_Progress(Unused*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Completed(Unused) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Completed(Unused*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetResults(IDeploymentResult** result) override {
    *result = SUCCEEDED(code_) ? new FakeResult : nullptr;
    return SUCCEEDED(code_) ? S_OK : code_;
  }
  HRESULT STDMETHODCALLTYPE get_Id(std::uint32_t* id) override {
    *id = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Status(AsyncStatus* status) override {
    *status = SUCCEEDED(code_) ? kCompleted : kError;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT* code) override {
    *code = code_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Cancel() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close() override { return S_OK; }

 private:
  HRESULT code_;
};

HRESULT Operation(const std::wstring& call, IDeploymentOperation** operation) {
  Record(call);
  *operation = new FakeOperation(FailCode());
  return S_OK;
}

class FakePackage final : public Object<IPackage, IPackageId> {
 public:
  explicit FakePackage(std::wstring full_name) : full_name_(std::move(full_name)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (Is(iid, IID_IUnknown) || Is(iid, kIInspectable) || Is(iid, kIPackage)) {
      return Hand(static_cast<IPackage*>(this), out);
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE get_Id(IPackageId** id) override {
    return Hand(static_cast<IPackageId*>(this), (void**)id);
  }
  HRESULT STDMETHODCALLTYPE get_Name(HString*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Version(Unused) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Architecture(Unused) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ResourceId(HString*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Publisher(HString*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PublisherId(HString*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FullName(HString* value) override {
    using Create = HRESULT(WINAPI*)(const wchar_t*, UINT32, HString*);
    static auto create = reinterpret_cast<Create>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"combase.dll"), "WindowsCreateString")));
    return create(full_name_.c_str(), static_cast<UINT32>(full_name_.size()), value);
  }
  HRESULT STDMETHODCALLTYPE get_FamilyName(HString*) override { return E_NOTIMPL; }

 private:
  std::wstring full_name_;
};

// Both the iterable and its one iterator.
class FakePackages final : public Object<IPackageIterable, IPackageIterator> {
 public:
  explicit FakePackages(std::vector<std::wstring> names) : names_(std::move(names)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (Is(iid, IID_IUnknown) || Is(iid, kIInspectable)) return Hand(static_cast<IPackageIterable*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE First(IPackageIterator** first) override {
    at_ = 0;
    return Hand(static_cast<IPackageIterator*>(this), (void**)first);
  }
  HRESULT STDMETHODCALLTYPE get_Current(IPackage** current) override {
    if (at_ >= names_.size()) return static_cast<HRESULT>(0x8000000B);  // E_BOUNDS
    *current = new FakePackage(names_[at_]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HasCurrent(boolean* has) override {
    *has = at_ < names_.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveNext(boolean* has) override {
    ++at_;
    return get_HasCurrent(has);
  }

 private:
  std::vector<std::wstring> names_;
  std::size_t at_ = 0;
};

class FakeManager final
    : public Object<IPackageManager, IPackageManager2, IPackageManager6, IPackageManager8, IPackageManager9> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (Is(iid, IID_IUnknown) || Is(iid, kIInspectable) || Is(iid, kIPackageManager)) {
      return Hand(static_cast<IPackageManager*>(this), out);
    }
    if (Is(iid, kIPackageManager2)) return Hand(static_cast<IPackageManager2*>(this), out);
    if (Is(iid, kIPackageManager6)) return Hand(static_cast<IPackageManager6*>(this), out);
    if (Is(iid, kIPackageManager8)) return Hand(static_cast<IPackageManager8*>(this), out);
    if (Is(iid, kIPackageManager9)) return Hand(static_cast<IPackageManager9*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE AddPackageAsync(Unused, Unused, std::uint32_t, IDeploymentOperation**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UpdatePackageAsync(Unused, Unused, std::uint32_t, IDeploymentOperation**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE RemovePackageAsync(HString, IDeploymentOperation**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE StagePackageAsync(Unused, Unused, IDeploymentOperation**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterPackageAsync(Unused, Unused, std::uint32_t, IDeploymentOperation**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindPackages(IPackageIterable**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindPackagesByUserSecurityId(HString, IPackageIterable**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindPackagesByNamePublisher(HString name, HString publisher,
                                                        IPackageIterable** packages) override {
    Record(L"find " + Text(name) + L"|" + Text(publisher));
    if (FAILED(FailCode())) return FailCode();
    *packages = new FakePackages({Text(name) + L"_0.0.1.0_x64__fake", Text(name) + L"_1.0.0.0_x64__fake"});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RemovePackageWithOptionsAsync(HString full_name, std::uint32_t options,
                                                          IDeploymentOperation** operation) override {
    return Operation(L"remove " + Text(full_name) + L" " + std::to_wstring(options), operation);
  }
  HRESULT STDMETHODCALLTYPE ProvisionPackageForAllUsersAsync(HString family,
                                                             IDeploymentOperation** operation) override {
    return Operation(L"provision " + Text(family), operation);
  }
  HRESULT STDMETHODCALLTYPE DeprovisionPackageForAllUsersAsync(HString family,
                                                               IDeploymentOperation** operation) override {
    return Operation(L"deprovision " + Text(family), operation);
  }
  HRESULT STDMETHODCALLTYPE FindProvisionedPackages(Unused*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddPackageByUriAsync(IInspectable* uri, IPackageOptionsHead* options,
                                                 IDeploymentOperation** operation) override {
    return Operation(L"add " + UriText(uri) + L" " + External(options), operation);
  }
  HRESULT STDMETHODCALLTYPE StagePackageByUriAsync(IInspectable* uri, IPackageOptionsHead* options,
                                                   IDeploymentOperation** operation) override {
    return Operation(L"stage " + UriText(uri) + L" " + External(options), operation);
  }

 private:
  static std::wstring External(IPackageOptionsHead* options) {
    IInspectable* uri = nullptr;
    if (options == nullptr || FAILED(options->get_ExternalLocationUri(&uri))) return L"(no options)";
    std::wstring text = UriText(uri);
    if (uri != nullptr) uri->Release();
    return text;
  }
};

enum class Kind { kManager, kStageOptions, kAddOptions, kUri };

class FakeFactory final : public Object<IActivationFactory, IUriRuntimeClassFactory> {
 public:
  explicit FakeFactory(Kind kind) : kind_(kind) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (Is(iid, IID_IUnknown) || Is(iid, kIInspectable) || Is(iid, kIActivationFactory)) {
      return Hand(static_cast<IActivationFactory*>(this), out);
    }
    if (kind_ == Kind::kUri && Is(iid, kIUriRuntimeClassFactory)) {
      return Hand(static_cast<IUriRuntimeClassFactory*>(this), out);
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) override {
    switch (kind_) {
      case Kind::kManager:
        *instance = static_cast<IPackageManager*>(new FakeManager);
        return S_OK;
      case Kind::kStageOptions:
        *instance = new FakeOptions(kIStagePackageOptions);
        return S_OK;
      case Kind::kAddOptions:
        *instance = new FakeOptions(kIAddPackageOptions);
        return S_OK;
      default:
        *instance = nullptr;
        return E_NOTIMPL;
    }
  }
  HRESULT STDMETHODCALLTYPE CreateUri(HString uri, IInspectable** instance) override {
    *instance = new FakeUri(Text(uri));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateWithRelativeUri(HString, HString, IInspectable**) override { return E_NOTIMPL; }

 private:
  Kind kind_;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetActivationFactory(HString class_id, IActivationFactory** factory) {
  const std::wstring name = Text(class_id);
  const std::u16string wanted(name.begin(), name.end());
  Kind kind;
  if (wanted == kPackageManagerClass) {
    kind = Kind::kManager;
  } else if (wanted == kStagePackageOptionsClass) {
    kind = Kind::kStageOptions;
  } else if (wanted == kAddPackageOptionsClass) {
    kind = Kind::kAddOptions;
  } else if (wanted == kUriClass) {
    kind = Kind::kUri;
  } else {
    *factory = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  *factory = new FakeFactory(kind);
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }
