// The owners of kernel objects and the users of tokens, as SID texts for
// the decisions of object_owner.h.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace service {

// The owner of the kernel object behind `object`, which needs READ_CONTROL;
// nullopt when it cannot be read.
std::optional<std::u16string> ObjectOwnerSid(HANDLE object);

// The user of `token`, which needs TOKEN_QUERY; nullopt when unreadable.
std::optional<std::u16string> TokenUserSid(HANDLE token);

// The user of the calling process.
std::optional<std::u16string> OwnAccountSid();

// Names the calling process's user as the owner in `descriptor` (absolute,
// initialised), so that whoever opens the object later can tell who made it
// on every platform. `storage` holds the SID and must outlive the
// descriptor's use. False when the user cannot be read; the descriptor is
// then left as it was and the object gets the token's default owner.
bool SetOwnUserAsOwner(PSECURITY_DESCRIPTOR descriptor, std::vector<BYTE>& storage);

}  // namespace service
