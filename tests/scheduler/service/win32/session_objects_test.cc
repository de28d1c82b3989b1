// The kernel objects the service shares with its agents, on the real system.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/service/win32/agent_launch.h"
#include "scheduler/shared/agent_session.h"
#include "scheduler/shared/win32/administrators.h"
#include "scheduler/shared/win32/agent_session.h"
#include "scheduler/shared/win32/object_owner.h"
#include "scheduler/shared/win32/update_event.h"
#include "support/win32/platform.h"

namespace service {
namespace {

// Well-known SIDs in string form, for readable failures.
std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"?";
  win32::ScopedLocalMemory owner(text);
  return text;
}

TEST(UpdateEventTest, EveryoneMayOnlyWaitAndAdministratorsMayDoEverything) {
  win32::ScopedHandle event(shared::CreateUpdateEvent());
  ASSERT_TRUE(event) << GetLastError();
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "another test left the event behind";

  PACL dacl = nullptr;
  win32::ScopedLocalMemory descriptor;
  ASSERT_EQ(GetSecurityInfo(event.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            descriptor.put()),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr);
  ASSERT_EQ(dacl->AceCount, 2);

  std::wstring sids[2];
  ACCESS_MASK masks[2] = {};
  for (WORD i = 0; i < 2; ++i) {
    void* raw_ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &raw_ace));
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw_ace);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE), 0);
    sids[i] = SidText(&ace->SidStart);
    masks[i] = ace->Mask;
  }
  EXPECT_EQ(sids[0], L"S-1-1-0");
  EXPECT_EQ(masks[0], static_cast<ACCESS_MASK>(SYNCHRONIZE));
  EXPECT_EQ(sids[1], L"S-1-5-32-544");
  EXPECT_EQ(masks[1], static_cast<ACCESS_MASK>(EVENT_ALL_ACCESS));
  // Administrators own it, which only an elevated token may name, so that
  // the service and the agents can tell it from one that a user's
  // unelevated program made first.
  EXPECT_EQ(shared::ObjectOwnerSid(event.get()), u"S-1-5-32-544");
}

TEST(UpdateEventTest, SecondCallOpensTheSameManualResetEvent) {
  win32::ScopedHandle first(shared::CreateUpdateEvent());
  ASSERT_TRUE(first);
  win32::ScopedHandle second(shared::CreateUpdateEvent());
  ASSERT_TRUE(second);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  EXPECT_EQ(WaitForSingleObject(second.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "must start unset";
  ASSERT_TRUE(SetEvent(first.get()));
  // Manual reset: every waiter sees it, again and again, until it is reset.
  EXPECT_EQ(WaitForSingleObject(second.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second.get(), 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(first.get()));
  EXPECT_EQ(WaitForSingleObject(second.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(AgentLaunchTest, SessionWithAnAgentMutexGetsNoSecondAgent) {
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  EXPECT_FALSE(shared::IsAgentInSession(session));

  win32::ScopedHandle mutex(shared::CreateAgentSessionMutex(session));
  ASSERT_TRUE(mutex);
  EXPECT_EQ(shared::ObjectOwnerSid(mutex.get()), u"S-1-5-32-544");
  EXPECT_TRUE(shared::IsAgentInSession(session));
  EXPECT_FALSE(shared::IsAgentInSession(session + 1));
  // With the mutex held, nothing is launched (a launch would start this very
  // test program with /user).
  EXPECT_FALSE(LaunchAgentInSession(session));
  mutex.reset();
  EXPECT_FALSE(shared::IsAgentInSession(session));
}

TEST(SquattedNamesTest, AnEventOrMutexOwnedByTheUsersOwnAccountIsNotTaken) {
  // Owned by the user, and everyone may do everything with it: what an
  // unelevated program of the logged-on user could make before the service
  // or the agent.
  win32::ScopedHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
  BYTE token_user[256] = {};
  DWORD length = 0;
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, token_user, sizeof token_user, &length));
  const std::wstring user = SidText(reinterpret_cast<TOKEN_USER*>(token_user)->User.Sid);
  const std::wstring sddl = L"O:" + user + L"D:(A;;GA;;;WD)";
  win32::ScopedLocalMemory descriptor;
  ASSERT_TRUE(
      ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.put(), nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};

  win32::ScopedHandle event(CreateEventW(&attributes, TRUE, FALSE, L"Global\\Veltrane Scheduler Update"));
  ASSERT_TRUE(event);
  ASSERT_EQ(shared::ObjectOwnerSid(event.get()), win32::FromWide(user.c_str()));
  win32::ScopedHandle refused(shared::CreateUpdateEvent());
  EXPECT_FALSE(refused);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  const std::u16string name = shared::AgentSessionMutexName(session);
  win32::ScopedHandle mutex(CreateMutexW(&attributes, FALSE, win32::Wide(name)));
  ASSERT_TRUE(mutex);
  EXPECT_FALSE(shared::IsAgentInSession(session));
}

TEST(AgentLaunchTest, ConsoleSessionUserTokenNamesAUser) {
  // Wine hands out the caller's own token for any session id and links an
  // impersonation token to it; Windows gives the session user's token only to
  // a caller holding SE_TCB_NAME (LocalSystem). What holds on both: the token
  // for the console session is a token of a user.
  if (!test_support::RunningUnderWine())
    GTEST_SKIP() << "needs LocalSystem on Windows; the real-service check covers it";
  const DWORD console = WTSGetActiveConsoleSessionId();
  ASSERT_NE(console, 0xFFFFFFFFu);
  win32::ScopedHandle token(GetSessionUserToken(console));
  ASSERT_TRUE(token) << GetLastError();
  BYTE buffer[256] = {};
  DWORD length = 0;
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &length));
  EXPECT_NE(SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid), L"?");
}

TEST(AdministratorsTest, MembershipMatchesTheTokensEnabledGroups) {
  // The test prefix runs everything as an administrator.
  win32::ScopedHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
  DWORD length = 0;
  GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &length);
  std::vector<BYTE> buffer(length);
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenGroups, buffer.data(), length, &length));
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  bool enabled_admin = false;
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    if (SidText(groups->Groups[i].Sid) == L"S-1-5-32-544" && (groups->Groups[i].Attributes & SE_GROUP_ENABLED)) {
      enabled_admin = true;
    }
  }
  EXPECT_EQ(shared::IsAdministratorsMember(), enabled_admin);
}

}  // namespace
}  // namespace service
