// The Group Policy templates are well-formed XML and name only what the
// scheduler reads: its policy key, its settings and their words.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/application/contract.h"
#include "scheduler/agent/setting_text.h"
#include "support/xml_reader.h"

namespace {

using testing_support::Element;
using testing_support::XmlReader;

std::vector<Element> ReadTemplate(const std::string& path) { return testing_support::ReadXmlFile(path); }

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
  for (const char* bad : {"<a><b></a></b>", "<a>", "<a x=1/>", "<a x='1' x='2'/>", "<a>&nope;</a>", "<a/><b/>", "<a></b>"}) {
    EXPECT_TRUE(XmlReader(bad).Read().empty()) << bad;
  }
  EXPECT_EQ(XmlReader("<?xml version='1.0'?><!-- c --><a x=\"&lt;\">t&amp;<b/></a>").Read().size(), 2u);
}

TEST(PolicyTemplatesTest, EveryKeyValueAndWordIsOneTheSchedulerReads) {
  const std::vector<Element> admx = ReadTemplate(QC_POLICY_DIR "/veltrane.admx");
  const std::vector<Element> adml = ReadTemplate(QC_POLICY_DIR "/en-US/veltrane.adml");
  ASSERT_FALSE(admx.empty()) << "veltrane.admx is not well-formed";
  ASSERT_FALSE(adml.empty()) << "veltrane.adml is not well-formed";

  std::set<std::string> strings, presentations;
  for (const Element& element : adml) {
    if (element.name == "string") strings.insert(element.attributes.at("id"));
    if (element.name == "presentation") presentations.insert(element.attributes.at("id"));
  }

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
      if (value.rfind("$(string.", 0) == 0) EXPECT_EQ(strings.count(value.substr(9, value.size() - 10)), 1u) << value;
      if (value.rfind("$(presentation.", 0) == 0) {
        EXPECT_EQ(presentations.count(value.substr(15, value.size() - 16)), 1u) << value;
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
  for (const agent::ScheduleWord& row : agent::kScheduleWords) words.insert(Narrow(row.word));
  EXPECT_EQ(schedule_words, words);
  EXPECT_EQ(scan_words, (std::set<std::string>{Narrow(application::kQuickScanWord), Narrow(application::kFullScanWord)}));
}

}  // namespace
