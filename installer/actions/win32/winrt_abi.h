// The few Windows Runtime interfaces the package's custom actions call, at
// the binary interface: each declared from its documented interface id and
// method order (the order of the type's members in Windows' metadata; a
// property's get comes before its put). Methods this code never calls keep
// their slots with placeholder declarations. Text crosses as HSTRING, made
// and freed by combase.dll (see package_deployment.cc).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstdint>

namespace winrt_abi {

// An HSTRING: an opaque handle of combase.dll.
struct HStringHeader;
using HString = HStringHeader*;

// Parameters of methods that are never called here.
using Unused = void*;

// IInspectable {AF86E2E0-B12D-4C6A-9C5A-D7AA65101E90}
inline constexpr GUID kIInspectable = {0xAF86E2E0, 0xB12D, 0x4C6A, {0x9C, 0x5A, 0xD7, 0xAA, 0x65, 0x10, 0x1E, 0x90}};
struct IInspectable : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetIids(ULONG* count, GUID** iids) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HString* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTrustLevel(int* level) = 0;
};

// IActivationFactory {00000035-0000-0000-C000-000000000046}
inline constexpr GUID kIActivationFactory = {0x00000035, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
struct IActivationFactory : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) = 0;
};

// Windows.Foundation.AsyncStatus
enum AsyncStatus : std::int32_t { kStarted = 0, kCompleted = 1, kCanceled = 2, kError = 3 };

// IAsyncInfo {00000036-0000-0000-C000-000000000046}
inline constexpr GUID kIAsyncInfo = {0x00000036, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
struct IAsyncInfo : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Id(std::uint32_t* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Status(AsyncStatus* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT* code) = 0;
  virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

// Windows.Management.Deployment.IDeploymentResult
// {2563B9AE-B77D-4C1F-8A7B-20E6AD515EF3}
inline constexpr GUID kIDeploymentResult = {
    0x2563B9AE, 0xB77D, 0x4C1F, {0x8A, 0x7B, 0x20, 0xE6, 0xAD, 0x51, 0x5E, 0xF3}};
struct IDeploymentResult : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_ErrorText(HString* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ActivityId(GUID* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ExtendedErrorCode(HRESULT* code) = 0;
};

// IAsyncOperationWithProgress<DeploymentResult, DeploymentProgress>, as
// every deployment method returns it. Its interface id is derived from its
// type arguments and is never needed: the methods hand the pointer out
// directly, and the wait goes through IAsyncInfo.
struct IDeploymentOperation : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE put_Progress(Unused handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Progress(Unused* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Completed(Unused handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Completed(Unused* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResults(IDeploymentResult** result) = 0;
};

// Windows.ApplicationModel.IPackageId {1ADB665E-37C7-4790-9980-DD7AE74E8BB2}
inline constexpr GUID kIPackageId = {0x1ADB665E, 0x37C7, 0x4790, {0x99, 0x80, 0xDD, 0x7A, 0xE7, 0x4E, 0x8B, 0xB2}};
struct IPackageId : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Name(HString* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Version(Unused value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Architecture(Unused value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ResourceId(HString* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Publisher(HString* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PublisherId(HString* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FullName(HString* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FamilyName(HString* value) = 0;
};

// Windows.ApplicationModel.IPackage {163C792F-BD75-413C-BF23-B1FE7B95D825}
inline constexpr GUID kIPackage = {0x163C792F, 0xBD75, 0x413C, {0xBF, 0x23, 0xB1, 0xFE, 0x7B, 0x95, 0xD8, 0x25}};
struct IPackage : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Id(IPackageId** id) = 0;
};

// IIterator<Package> and IIterable<Package>: handed out directly by
// FindPackages, so their derived interface ids are not needed either.
struct IPackageIterator : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Current(IPackage** current) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HasCurrent(boolean* has_current) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveNext(boolean* has_current) = 0;
};
struct IPackageIterable : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE First(IPackageIterator** first) = 0;
};

// Windows.Foundation.IUriRuntimeClassFactory
// {44A9796F-723E-4FDF-A218-033E75B0C084}; the Uri it makes is passed on as
// it is, so IUriRuntimeClass itself is not declared.
inline constexpr GUID kIUriRuntimeClassFactory = {
    0x44A9796F, 0x723E, 0x4FDF, {0xA2, 0x18, 0x03, 0x3E, 0x75, 0xB0, 0xC0, 0x84}};
struct IUriRuntimeClassFactory : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE CreateUri(HString uri, IInspectable** instance) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateWithRelativeUri(HString base, HString relative, IInspectable** instance) = 0;
};

// The first members of IStagePackageOptions and IAddPackageOptions, which
// agree up to ExternalLocationUri.
struct IPackageOptionsHead : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_DependencyPackageUris(Unused* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TargetVolume(Unused* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_TargetVolume(Unused value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OptionalPackageFamilyNames(Unused* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OptionalPackageUris(Unused* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RelatedPackageUris(Unused* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ExternalLocationUri(IInspectable** uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ExternalLocationUri(IInspectable* uri) = 0;
};
// Windows.Management.Deployment.IStagePackageOptions
// {0B110C9C-B95D-4C56-BD36-6D656800D06B}
inline constexpr GUID kIStagePackageOptions = {
    0x0B110C9C, 0xB95D, 0x4C56, {0xBD, 0x36, 0x6D, 0x65, 0x68, 0x00, 0xD0, 0x6B}};
// Windows.Management.Deployment.IAddPackageOptions
// {05CEE018-F68F-422B-95A4-66679EC77FC0}
inline constexpr GUID kIAddPackageOptions = {
    0x05CEE018, 0xF68F, 0x422B, {0x95, 0xA4, 0x66, 0x67, 0x9E, 0xC7, 0x7F, 0xC0}};

// Windows.Management.Deployment.IPackageManager
// {9A7D4B65-5E8F-4FC7-A2E5-7F6925CB8B53}
inline constexpr GUID kIPackageManager = {0x9A7D4B65, 0x5E8F, 0x4FC7, {0xA2, 0xE5, 0x7F, 0x69, 0x25, 0xCB, 0x8B, 0x53}};
struct IPackageManager : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE AddPackageAsync(Unused, Unused, std::uint32_t, IDeploymentOperation**) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdatePackageAsync(Unused, Unused, std::uint32_t, IDeploymentOperation**) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemovePackageAsync(HString full_name, IDeploymentOperation**) = 0;
  virtual HRESULT STDMETHODCALLTYPE StagePackageAsync(Unused, Unused, IDeploymentOperation**) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterPackageAsync(Unused, Unused, std::uint32_t, IDeploymentOperation**) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackages(IPackageIterable** packages) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackagesByUserSecurityId(HString sid, IPackageIterable** packages) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindPackagesByNamePublisher(HString name, HString publisher,
                                                                IPackageIterable** packages) = 0;
};

// Windows.Management.Deployment.IPackageManager2
// {F7AAD08D-0840-46F2-B5D8-CAD47693A095}: RemovePackageAsync(String, RemovalOptions).
inline constexpr GUID kIPackageManager2 = {
    0xF7AAD08D, 0x0840, 0x46F2, {0xB5, 0xD8, 0xCA, 0xD4, 0x76, 0x93, 0xA0, 0x95}};
struct IPackageManager2 : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE RemovePackageWithOptionsAsync(HString full_name, std::uint32_t options,
                                                                  IDeploymentOperation** operation) = 0;
};

// Windows.Management.Deployment.IPackageManager6
// {0847E909-53CD-4E4F-832E-57D180F6E447}
inline constexpr GUID kIPackageManager6 = {
    0x0847E909, 0x53CD, 0x4E4F, {0x83, 0x2E, 0x57, 0xD1, 0x80, 0xF6, 0xE4, 0x47}};
struct IPackageManager6 : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE ProvisionPackageForAllUsersAsync(HString family,
                                                                     IDeploymentOperation** operation) = 0;
};

// Windows.Management.Deployment.IPackageManager8
// {B8575330-1298-4EE2-80EE-7F659C5D2782}
inline constexpr GUID kIPackageManager8 = {
    0xB8575330, 0x1298, 0x4EE2, {0x80, 0xEE, 0x7F, 0x65, 0x9C, 0x5D, 0x27, 0x82}};
struct IPackageManager8 : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE DeprovisionPackageForAllUsersAsync(HString family,
                                                                       IDeploymentOperation** operation) = 0;
};

// Windows.Management.Deployment.IPackageManager9
// {1AA79035-CC71-4B2E-80A6-C7041D8579A7}
inline constexpr GUID kIPackageManager9 = {
    0x1AA79035, 0xCC71, 0x4B2E, {0x80, 0xA6, 0xC7, 0x04, 0x1D, 0x85, 0x79, 0xA7}};
struct IPackageManager9 : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE FindProvisionedPackages(Unused* packages) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddPackageByUriAsync(IInspectable* uri, IPackageOptionsHead* options,
                                                         IDeploymentOperation** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE StagePackageByUriAsync(IInspectable* uri, IPackageOptionsHead* options,
                                                           IDeploymentOperation** operation) = 0;
};

// Runtime class names.
inline constexpr char16_t kPackageManagerClass[] = u"Windows.Management.Deployment.PackageManager";
inline constexpr char16_t kStagePackageOptionsClass[] = u"Windows.Management.Deployment.StagePackageOptions";
inline constexpr char16_t kAddPackageOptionsClass[] = u"Windows.Management.Deployment.AddPackageOptions";
inline constexpr char16_t kUriClass[] = u"Windows.Foundation.Uri";

}  // namespace winrt_abi
