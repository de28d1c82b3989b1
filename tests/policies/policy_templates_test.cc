// The Group Policy templates are well-formed XML and name only what the
// scheduler reads: its policy key, its settings and their words; every
// language's file holds each text the template refers to.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/application/contract.h"
#include "scheduler/schedule/setting_text.h"
#include "support/xml_reader.h"

namespace {

using test_support::Element;
using test_support::XmlReader;

std::vector<Element> ReadTemplate(const std::string& path) { return test_support::ReadXmlFile(path); }

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

// The value names that an element stands under.
std::string EnclosingValueName(const std::vector<Element>& elements, int index) {
  for (int at = index; at >= 0; at = elements[at].parent) {
    const auto found = elements[at].attributes.find("valueName");
    if (found != elements[at].attributes.end()) return found->second;
  }
  return "";
}

TEST(PolicyTemplatesTest, TheReaderRefusesWhatIsNotWellFormed) {
  for (const char* bad :
       {"<a><b></a></b>", "<a>", "<a x=1/>", "<a x='1' x='2'/>", "<a>&nope;</a>", "<a/><b/>", "<a></b>"}) {
    EXPECT_TRUE(XmlReader(bad).Read().empty()) << bad;
  }
  EXPECT_EQ(XmlReader("<?xml version='1.0'?><!-- c --><a x=\"&lt;\">t&amp;<b/></a>").Read().size(), 2u);
}

TEST(PolicyTemplatesTest, EveryKeyValueAndWordIsOneTheSchedulerReads) {
  const std::vector<Element> admx = ReadTemplate(QC_POLICY_DIR "/veltrane.admx");
  ASSERT_FALSE(admx.empty()) << "veltrane.admx is not well-formed";

  // Each language's ids ("string:X", "presentation:Y"), by folder name: those of en-US in every one.
  std::map<std::string, std::set<std::string>> languages;
  for (const auto& folder : std::filesystem::directory_iterator(QC_POLICY_DIR)) {
    if (!folder.is_directory()) continue;
    const std::string tag = folder.path().filename().string();
    const std::vector<Element> adml = ReadTemplate((folder.path() / "veltrane.adml").string());
    EXPECT_FALSE(adml.empty()) << tag << "/veltrane.adml is missing or not well-formed";
    for (const Element& e : adml) {
      if (e.name == "string" || e.name == "presentation") languages[tag].insert(e.name + ":" + e.attributes.at("id"));
    }
  }
  ASSERT_GE(languages.size(), 12u);
  const std::set<std::string>& ids = languages["en-US"];
  for (const auto& [tag, its_ids] : languages) EXPECT_EQ(its_ids, ids) << tag;

  // Each namespace the template declares with <using> is one it refers to as
  // "prefix:name"; a tool that imports the template asks for every template
  // declared there, used or not.
  std::set<std::string> declared_prefixes, used_prefixes;
  std::set<std::string> value_names, schedule_words, scan_words;
  for (int i = 0; i < static_cast<int>(admx.size()); ++i) {
    const Element& element = admx[i];
    if (element.name == "using") declared_prefixes.insert(element.attributes.at("prefix"));
    for (const auto& [attribute, value] : element.attributes) {
      const std::size_t colon = value.find(':');
      if (attribute == "ref" && colon != std::string::npos) used_prefixes.insert(value.substr(0, colon));
      if (attribute == "key") EXPECT_EQ(value, Narrow(application::kPolicyKeyPath));
      if (attribute == "valueName") value_names.insert(value);
      // Every text the template refers to is in the language file.
      if (value.rfind("$(string.", 0) == 0) {
        EXPECT_EQ(ids.count("string:" + value.substr(9, value.size() - 10)), 1u) << value;
      }
      if (value.rfind("$(presentation.", 0) == 0) {
        EXPECT_EQ(ids.count("presentation:" + value.substr(15, value.size() - 16)), 1u) << value;
      }
    }
    if (element.name != "string") continue;
    const std::string owner = EnclosingValueName(admx, i);
    if (owner == Narrow(application::kSchedulerWhenValue)) schedule_words.insert(element.text);
    if (owner == Narrow(application::kSchedulerScanTypeValue)) scan_words.insert(element.text);
  }

  std::set<std::string> settings;
  for (std::u16string_view name : application::kPolicySettings) settings.insert(Narrow(name));
  EXPECT_EQ(declared_prefixes, used_prefixes);
  EXPECT_EQ(value_names, settings);
  std::set<std::string> words;
  for (const schedule::ScheduleWord& row : schedule::kScheduleWords) words.insert(Narrow(row.word));
  EXPECT_EQ(schedule_words, words);
  EXPECT_EQ(scan_words,
            (std::set<std::string>{Narrow(application::kQuickScanWord), Narrow(application::kFullScanWord)}));
}

}  // namespace
