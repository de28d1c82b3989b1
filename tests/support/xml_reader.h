// A strict reader for the XML the project writes (policy templates, the
// package manifest), for tests: well-formedness and the elements in order.
#pragma once

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace test_support {

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

// The elements of the file at `path`; empty when it is missing or not well-formed.
inline std::vector<Element> ReadXmlFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return XmlReader(bytes.str()).Read();
}

}  // namespace test_support
