// The sparse package's manifest, as the build writes it: well-formed, and
// naming the class Scanmenu.dll registers for the command, in every place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scanmenu/module/registration_text.h"
#include "support/xml_reader.h"

namespace {

TEST(SparsePackageTest, TheManifestDeclaresTheCommandsClassAsAServerInScanmenu) {
  const std::vector<test_support::Element> manifest =
      test_support::ReadXmlFile(QC_SPARSE_PACKAGE_DIR "/AppxManifest.xml");
  ASSERT_FALSE(manifest.empty()) << "AppxManifest.xml is not well-formed";

  // The manifest writes class ids without braces.
  const std::u16string_view braced = scanmenu::kExplorerCommandClassIdText;
  const std::string class_id(braced.begin() + 1, braced.end() - 1);
  std::vector<std::string> verb_types, servers;
  for (const test_support::Element& element : manifest) {
    if (element.name == "desktop5:Verb") {
      EXPECT_EQ(element.attributes.at("Clsid"), class_id);
      verb_types.push_back(manifest[element.parent].attributes.at("Type"));
    }
    if (element.name == "com:Class") {
      EXPECT_EQ(element.attributes.at("Id"), class_id);
      servers.push_back(element.attributes.at("Path"));
    }
    if (element.name == "Identity") EXPECT_EQ(element.attributes.at("Version"), QC_PACKAGE_VERSION);
  }
  EXPECT_EQ(verb_types, (std::vector<std::string>{"*", "Directory"}));
  EXPECT_EQ(servers, std::vector<std::string>{"Scanmenu.dll"});
}

}  // namespace
