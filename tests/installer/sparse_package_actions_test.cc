#include "installer/actions/sparse_package.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace installer {
namespace {

// Records each call as one line; answers with the code set for its verb.
class FakeDeployment : public PackageDeployment {
 public:
  std::int32_t Stage(const std::u16string& package, const std::u16string& external) override {
    return Call(u"stage " + package + u" " + external, stage_);
  }
  std::int32_t ProvisionForAllUsers(const std::u16string& family) override { return Call(u"provision " + family, 0); }
  std::int32_t AddForCurrentUser(const std::u16string& package, const std::u16string& external) override {
    return Call(u"add " + package + u" " + external, 0);
  }
  std::int32_t DeprovisionForAllUsers(const std::u16string& family) override {
    return Call(u"deprovision " + family, deprovision_);
  }
  std::int32_t FindPackages(const std::u16string& name, const std::u16string& publisher,
                            std::vector<std::u16string>& full_names) override {
    full_names = installed_;
    return Call(u"find " + name + u" " + publisher, 0);
  }
  std::int32_t Remove(const std::u16string& full_name, std::uint32_t options) override {
    return Call(u"remove " + full_name + (options == kRemoveForAllUsers ? u" all users" : u" ?"), 0);
  }

  std::int32_t Call(std::u16string line, std::int32_t code) {
    calls_.push_back(std::move(line));
    return code;
  }
  std::int32_t stage_ = 0;
  std::int32_t deprovision_ = 0;
  std::vector<std::u16string> installed_;
  std::vector<std::u16string> calls_;
};

constexpr std::int32_t kUntrustedRoot = static_cast<std::int32_t>(0x800B0109);

TEST(SparsePackageTest, ActionDataSplitsThreeFieldsAndLeavesThePublisherWhole) {
  const auto data = ParseSparsePackageData(u"C:\\Program Files\\Quenor Clean\\|N.A|N.A_x1|CN=a|b, O=c");
  ASSERT_TRUE(data);
  EXPECT_EQ(data->folder, u"C:\\Program Files\\Quenor Clean");
  EXPECT_EQ(data->family, u"N.A_x1");
  EXPECT_EQ(data->publisher, u"CN=a|b, O=c");
  EXPECT_FALSE(ParseSparsePackageData(u"C:\\x|N.A|N.A_x1|"));
  EXPECT_FALSE(ParseSparsePackageData(u"C:\\x||N.A_x1|CN=a"));
}

TEST(SparsePackageTest, OnlyWindows11OutsideSafeModeDeploys) {
  EXPECT_FALSE(DeploysSparsePackage({21999, false}));
  EXPECT_TRUE(DeploysSparsePackage({22000, false}));
  EXPECT_FALSE(DeploysSparsePackage({26100, true}));
  EXPECT_EQ(SkipReason({19045, false}).value_or(u""),
            u"SparsePackage: nothing to do on Windows build 19045 (the package is for build 22000 and later)");
  EXPECT_FALSE(SkipReason({22000, false}));
}

TEST(SparsePackageTest, PathsBecomeFileUris) {
  EXPECT_EQ(FileUri(u"C:\\Program Files\\Quenor Clean", true), u"file:///C:/Program%20Files/Quenor%20Clean/");
  EXPECT_EQ(FileUri(u"\\\\srv\\share\\a#b\u00e9\U0001F600.msix", false),
            u"file://srv/share/a%23b%C3%A9%F0%9F%98%80.msix");
}

TEST(SparsePackageTest, AFailedStageIsLoggedWithItsCodeAndNothingIsProvisioned) {
  FakeDeployment deployment;
  const SparsePackageData data{u"C:\\Q", u"N", u"N_f", u"CN=P"};
  EXPECT_EQ(StageAndProvision(data, deployment).size(), 2u);
  EXPECT_EQ(deployment.calls_,
            (std::vector<std::u16string>{u"stage file:///C:/Q/QuenorCleanMenu.msix file:///C:/Q/", u"provision N_f"}));
  deployment.calls_.clear();
  deployment.stage_ = kUntrustedRoot;
  const LogLines lines = StageAndProvision(data, deployment);
  EXPECT_EQ(deployment.calls_.size(), 1u);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(u"failed with 0x800B0109"), std::u16string::npos);
}

TEST(SparsePackageTest, RemovalDeprovisionsThenRemovesEveryVersionForAllUsersEvenWhenDeprovisioningFails) {
  FakeDeployment deployment;
  deployment.deprovision_ = kUntrustedRoot;
  deployment.installed_ = {u"N_1.0.0.0_x64__f", u"N_2.0.0.0_x64__f"};
  RemoveForAllUsers({u"C:\\Q", u"N", u"N_f", u"CN=P"}, deployment);
  EXPECT_EQ(deployment.calls_,
            (std::vector<std::u16string>{u"deprovision N_f", u"find N CN=P", u"remove N_1.0.0.0_x64__f all users",
                                         u"remove N_2.0.0.0_x64__f all users"}));
}

}  // namespace
}  // namespace installer
