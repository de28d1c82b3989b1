// The report of a test-kit run: run-tests.cmd runs each test program with
// --gtest_output=xml:results\<name>.xml and appends "<name> <exit code>" to
// results\runs.txt; this program then writes
//   report.xml    one JUnit-style <testsuites> with every program's suites,
//                 and a failed suite "<name>" for a program that ended with
//                 an exit code other than 0 and reported no failure itself
//                 (it crashed, or it is missing from the kit);
//   summary.txt   one line per program and one per skipped test with its
//                 reason, then the count of programs that passed.
//   kit_report.exe <results folder> <report.xml> <summary.txt>
// Exit code 0 when every program passed, 1 when one did not, 2 on bad input.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// The value of `name="..."` in the tag that starts at `tag`.
std::string Attribute(const std::string& text, std::size_t tag, const std::string& name) {
  const std::size_t end = text.find('>', tag);
  const std::size_t at = text.find(" " + name + "=\"", tag);
  if (at == std::string::npos || at > end) return "";
  const std::size_t begin = at + name.size() + 3;
  return text.substr(begin, text.find('"', begin) - begin);
}

std::string Unescaped(std::string text) {
  const std::pair<const char*, const char*> entities[] = {{"&#x0A;", "\n"}, {"&quot;", "\""}, {"&apos;", "'"},
                                                          {"&lt;", "<"},    {"&gt;", ">"},    {"&amp;", "&"}};
  for (const auto& [entity, plain] : entities) {
    for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
      text.replace(at, std::string(entity).size(), plain);
    }
  }
  return text;
}

// What lies between the <testsuites ...> tag and </testsuites>.
std::string Suites(const std::string& xml) {
  const std::size_t open = xml.find("<testsuites");
  const std::size_t close = xml.rfind("</testsuites>");
  if (open == std::string::npos || close == std::string::npos) return "";
  const std::size_t begin = xml.find('>', open) + 1;
  return begin <= close ? xml.substr(begin, close - begin) : "";
}

// "  skipped Suite.Test: reason" for every skipped test case.
std::string SkipLines(const std::string& xml) {
  std::string lines;
  for (std::size_t at = xml.find("<testcase "); at != std::string::npos; at = xml.find("<testcase ", at + 1)) {
    const std::size_t next = xml.find("<testcase ", at + 1);
    const std::size_t skipped = xml.find("<skipped message=\"", at);
    if (skipped == std::string::npos || skipped > next) continue;
    std::string reason = Unescaped(Attribute(xml, skipped, "message"));
    reason = reason.substr(reason.find('\n') + 1);  // after "file:line"
    lines += "  skipped " + Attribute(xml, at, "classname") + "." + Attribute(xml, at, "name") + ": " + reason + "\n";
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: kit_report <results folder> <report.xml> <summary.txt>\n";
    return 2;
  }
  const std::string results = argv[1];
  std::istringstream runs(ReadAll(results + "\\runs.txt"));
  std::string report = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"Windows test kit\">\n";
  std::string summary;
  int programs = 0, passed = 0;
  std::string name;
  std::string exit_code;
  while (runs >> name >> exit_code) {
    ++programs;
    const std::string xml = ReadAll(results + "\\" + name + ".xml");
    const std::size_t failures = Count(xml, "<failure");
    const bool ok = exit_code == "0" && failures == 0 && !xml.empty();
    report += Suites(xml);
    if (!ok && failures == 0) {
      report += "  <testsuite name=\"" + name + "\" tests=\"1\" failures=\"1\">\n    <testcase name=\"" + name +
                "\" classname=\"" + name + "\"><failure message=\"ended with exit code " + exit_code +
                " and no report of a failed test\"/></testcase>\n  </testsuite>\n";
    }
    passed += ok ? 1 : 0;
    summary += std::string(ok ? "PASS " : "FAIL ") + name + ": " + std::to_string(Count(xml, "<testcase ")) +
               " tests, " + std::to_string(failures) + " failed, " + std::to_string(Count(xml, "<skipped ")) +
               " skipped, exit code " + exit_code + "\n" + SkipLines(xml);
  }
  report += "</testsuites>\n";
  summary += std::to_string(passed) + " of " + std::to_string(programs) + " test programs passed\n";
  std::ofstream(argv[2], std::ios::binary) << report;
  std::ofstream(argv[3], std::ios::binary) << summary;
  std::cout << summary;
  return programs > 0 && passed == programs ? 0 : 1;
}
