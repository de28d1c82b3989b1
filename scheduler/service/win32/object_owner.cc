#include "scheduler/service/win32/object_owner.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"

namespace service {
namespace {

std::optional<std::u16string> SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return std::nullopt;
  win32::ScopedLocalMemory owner(text);
  return win32::FromWide(text);
}

}  // namespace

std::optional<std::u16string> ObjectOwnerSid(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &raw_descriptor) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  // `owner` points into the descriptor.
  win32::ScopedLocalMemory descriptor(raw_descriptor);
  return SidText(owner);
}

namespace {

// The TOKEN_USER record of `token` in `buffer`; its SID points into it.
PSID ReadTokenUser(HANDLE token, std::vector<BYTE>& buffer) {
  DWORD length = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &length);
  if (length == 0) return nullptr;
  buffer.assign(length, 0);
  if (!::GetTokenInformation(token, TokenUser, buffer.data(), length, &length)) return nullptr;
  return reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
}

PSID ReadOwnUser(std::vector<BYTE>& buffer) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return nullptr;
  win32::ScopedHandle token(raw);
  return ReadTokenUser(token.Get(), buffer);
}

}  // namespace

std::optional<std::u16string> TokenUserSid(HANDLE token) {
  std::vector<BYTE> buffer;
  return SidText(ReadTokenUser(token, buffer));
}

std::optional<std::u16string> OwnAccountSid() {
  std::vector<BYTE> buffer;
  return SidText(ReadOwnUser(buffer));
}

bool SetOwnUserAsOwner(PSECURITY_DESCRIPTOR descriptor, std::vector<BYTE>& storage) {
  const PSID user = ReadOwnUser(storage);
  return user != nullptr && ::SetSecurityDescriptorOwner(descriptor, user, FALSE);
}

}  // namespace service
