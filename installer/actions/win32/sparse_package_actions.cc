// The custom actions that deploy the Windows 11 sparse package
// (installer/actions/sparse_package.h), through the deployment API of the
// Windows Runtime at its binary interface (winrt_abi.h).
//
// The Windows Runtime calls run on a thread of their own, initialised for
// the multithreaded apartment: the action's own thread may already belong to
// an apartment of the installer's. The action waits for that thread within a
// bound, and only the action's thread talks to the installer: the worker
// hands its log lines back. A worker that outlives the bound keeps running on
// its own copy of everything it uses, in a module that stays loaded.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <process.h>
#include <stdlib.h>
#include <wrl/client.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/text/decimal.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "installer/actions/sparse_package.h"
#include "installer/actions/win32/installer_log.h"
#include "installer/actions/win32/winrt_abi.h"

namespace {

using installer::LogLines;
using Microsoft::WRL::ComPtr;
using winrt_abi::HString;

// Each deployment operation gets this long; the whole action somewhat more.
constexpr std::chrono::milliseconds kOperationLimit{120000};
constexpr std::chrono::milliseconds kActionLimit{300000};
constexpr std::chrono::milliseconds kPollInterval{50};

// HRESULTs of ERROR_TIMEOUT and ERROR_CANCELLED.
constexpr HRESULT kTimedOut = static_cast<HRESULT>(0x800705B4);
constexpr HRESULT kCancelled = static_cast<HRESULT>(0x800704C7);
static_assert(ERROR_TIMEOUT == 0x5B4 && ERROR_CANCELLED == 0x4C7);

using installer::LogLine;

// The functions of combase.dll the actions use, from System32 alone: the DLL
// is not a KnownDLL, and the installer's folder is not to supply one.
struct Combase {
  HRESULT(WINAPI* RoInitialize)(int type) = nullptr;
  void(WINAPI* RoUninitialize)() = nullptr;
  HRESULT(WINAPI* RoActivateInstance)(HString class_id, winrt_abi::IInspectable** instance) = nullptr;
  HRESULT(WINAPI* RoGetActivationFactory)(HString class_id, REFIID iid, void** factory) = nullptr;
  HRESULT(WINAPI* WindowsCreateString)(const wchar_t* text, UINT32 length, HString* string) = nullptr;
  HRESULT(WINAPI* WindowsDeleteString)(HString string) = nullptr;
  const wchar_t*(WINAPI* WindowsGetStringRawBuffer)(HString string, UINT32* length) = nullptr;

  bool Complete() const {
    return RoInitialize && RoUninitialize && RoActivateInstance && RoGetActivationFactory && WindowsCreateString &&
           WindowsDeleteString && WindowsGetStringRawBuffer;
  }
};

template <typename Function>
void Find(HMODULE module, const char* name, Function*& function) {
  function = reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// Loaded once per process; the DLL stays loaded.
const Combase& LoadCombase() {
  static const Combase combase = [] {
    Combase functions;
    HMODULE module = ::LoadLibraryExW(L"combase.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return functions;
    Find(module, "RoInitialize", functions.RoInitialize);
    Find(module, "RoUninitialize", functions.RoUninitialize);
    Find(module, "RoActivateInstance", functions.RoActivateInstance);
    Find(module, "RoGetActivationFactory", functions.RoGetActivationFactory);
    Find(module, "WindowsCreateString", functions.WindowsCreateString);
    Find(module, "WindowsDeleteString", functions.WindowsDeleteString);
    Find(module, "WindowsGetStringRawBuffer", functions.WindowsGetStringRawBuffer);
    return functions;
  }();
  return combase;
}

// An HSTRING and its owner.
class ScopedHString {
 public:
  explicit ScopedHString(const Combase& combase) : combase_(combase) {}
  ScopedHString(const ScopedHString&) = delete;
  ScopedHString& operator=(const ScopedHString&) = delete;
  ~ScopedHString() { reset(); }

  HRESULT Assign(const std::u16string& text) {
    reset();
    return combase_.WindowsCreateString(win32::Wide(text), static_cast<UINT32>(text.size()), &string_);
  }
  void reset() {
    if (string_ != nullptr) combase_.WindowsDeleteString(string_);
    string_ = nullptr;
  }
  HString get() const { return string_; }
  [[nodiscard]] HString* put() {
    reset();
    return &string_;
  }
  std::u16string Text() const {
    UINT32 length = 0;
    const wchar_t* buffer = combase_.WindowsGetStringRawBuffer(string_, &length);
    return buffer == nullptr ? std::u16string() : std::u16string(win32::Utf16(buffer), length);
  }

 private:
  const Combase& combase_;
  HString string_ = nullptr;
};

// `from` asked for `iid` into `to`: the interfaces here are declared by
// hand, with their ids beside them rather than attached to the types.
template <typename T>
HRESULT Query(IUnknown* from, const GUID& iid, ComPtr<T>& to) {
  if (from == nullptr) return E_POINTER;
  return from->QueryInterface(iid, reinterpret_cast<void**>(to.ReleaseAndGetAddressOf()));
}

// The deployment API of this thread's apartment.
class WinRtDeployment final : public installer::PackageDeployment {
 public:
  explicit WinRtDeployment(const Combase& combase) : combase_(combase) {
    ScopedHString class_id(combase_);
    ComPtr<winrt_abi::IInspectable> instance;
    activation_ = class_id.Assign(winrt_abi::kPackageManagerClass);
    if (SUCCEEDED(activation_)) activation_ = combase_.RoActivateInstance(class_id.get(), &instance);
    if (SUCCEEDED(activation_)) activation_ = Query(instance.Get(), winrt_abi::kIPackageManager, manager_);
    if (SUCCEEDED(activation_)) {
      // The later interfaces are asked for when used: each failure is the
      // failure of its own step.
      Query(manager_.Get(), winrt_abi::kIPackageManager2, manager2_);
      Query(manager_.Get(), winrt_abi::kIPackageManager6, manager6_);
      Query(manager_.Get(), winrt_abi::kIPackageManager8, manager8_);
      Query(manager_.Get(), winrt_abi::kIPackageManager9, manager9_);
    }
  }

  std::int32_t Stage(const std::u16string& package_uri, const std::u16string& external_uri) override {
    return ByUri(winrt_abi::kStagePackageOptionsClass, winrt_abi::kIStagePackageOptions, package_uri, external_uri,
                 &winrt_abi::IPackageManager9::StagePackageByUriAsync);
  }

  std::int32_t AddForCurrentUser(const std::u16string& package_uri, const std::u16string& external_uri) override {
    return ByUri(winrt_abi::kAddPackageOptionsClass, winrt_abi::kIAddPackageOptions, package_uri, external_uri,
                 &winrt_abi::IPackageManager9::AddPackageByUriAsync);
  }

  std::int32_t ProvisionForAllUsers(const std::u16string& family) override {
    if (!manager6_) return Missing();
    ScopedHString name(combase_);
    HRESULT hr = name.Assign(family);
    ComPtr<winrt_abi::IDeploymentOperation> operation;
    if (SUCCEEDED(hr)) hr = manager6_->ProvisionPackageForAllUsersAsync(name.get(), &operation);
    return SUCCEEDED(hr) ? Wait(operation.Get()) : hr;
  }

  std::int32_t DeprovisionForAllUsers(const std::u16string& family) override {
    if (!manager8_) return Missing();
    ScopedHString name(combase_);
    HRESULT hr = name.Assign(family);
    ComPtr<winrt_abi::IDeploymentOperation> operation;
    if (SUCCEEDED(hr)) hr = manager8_->DeprovisionPackageForAllUsersAsync(name.get(), &operation);
    return SUCCEEDED(hr) ? Wait(operation.Get()) : hr;
  }

  std::int32_t FindPackages(const std::u16string& name, const std::u16string& publisher,
                            std::vector<std::u16string>& full_names) override {
    if (!manager_) return Missing();
    ScopedHString name_string(combase_), publisher_string(combase_);
    HRESULT hr = name_string.Assign(name);
    if (SUCCEEDED(hr)) hr = publisher_string.Assign(publisher);
    ComPtr<winrt_abi::IPackageIterable> packages;
    if (SUCCEEDED(hr)) hr = manager_->FindPackagesByNamePublisher(name_string.get(), publisher_string.get(), &packages);
    ComPtr<winrt_abi::IPackageIterator> at;
    if (SUCCEEDED(hr)) hr = packages ? packages->First(&at) : E_POINTER;
    boolean more = FALSE;
    if (SUCCEEDED(hr)) hr = at ? at->get_HasCurrent(&more) : E_POINTER;
    while (SUCCEEDED(hr) && more) {
      ComPtr<winrt_abi::IPackage> package;
      ComPtr<winrt_abi::IPackageId> id;
      ScopedHString full_name(combase_);
      hr = at->get_Current(&package);
      if (SUCCEEDED(hr)) hr = package ? package->get_Id(&id) : E_POINTER;
      if (SUCCEEDED(hr)) hr = id ? id->get_FullName(full_name.put()) : E_POINTER;
      if (SUCCEEDED(hr)) full_names.push_back(full_name.Text());
      if (SUCCEEDED(hr)) hr = at->MoveNext(&more);
    }
    return hr;
  }

  std::int32_t Remove(const std::u16string& full_name, std::uint32_t options) override {
    if (!manager2_) return Missing();
    ScopedHString name(combase_);
    HRESULT hr = name.Assign(full_name);
    ComPtr<winrt_abi::IDeploymentOperation> operation;
    if (SUCCEEDED(hr)) hr = manager2_->RemovePackageWithOptionsAsync(name.get(), options, &operation);
    return SUCCEEDED(hr) ? Wait(operation.Get()) : hr;
  }

 private:
  using ByUriMethod = HRESULT (STDMETHODCALLTYPE winrt_abi::IPackageManager9::*)(winrt_abi::IInspectable*,
                                                                                 winrt_abi::IPackageOptionsHead*,
                                                                                 winrt_abi::IDeploymentOperation**);

  // The failure of a manager that could not be made, or that lacks the
  // interface of a step (a Windows older than the step).
  HRESULT Missing() const { return FAILED(activation_) ? activation_ : E_NOINTERFACE; }

  HRESULT MakeUri(const std::u16string& text, ComPtr<winrt_abi::IInspectable>& uri) {
    ScopedHString class_id(combase_), value(combase_);
    ComPtr<winrt_abi::IUriRuntimeClassFactory> factory;
    HRESULT hr = class_id.Assign(winrt_abi::kUriClass);
    if (SUCCEEDED(hr)) {
      hr = combase_.RoGetActivationFactory(class_id.get(), winrt_abi::kIUriRuntimeClassFactory,
                                           reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
    }
    if (SUCCEEDED(hr)) hr = value.Assign(text);
    if (SUCCEEDED(hr)) hr = factory->CreateUri(value.get(), &uri);
    return hr;
  }

  // Stage or add by URI, with the options of `options_class` naming the
  // external location.
  HRESULT ByUri(const char16_t* options_class, const GUID& options_iid, const std::u16string& package_uri,
                const std::u16string& external_uri, ByUriMethod method) {
    if (!manager9_) return Missing();
    ComPtr<winrt_abi::IInspectable> package, external, instance;
    ComPtr<winrt_abi::IPackageOptionsHead> options;
    ScopedHString class_id(combase_);
    HRESULT hr = MakeUri(package_uri, package);
    if (SUCCEEDED(hr)) hr = MakeUri(external_uri, external);
    if (SUCCEEDED(hr)) hr = class_id.Assign(options_class);
    if (SUCCEEDED(hr)) hr = combase_.RoActivateInstance(class_id.get(), &instance);
    if (SUCCEEDED(hr)) hr = Query(instance.Get(), options_iid, options);
    if (SUCCEEDED(hr)) hr = options->put_ExternalLocationUri(external.Get());
    ComPtr<winrt_abi::IDeploymentOperation> operation;
    if (SUCCEEDED(hr)) hr = (manager9_.Get()->*method)(package.Get(), options.Get(), &operation);
    return SUCCEEDED(hr) ? Wait(operation.Get()) : hr;
  }

  // Waits for the operation within kOperationLimit, polling its status; a
  // completed operation answers with its result's extended error code.
  static HRESULT Wait(winrt_abi::IDeploymentOperation* operation) {
    if (operation == nullptr) return E_POINTER;
    ComPtr<winrt_abi::IAsyncInfo> info;
    HRESULT hr = Query(operation, winrt_abi::kIAsyncInfo, info);
    if (FAILED(hr)) return hr;
    winrt_abi::AsyncStatus status = winrt_abi::kStarted;
    const auto deadline = std::chrono::steady_clock::now() + kOperationLimit;
    while (SUCCEEDED(hr = info->get_Status(&status)) && status == winrt_abi::kStarted) {
      if (std::chrono::steady_clock::now() >= deadline) {
        info->Cancel();
        info->Close();
        return kTimedOut;
      }
      ::Sleep(static_cast<DWORD>(kPollInterval.count()));
    }
    if (SUCCEEDED(hr)) {
      if (status == winrt_abi::kCompleted) {
        ComPtr<winrt_abi::IDeploymentResult> result;
        HRESULT extended = S_OK;
        hr = operation->GetResults(&result);
        if (SUCCEEDED(hr) && result && SUCCEEDED(result->get_ExtendedErrorCode(&extended))) hr = extended;
      } else if (status == winrt_abi::kError) {
        HRESULT code = E_FAIL;
        info->get_ErrorCode(&code);
        hr = FAILED(code) ? code : E_FAIL;
      } else {
        hr = kCancelled;
      }
    }
    info->Close();
    return hr;
  }

  const Combase& combase_;
  HRESULT activation_ = E_FAIL;
  ComPtr<winrt_abi::IPackageManager> manager_;
  ComPtr<winrt_abi::IPackageManager2> manager2_;
  ComPtr<winrt_abi::IPackageManager6> manager6_;
  ComPtr<winrt_abi::IPackageManager8> manager8_;
  ComPtr<winrt_abi::IPackageManager9> manager9_;
};

// What the action's thread and its worker share; the worker keeps its own
// reference, so an abandoned worker never touches freed memory.
struct WorkerState {
  std::function<LogLines(installer::PackageDeployment&)> body;
  win32::ScopedHandle token;  // the action thread's impersonation, if any
  std::mutex lock;
  LogLines lines;
};

unsigned __stdcall WorkerMain(void* parameter) {
  auto* handed = static_cast<std::shared_ptr<WorkerState>*>(parameter);
  const std::shared_ptr<WorkerState> state = std::move(*handed);
  delete handed;
  // A new thread runs as the process; an impersonating action's work is the
  // impersonated user's.
  if (state->token && !::SetThreadToken(nullptr, state->token.get())) {
    const std::lock_guard<std::mutex> hold(state->lock);
    state->lines.push_back(u"SparsePackage: could not take on the installing user's token (error " +
                           text::Decimal(::GetLastError()) + u")");
    return 0;
  }
  const Combase& combase = LoadCombase();
  LogLines lines;
  if (!combase.Complete()) {
    lines.push_back(u"SparsePackage: combase.dll or one of its functions is missing");
  } else {
    const HRESULT initialized = combase.RoInitialize(1 /* RO_INIT_MULTITHREADED */);
    if (FAILED(initialized)) {
      lines.push_back(u"SparsePackage: RoInitialize failed with " + installer::HresultText(initialized));
    } else {
      {
        WinRtDeployment deployment(combase);
        lines = state->body(deployment);
      }
      combase.RoUninitialize();
    }
  }
  if (state->token) ::RevertToSelf();
  const std::lock_guard<std::mutex> hold(state->lock);
  state->lines.insert(state->lines.end(), lines.begin(), lines.end());
  return 0;
}

// Runs `body` on a worker in the multithreaded apartment and logs its lines.
void RunOnWorker(MSIHANDLE install, std::function<LogLines(installer::PackageDeployment&)> body) {
  auto state = std::make_shared<WorkerState>();
  state->body = std::move(body);
  // No token (an action that does not impersonate) leaves the owner empty.
  ::OpenThreadToken(::GetCurrentThread(), TOKEN_IMPERSONATE | TOKEN_QUERY, TRUE, state->token.put());
  auto* parameter = new std::shared_ptr<WorkerState>(state);
  // _beginthreadex, not CreateThread, so that the C runtime sets up the
  // worker's own data; it answers 0 on failure, with the system's error in
  // _doserrno.
  win32::ScopedHandle thread(
      reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &WorkerMain, parameter, 0, nullptr)));
  if (!thread) {
    const unsigned long error = _doserrno;
    delete parameter;
    LogLine(install, u"SparsePackage: no thread for the deployment (error " + text::Decimal(error) + u")");
    return;
  }
  if (::WaitForSingleObject(thread.get(), static_cast<DWORD>(kActionLimit.count())) != WAIT_OBJECT_0) {
    // The worker may still call into this module: it stays loaded.
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&WorkerMain), &self);
    LogLine(install, u"SparsePackage: gave up waiting for the deployment after " +
                         text::Decimal(static_cast<std::uint64_t>(kActionLimit.count() / 1000)) + u" s");
  }
  const std::lock_guard<std::mutex> hold(state->lock);
  for (const std::u16string& line : state->lines) LogLine(install, line);
}

installer::SystemFacts ThisSystem() {
  installer::SystemFacts facts;
  // RtlGetVersion reports the real version, whatever the caller's manifest.
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto* get_version = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (get_version != nullptr && get_version(&version) == 0) facts.build = version.dwBuildNumber;
  facts.safe_mode = ::GetSystemMetrics(SM_CLEANBOOT) != 0;
  return facts;
}

std::u16string ActionData(MSIHANDLE install) {
  DWORD length = 0;
  wchar_t empty[1] = L"";
  if (::MsiGetPropertyW(install, L"CustomActionData", empty, &length) != ERROR_MORE_DATA) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  length = static_cast<DWORD>(text.size());
  if (::MsiGetPropertyW(install, L"CustomActionData", text.data(), &length) != ERROR_SUCCESS) return {};
  return std::u16string(win32::Utf16(text.c_str()), length);
}

// Whether this thread (or, without impersonation, this process) runs as
// LocalSystem, to whom the deployment service refuses a per-user add.
bool RunsAsLocalSystem() {
  win32::ScopedHandle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) &&
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    return false;
  }
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) return false;
  return ::IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) != FALSE;
}

// The frame of every action: the system check, the action data, the work.
UINT RunAction(MSIHANDLE install,
               LogLines (*work)(const installer::SparsePackageData&, installer::PackageDeployment&)) {
  if (const auto skip = installer::SkipReason(ThisSystem())) {
    LogLine(install, *skip);
    return ERROR_SUCCESS;
  }
  const auto data = installer::ParseSparsePackageData(ActionData(install));
  if (!data) {
    LogLine(install, u"SparsePackage: the action data is incomplete; nothing is done");
    return ERROR_SUCCESS;
  }
  RunOnWorker(install,
              [data = *data, work](installer::PackageDeployment& deployment) { return work(data, deployment); });
  return ERROR_SUCCESS;
}

}  // namespace

// Deferred, no impersonation, after the files are in place. Never fails.
extern "C" UINT __stdcall StageSparsePackage(MSIHANDLE install) {
  return RunAction(install, &installer::StageAndProvision);
}

// Deferred, impersonating the user who runs the installation. Never fails.
extern "C" UINT __stdcall AddSparsePackageForUser(MSIHANDLE install) {
  if (RunsAsLocalSystem()) {
    LogLine(install, u"SparsePackage: the installation runs as LocalSystem; every user gets the package at sign-in");
    return ERROR_SUCCESS;
  }
  return RunAction(install, &installer::AddForCurrentUser);
}

// Deferred, no impersonation, on a real removal, before the files go.
// Never fails.
extern "C" UINT __stdcall RemoveSparsePackage(MSIHANDLE install) {
  return RunAction(install, &installer::RemoveForAllUsers);
}
