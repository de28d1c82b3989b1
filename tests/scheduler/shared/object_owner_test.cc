#include "scheduler/shared/object_owner.h"

#include <gtest/gtest.h>

namespace shared {
namespace {

TEST(ObjectOwnerTest, OnlyLocalSystemAndAdministratorsAreTrusted) {
  EXPECT_TRUE(IsTrustedOwner(u"S-1-5-18"));
  EXPECT_TRUE(IsTrustedOwner(u"s-1-5-32-544"));
  // A user (any program of the user may name it), a prefix of a trusted SID,
  // Everyone, and an unreadable owner.
  EXPECT_FALSE(IsTrustedOwner(u"S-1-5-21-1-2-3-1001"));
  EXPECT_FALSE(IsTrustedOwner(u"S-1-5-32-5440"));
  EXPECT_FALSE(IsTrustedOwner(u"S-1-1-0"));
  EXPECT_FALSE(IsTrustedOwner(u""));
}

}  // namespace
}  // namespace shared
