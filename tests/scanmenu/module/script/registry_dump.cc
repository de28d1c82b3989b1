#include "registry_dump.h"
#include "scanmenu/module/script/registry_access.h"

#include <algorithm>
#include <cstdio>

namespace test_support {

using scanmenu::script::kTypeBinary;
using scanmenu::script::kTypeDword;
using scanmenu::script::kTypeMultiString;
using scanmenu::script::kTypeString;
namespace {

std::string Hex(const std::vector<std::uint8_t>& data) {
  std::string text;
  char byte[4];
  for (std::uint8_t b : data) {
    std::snprintf(byte, sizeof byte, text.empty() ? "%02x" : " %02x", b);
    text += byte;
  }
  return text;
}

}  // namespace

std::string Printable(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c == 0) {
      out += "\\0";
    } else if (c >= 0x20 && c < 0x7F && c != u'\\') {
      out += static_cast<char>(c);
    } else if (c == u'\\') {
      out += "\\";
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    }
  }
  return out;
}

std::string KeyLine(std::u16string_view path) { return Printable(path); }

std::string ValueLine(std::u16string_view path, std::u16string_view name, std::uint32_t type,
                      const std::vector<std::uint8_t>& data) {
  std::string line = Printable(path) + " : " + (name.empty() ? std::string("@") : Printable(name)) + " = ";
  const bool text_type = type == kTypeString || type == kTypeMultiString;
  if (text_type && data.size() % 2 == 0) {
    std::u16string units(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
      units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    line += (type == kTypeString ? "sz \"" : "multi \"") + Printable(units) + "\"";
  } else if (type == kTypeDword && data.size() == 4) {
    char number[24];
    std::snprintf(number, sizeof number, "dword 0x%08x",
                  static_cast<unsigned>(data[0] | data[1] << 8 | data[2] << 16 | static_cast<unsigned>(data[3]) << 24));
    line += number;
  } else if (type == kTypeBinary) {
    line += "hex [" + Hex(data) + "]";
  } else {
    line += "type " + std::to_string(type) + " [" + Hex(data) + "]";
  }
  return line;
}

std::string JoinSorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace test_support
