// The Group Policy templates are well-formed XML and name only what the
// scheduler reads: its policy key, its settings and their words.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/application/contract.h"
#include "scheduler/agent/setting_text.h"

namespace {

struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;
  int parent = -1;
};

// A strict reader for the subset of XML the templates use: declarations,
// comments, elements, attributes, text and the predefined and numeric
// entities. Empty result when the text is not well-formed.
class XmlReader {
 public:
  explicit XmlReader(std::string text) : text_(std::move(text)) {}

  std::vector<Element> Read() {
    std::vector<Element> elements;
    std::vector<int> open;
    int roots = 0;
    while (pos_ < text_.size()) {
      if (text_[pos_] != '<') {
        const std::size_t end = text_.find('<', pos_);
        std::string chunk;
        if (!Decode(text_.substr(pos_, end - pos_), chunk)) return {};
        if (open.empty() && chunk.find_first_not_of(" \t\r\n") != std::string::npos) return {};
        if (!open.empty()) elements[open.back()].text += chunk;
        pos_ = end == std::string::npos ? text_.size() : end;
      } else if (Skip("<?", "?>") || Skip("<!--", "-->")) {
        if (pos_ == std::string::npos) return {};
      } else if (text_.compare(pos_, 2, "</") == 0) {
        pos_ += 2;
        const std::string name = Name();
        SkipBlanks();
        if (open.empty() || name != elements[open.back()].name || !Take('>')) return {};
        open.pop_back();
      } else {
        ++pos_;
        Element element;
        element.name = Name();
        element.parent = open.empty() ? -1 : open.back();
        if (element.name.empty() || (open.empty() && ++roots > 1)) return {};
        for (;;) {
          SkipBlanks();
          if (Take('>') || text_.compare(pos_, 2, "/>") == 0) break;
          const std::string attribute = Name();
          SkipBlanks();
          if (attribute.empty() || !Take('=')) return {};
          SkipBlanks();
          const char quote = pos_ < text_.size() ? text_[pos_] : 0;
          if (quote != '"' && quote != '\'') return {};
          const std::size_t end = text_.find(quote, ++pos_);
          std::string value;
          if (end == std::string::npos || text_.substr(pos_, end - pos_).find('<') != std::string::npos ||
              !Decode(text_.substr(pos_, end - pos_), value) || !element.attributes.emplace(attribute, value).second) {
            return {};
          }
          pos_ = end + 1;
        }
        const bool empty = text_.compare(pos_, 2, "/>") == 0;
        if (empty) pos_ += 2;
        elements.push_back(element);
        if (!empty) open.push_back(static_cast<int>(elements.size()) - 1);
      }
    }
    if (!open.empty() || roots != 1) return {};
    return elements;
  }

 private:
  bool Skip(const char* start, const char* end) {
    if (text_.compare(pos_, std::string(start).size(), start) != 0) return false;
    const std::size_t found = text_.find(end, pos_);
    pos_ = found == std::string::npos ? std::string::npos : found + std::string(end).size();
    return true;
  }
  bool Take(char c) {
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && std::string(" \t\r\n").find(text_[pos_]) != std::string::npos) ++pos_;
  }
  std::string Name() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                   std::string("_:.-").find(text_[pos_]) != std::string::npos)) {
      ++pos_;
    }
    return text_.substr(start, pos_ - start);
  }
  static bool Decode(const std::string& raw, std::string& out) {
    static const std::map<std::string, std::string> kNamed = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '&') {
        out += raw[i];
        continue;
      }
      const std::size_t end = raw.find(';', i);
      if (end == std::string::npos) return false;
      const std::string entity = raw.substr(i + 1, end - i - 1);
      if (kNamed.count(entity) != 0) {
        out += kNamed.at(entity);
      } else if (entity.size() > 1 && entity[0] == '#' &&
                 entity.find_first_not_of("0123456789", 1) == std::string::npos) {
        out += '?';
      } else {
        return false;
      }
      i = end;
    }
    return true;
  }

  std::string text_;
  std::size_t pos_ = 0;
};

std::vector<Element> ReadTemplate(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return XmlReader(bytes.str()).Read();
}

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

  std::set<std::string> value_names, schedule_words, scan_words;
  for (int i = 0; i < static_cast<int>(admx.size()); ++i) {
    const Element& element = admx[i];
    for (const auto& [attribute, value] : element.attributes) {
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
  EXPECT_EQ(value_names, settings);
  std::set<std::string> words;
  for (const agent::ScheduleWord& row : agent::kScheduleWords) words.insert(Narrow(row.word));
  EXPECT_EQ(schedule_words, words);
  EXPECT_EQ(scan_words, (std::set<std::string>{Narrow(application::kQuickScanWord), Narrow(application::kFullScanWord)}));
}

}  // namespace
