// The sparse package's manifest, as the build writes it: well-formed, naming
// the class Scanmenu.dll registers for the command, in every place, and
// declaring every language of languages/.
#include <gtest/gtest.h>

#include <algorithm>
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
  std::vector<std::string> verb_types, servers, languages;
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
    if (element.name == "Resource") languages.push_back(element.attributes.at("Language"));
  }
  EXPECT_EQ(verb_types, (std::vector<std::string>{"*", "Directory"}));
  EXPECT_EQ(servers, std::vector<std::string>{"Scanmenu.dll"});
  // Every language the binaries carry, the default (en-us) first.
  ASSERT_FALSE(languages.empty());
  EXPECT_EQ(languages.front(), "en-us");
  std::sort(languages.begin(), languages.end());
  std::string tags;
  for (const std::string& language : languages) tags += " " + language;
  EXPECT_EQ(tags, QC_LANGUAGE_TAGS);
}

}  // namespace
