#include "installer/actions/sparse_package.h"

#include "common/text/decimal.h"

namespace installer {
namespace {

constexpr std::u16string_view kPrefix = u"SparsePackage: ";

bool Unreserved(char32_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.' ||
         c == u'_' || c == u'~';
}

void AppendEscaped(std::u16string& out, std::uint8_t byte) {
  out += u'%';
  out += text::Hexadecimal(byte, 2);
}

// One code point as percent-encoded UTF-8; a lone surrogate becomes U+FFFD.
void AppendEncoded(std::u16string& out, char32_t c) {
  if (c < 0x80) return AppendEscaped(out, static_cast<std::uint8_t>(c));
  if (c < 0x800) {
    AppendEscaped(out, static_cast<std::uint8_t>(0xC0 | (c >> 6)));
  } else {
    if (c < 0x10000) {
      AppendEscaped(out, static_cast<std::uint8_t>(0xE0 | (c >> 12)));
    } else {
      AppendEscaped(out, static_cast<std::uint8_t>(0xF0 | (c >> 18)));
      AppendEscaped(out, static_cast<std::uint8_t>(0x80 | ((c >> 12) & 0x3F)));
    }
    AppendEscaped(out, static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
  }
  AppendEscaped(out, static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
}

std::u16string Step(std::u16string_view what, std::int32_t code) {
  std::u16string line(kPrefix);
  line += what;
  line += code == 0 ? u": done" : u": failed with " + HresultText(code);
  return line;
}

}  // namespace

std::optional<SparsePackageData> ParseSparsePackageData(std::u16string_view text) {
  SparsePackageData data;
  std::u16string* fields[] = {&data.folder, &data.name, &data.family};
  for (std::u16string* field : fields) {
    const std::size_t bar = text.find(u'|');
    if (bar == std::u16string_view::npos || bar == 0) return std::nullopt;
    field->assign(text.substr(0, bar));
    text.remove_prefix(bar + 1);
  }
  if (text.empty()) return std::nullopt;
  data.publisher.assign(text);
  while (data.folder.size() > 1 && data.folder.back() == u'\\') data.folder.pop_back();
  return data;
}

bool DeploysSparsePackage(const SystemFacts& facts) { return facts.build >= kFirstWindows11Build && !facts.safe_mode; }

std::optional<std::u16string> SkipReason(const SystemFacts& facts) {
  if (facts.safe_mode) return std::u16string(kPrefix) + u"nothing to do in Safe Mode";
  if (facts.build < kFirstWindows11Build) {
    return std::u16string(kPrefix) + u"nothing to do on Windows build " + text::Decimal(facts.build) +
           u" (the package is for build 22000 and later)";
  }
  return std::nullopt;
}

std::u16string FileUri(std::u16string_view path, bool folder) {
  std::u16string uri = u"file://";
  if (path.substr(0, 2) == u"\\\\") {
    path.remove_prefix(2);  // \\server\share: the server is the URI's host
  } else {
    uri += u'/';
  }
  for (std::size_t i = 0; i < path.size(); ++i) {
    char32_t c = path[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (path[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c == u'\\' || c == u'/') {
      uri += u'/';
    } else if (Unreserved(c) || (c == u':' && i == 1)) {
      uri += static_cast<char16_t>(c);
    } else {
      AppendEncoded(uri, c);
    }
  }
  if (folder && uri.back() != u'/') uri += u'/';
  return uri;
}

std::u16string HresultText(std::int32_t code) { return u"0x" + text::Hexadecimal(static_cast<std::uint32_t>(code), 8); }

LogLines StageAndProvision(const SparsePackageData& data, PackageDeployment& deployment) {
  LogLines lines;
  const std::u16string package = FileUri(data.folder + u"\\" + std::u16string(kSparsePackageFile), false);
  const std::u16string folder = FileUri(data.folder, true);
  const std::int32_t staged = deployment.Stage(package, folder);
  lines.push_back(Step(u"staging " + package + u" with the external location " + folder, staged));
  // A package that is not staged cannot be provisioned; the classic item
  // still serves the menu.
  if (staged != 0) return lines;
  lines.push_back(
      Step(u"provisioning " + data.family + u" for all users", deployment.ProvisionForAllUsers(data.family)));
  return lines;
}

LogLines AddForCurrentUser(const SparsePackageData& data, PackageDeployment& deployment) {
  const std::u16string package = FileUri(data.folder + u"\\" + std::u16string(kSparsePackageFile), false);
  const std::u16string folder = FileUri(data.folder, true);
  return {Step(u"registering " + package + u" for the installing user", deployment.AddForCurrentUser(package, folder))};
}

LogLines RemoveForAllUsers(const SparsePackageData& data, PackageDeployment& deployment) {
  LogLines lines;
  // Deprovisioned first, so that no sign-in registers it again meanwhile.
  lines.push_back(Step(u"deprovisioning " + data.family, deployment.DeprovisionForAllUsers(data.family)));
  std::vector<std::u16string> full_names;
  const std::int32_t found = deployment.FindPackages(data.name, data.publisher, full_names);
  if (found != 0) {
    lines.push_back(Step(u"finding the installed versions of " + data.name, found));
    return lines;
  }
  if (full_names.empty()) lines.push_back(std::u16string(kPrefix) + u"no version of " + data.name + u" is installed");
  for (const std::u16string& full_name : full_names) {
    lines.push_back(
        Step(u"removing " + full_name + u" for all users", deployment.Remove(full_name, kRemoveForAllUsers)));
  }
  return lines;
}

}  // namespace installer
