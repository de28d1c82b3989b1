#include "scanmenu/menu/scan_request.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "common/application/contract.h"
#include "support/in_memory_settings.h"

namespace scanmenu {
namespace {

using application::RegistryRoot;

const std::u16string kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuenorClean";
const std::u16string kScanner = u"C:\\Program Files\\Scanner\\app.exe";

// The file system and process start as the request sees them: files live in
// a map, starts are recorded.
class FakePlatform final : public ScanPlatform {
 public:
  struct Start {
    std::u16string file;
    std::u16string parameters;
  };

  std::optional<std::u16string> temporary_directory_ = u"C:\\Temp\\";
  application::PresenceOpen presence_ = application::PresenceOpen::kNotFound;
  bool open_succeeds_ = true;
  bool create_succeeds_ = true;
  ListFileFacts facts_;
  bool throw_on_temporary_directory_ = false;
  int fail_write_at_ = 0;  // the n-th write fails (counting from 1); 0: none
  std::map<std::u16string, std::vector<std::byte>> files_;
  std::vector<Start> starts_;
  int writes_ = 0;

  std::vector<std::byte>& File(const std::u16string& path) { return files_.at(path); }

  std::optional<std::u16string> TemporaryDirectory() override {
    if (throw_on_temporary_directory_) throw std::bad_alloc();
    return temporary_directory_;
  }
  std::unique_ptr<ListFile> OpenListFile(const std::u16string& path) override {
    if (!create_succeeds_) return nullptr;
    return std::make_unique<MemoryFile>(*this, files_[path]);
  }
  application::PresenceOpen OpenPresenceEvent() override { return presence_; }
  bool Open(const std::u16string& file, const std::u16string& parameters) override {
    starts_.push_back({file, parameters});
    return open_succeeds_;
  }

 private:
  class MemoryFile final : public ListFile {
   public:
    MemoryFile(FakePlatform& platform, std::vector<std::byte>& bytes) : platform_(platform), bytes_(bytes) {}
    std::optional<ListFileFacts> Facts() override { return platform_.facts_; }
    bool Truncate() override {
      bytes_.clear();
      return true;
    }
    bool Write(std::span<const std::byte> bytes) override {
      if (++platform_.writes_ == platform_.fail_write_at_) return false;
      bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
      return true;
    }

   private:
    FakePlatform& platform_;
    std::vector<std::byte>& bytes_;
  };
};

std::vector<std::byte> Utf16Le(std::u16string_view text) {
  std::vector<std::byte> bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::byte>(unit & 0xFF));
    bytes.push_back(static_cast<std::byte>(unit >> 8));
  }
  return bytes;
}

class ScanRequestTest : public ::testing::Test {
 protected:
  ScanRequestTest() {
    settings_.Set(RegistryRoot::LocalMachine, kUninstallKey, u"UninstallString", u"\"" + kScanner + u"\" /uninstall");
  }

  void Select(std::initializer_list<std::u16string_view> paths) {
    for (const auto path : paths) ASSERT_TRUE(selection_.Append(path));
  }
  Outcome Invoke(std::uintptr_t verb = 0) { return InvokeScanCommand(verb, selection_, platform_, settings_); }

  test_support::InMemorySettings settings_;
  FakePlatform platform_;
  Selection selection_;
};

// --- the list file ---------------------------------------------------------

TEST_F(ScanRequestTest, TwoPathsGiveAListOfExactlyTheirUnitsEachEndedByCrLf) {
  Select({u"C:\\a.txt", u"D:\\b"});
  ASSERT_EQ(Invoke(), Outcome::kOk);
  const std::vector<std::byte>& bytes = platform_.File(u"C:\\Temp\\quenorclean.filelist");
  EXPECT_EQ(bytes.size(), 32u);
  EXPECT_EQ(bytes, Utf16Le(u"C:\\a.txt\r\nD:\\b\r\n"));  // no byte-order mark
}

TEST_F(ScanRequestTest, ListEntriesBeyondLatinAreWrittenLittleEndian) {
  Select({u"C:\\\u00e9t\u00e9", u"C:\\\u65e5\u672c"});
  ASSERT_EQ(Invoke(), Outcome::kOk);
  const std::vector<std::byte>& bytes = platform_.File(u"C:\\Temp\\quenorclean.filelist");
  ASSERT_EQ(bytes.size(), (6 + 2 + 5 + 2) * 2u);
  EXPECT_EQ(bytes[6], std::byte{0xE9});
  EXPECT_EQ(bytes[7], std::byte{0x00});
  EXPECT_EQ(bytes[22], std::byte{0xE5});  // U+65E5, low byte first
  EXPECT_EQ(bytes[23], std::byte{0x65});
}

TEST_F(ScanRequestTest, ALaterShorterListReplacesTheFileWholly) {
  Select({u"C:\\long\\first.txt", u"C:\\long\\second.txt", u"C:\\long\\third.txt"});
  ASSERT_EQ(Invoke(), Outcome::kOk);
  Select({u"C:\\x", u"C:\\y"});
  ASSERT_EQ(Invoke(), Outcome::kOk);
  EXPECT_EQ(platform_.File(u"C:\\Temp\\quenorclean.filelist"), Utf16Le(u"C:\\x\r\nC:\\y\r\n"));
}

TEST_F(ScanRequestTest, AListLargerThanOneWriteComesOutWhole) {
  std::u16string expected;
  for (int i = 0; i < 3000; ++i) {
    const std::u16string path = u"C:\\files\\item" + std::u16string(1, u'0' + i % 10) + u".dat";
    ASSERT_TRUE(selection_.Append(path));
    expected += path + u"\r\n";
  }
  ASSERT_EQ(Invoke(), Outcome::kOk);
  EXPECT_GT(platform_.writes_, 1);
  EXPECT_EQ(platform_.File(u"C:\\Temp\\quenorclean.filelist"), Utf16Le(expected));
}

TEST(ListFilePath, FitsTheNameIntoTheBufferOrRefuses) {
  EXPECT_EQ(ListFilePath(u"C:\\Temp\\"), u"C:\\Temp\\quenorclean.filelist");
  // 239 + 20 units and the terminator fill the 260 units exactly.
  const std::u16string fits = u"C:\\" + std::u16string(235, u'd') + u"\\";
  ASSERT_EQ(fits.size(), 239u);
  ASSERT_TRUE(ListFilePath(fits));
  EXPECT_EQ(ListFilePath(fits)->size(), 259u);
  EXPECT_FALSE(ListFilePath(fits + u"d"));
  EXPECT_FALSE(ListFilePath(std::u16string(5000, u'd')));
}

// --- the application and its command line ---------------------------------

TEST_F(ScanRequestTest, OneItemGoesOnTheCommandLineBetweenQuotesAndNoListIsWritten) {
  Select({u"C:\\dir\\file.txt"});
  ASSERT_EQ(Invoke(), Outcome::kOk);
  ASSERT_EQ(platform_.starts_.size(), 1u);
  EXPECT_EQ(platform_.starts_[0].file, kScanner);
  EXPECT_EQ(platform_.starts_[0].parameters, u"/scan \"C:\\dir\\file.txt\"");
  EXPECT_TRUE(platform_.files_.empty());
}

TEST_F(ScanRequestTest, ADriveRootKeepsItsBackslashBeforeTheClosingQuote) {
  Select({u"C:\\"});
  ASSERT_EQ(Invoke(), Outcome::kOk);
  EXPECT_EQ(platform_.starts_.at(0).parameters, u"/scan \"C:\\\"");
}

TEST_F(ScanRequestTest, SeveralItemsPassTheListFileInTheListFormat) {
  Select({u"C:\\a", u"C:\\b", u"C:\\c"});
  ASSERT_EQ(Invoke(), Outcome::kOk);
  ASSERT_EQ(platform_.starts_.size(), 1u);
  EXPECT_EQ(platform_.starts_[0].parameters, u"/scan /filelist=\"C:\\Temp\\quenorclean.filelist\"");
}

TEST_F(ScanRequestTest, APathTooLongForTheOldParameterBufferGoesInWhole) {
  const std::u16string path = u"C:\\" + std::u16string(600, u'n') + u"\\file.txt";
  Select({path});
  ASSERT_EQ(Invoke(), Outcome::kOk);
  EXPECT_EQ(platform_.starts_.at(0).parameters, u"/scan \"" + path + u"\"");
}

TEST_F(ScanRequestTest, OnlyWhatNoCommandLineCanHoldIsRefused) {
  // "<scanner>" /scan "<path>" and the terminator: 2 + 32 + 1 + 8 + path.
  const std::size_t room = kCommandLineUnits - (kScanner.size() + 2 + 1 + 8 + 1);
  Select({std::u16string(room, u'p')});
  EXPECT_EQ(Invoke(), Outcome::kOk);
  EXPECT_EQ(platform_.starts_.size(), 1u);
  Select({std::u16string(room + 1, u'p')});
  EXPECT_EQ(Invoke(), Outcome::kNothingStarted);
  EXPECT_EQ(platform_.starts_.size(), 1u);
  EXPECT_TRUE(selection_.empty());
}

TEST(FindApplication, TakesTheQuotedPathOfTheUninstallString) {
  test_support::InMemorySettings settings;
  EXPECT_FALSE(FindApplication(settings));  // no entry
  settings.Set(RegistryRoot::LocalMachine, kUninstallKey, u"UninstallString",
               u"\"C:\\Program Files\\Scanner\\app.exe\" /uninstall");
  EXPECT_EQ(FindApplication(settings), u"C:\\Program Files\\Scanner\\app.exe");
  settings.Set(RegistryRoot::LocalMachine, kUninstallKey, u"UninstallString", u"\"C:\\open ended.exe /u");
  EXPECT_EQ(FindApplication(settings), u"C:\\open ended.exe /u");
  settings.Set(RegistryRoot::LocalMachine, kUninstallKey, u"UninstallString", u"C:\\app.exe /uninstall");
  EXPECT_FALSE(FindApplication(settings));
  settings.Set(RegistryRoot::LocalMachine, kUninstallKey, u"UninstallString", u"\"\"C:\\app.exe");
  EXPECT_FALSE(FindApplication(settings));
  // The other deliverable's entry is not this one's.
  settings.Clear();
  settings.Set(RegistryRoot::LocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veltrane37",
               u"UninstallString", u"\"C:\\other.exe\"");
  EXPECT_FALSE(FindApplication(settings));
}

TEST(FindApplication, AValueThatFillsTheBufferWithoutTerminatorEndsThere) {
  test_support::InMemorySettings settings;
  const std::u16string full = u"\"" + std::u16string(511, u'x');  // 512 units, 1024 bytes
  settings.SetRaw(RegistryRoot::LocalMachine, kUninstallKey, u"UninstallString", full);
  EXPECT_EQ(FindApplication(settings), std::u16string(511, u'x'));
  settings.SetRaw(RegistryRoot::LocalMachine, kUninstallKey, u"UninstallString", full + u"x");
  EXPECT_FALSE(FindApplication(settings));  // larger than the buffer: no value
}

// --- what InvokeCommand returns and does to the selection -----------------

TEST_F(ScanRequestTest, AStringVerbOrAnotherOffsetIsRefusedAndTheSelectionKept) {
  Select({u"C:\\a"});
  EXPECT_EQ(Invoke(1), Outcome::kInvalidArgument);
  static const char kOpen[] = "open";
  EXPECT_EQ(Invoke(reinterpret_cast<std::uintptr_t>(kOpen)), Outcome::kInvalidArgument);
  EXPECT_EQ(selection_.size(), 1u);
  EXPECT_TRUE(platform_.starts_.empty());
}

TEST_F(ScanRequestTest, AnEmptySelectionIsRefusedAndSoIsASecondInvoke) {
  EXPECT_EQ(Invoke(), Outcome::kInvalidArgument);
  Select({u"C:\\a"});
  EXPECT_EQ(Invoke(), Outcome::kOk);
  EXPECT_EQ(Invoke(), Outcome::kInvalidArgument);
  EXPECT_EQ(platform_.starts_.size(), 1u);
}

TEST_F(ScanRequestTest, WhileTheApplicationRunsNothingStartsAndNoListIsWritten) {
  using application::PresenceOpen;
  // An event that refuses the caller exists all the same: an elevated
  // application's event, opened from Explorer's lower integrity level.
  for (const PresenceOpen running : {PresenceOpen::kOpened, PresenceOpen::kAccessDenied}) {
    platform_.presence_ = running;
    Select({u"C:\\a"});
    EXPECT_EQ(Invoke(), Outcome::kOk);
    EXPECT_TRUE(selection_.empty());
    Select({u"C:\\a", u"C:\\b"});
    EXPECT_EQ(Invoke(), Outcome::kOk);
    EXPECT_TRUE(selection_.empty());
  }
  EXPECT_TRUE(platform_.starts_.empty());
  EXPECT_TRUE(platform_.files_.empty());
  platform_.presence_ = PresenceOpen::kFailed;
  Select({u"C:\\a", u"C:\\b"});
  EXPECT_EQ(Invoke(), Outcome::kOk);
  EXPECT_EQ(platform_.starts_.size(), 1u);
}

TEST_F(ScanRequestTest, AListNameThatIsALinkADirectoryOrASecondNameIsLeftAsItIs) {
  const std::u16string list = u"C:\\Temp\\quenorclean.filelist";
  platform_.files_[list] = Utf16Le(u"kept");
  for (const ListFileFacts facts :
       {ListFileFacts{.reparse_point = true}, ListFileFacts{.directory = true}, ListFileFacts{.links = 2}}) {
    platform_.facts_ = facts;
    Select({u"C:\\a", u"C:\\b"});
    EXPECT_EQ(Invoke(), Outcome::kInvalidArgument);
    EXPECT_TRUE(selection_.empty());
  }
  EXPECT_EQ(platform_.File(list), Utf16Le(u"kept"));
  EXPECT_TRUE(platform_.starts_.empty());
}

TEST_F(ScanRequestTest, WithoutTheApplicationOrWhenItFailsToStartNothingIsStarted) {
  settings_.Clear();
  Select({u"C:\\a"});
  EXPECT_EQ(Invoke(), Outcome::kNothingStarted);
  EXPECT_TRUE(selection_.empty());
  Select({u"C:\\a", u"C:\\b"});
  EXPECT_EQ(Invoke(), Outcome::kNothingStarted);
  EXPECT_TRUE(selection_.empty());
  EXPECT_TRUE(platform_.starts_.empty());

  settings_.Set(RegistryRoot::LocalMachine, kUninstallKey, u"UninstallString", u"\"" + kScanner + u"\"");
  platform_.open_succeeds_ = false;
  Select({u"C:\\a"});
  EXPECT_EQ(Invoke(), Outcome::kNothingStarted);
  Select({u"C:\\a", u"C:\\b"});
  EXPECT_EQ(Invoke(), Outcome::kNothingStarted);
  EXPECT_EQ(platform_.starts_.size(), 2u);
  EXPECT_TRUE(selection_.empty());
}

TEST_F(ScanRequestTest, NoTemporaryDirectoryOrNoFileFailsTheListAndReleasesTheSelection) {
  platform_.temporary_directory_.reset();
  Select({u"C:\\a", u"C:\\b"});
  EXPECT_EQ(Invoke(), Outcome::kInvalidArgument);
  EXPECT_TRUE(selection_.empty());

  platform_.temporary_directory_ = u"C:\\Temp\\";
  platform_.create_succeeds_ = false;
  Select({u"C:\\a", u"C:\\b"});
  EXPECT_EQ(Invoke(), Outcome::kInvalidArgument);
  EXPECT_TRUE(selection_.empty());

  platform_.create_succeeds_ = true;
  platform_.throw_on_temporary_directory_ = true;
  Select({u"C:\\a", u"C:\\b"});
  EXPECT_EQ(Invoke(), Outcome::kInvalidArgument);
  EXPECT_TRUE(selection_.empty());
  EXPECT_TRUE(platform_.starts_.empty());
}

TEST_F(ScanRequestTest, ATemporaryDirectoryTooLongForTheListNameFailsWithoutAFile) {
  platform_.temporary_directory_ = u"C:\\" + std::u16string(236, u'd') + u"\\";  // 240 units
  Select({u"C:\\a", u"C:\\b"});
  EXPECT_EQ(Invoke(), Outcome::kInvalidArgument);
  EXPECT_TRUE(selection_.empty());
  EXPECT_TRUE(platform_.files_.empty());
  EXPECT_TRUE(platform_.starts_.empty());
}

TEST_F(ScanRequestTest, AFailedWriteLeavesThePartialFileAndStartsNothing) {
  std::u16string expected;
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(selection_.Append(u"C:\\some\\longer\\path\\name.txt"));
    expected += u"C:\\some\\longer\\path\\name.txt\r\n";
  }
  platform_.fail_write_at_ = 2;
  EXPECT_EQ(Invoke(), Outcome::kNothingStarted);
  EXPECT_TRUE(selection_.empty());
  EXPECT_TRUE(platform_.starts_.empty());
  const std::vector<std::byte>& partial = platform_.File(u"C:\\Temp\\quenorclean.filelist");
  EXPECT_FALSE(partial.empty());
  EXPECT_LT(partial.size(), expected.size() * 2);
  const std::vector<std::byte> whole = Utf16Le(expected);
  EXPECT_EQ(partial, std::vector<std::byte>(whole.begin(), whole.begin() + partial.size()));
}

// A heap whose next allocation fails, for the single path's private copy.
struct OneFailure {
  static inline bool fail = false;
  static void* Allocate(std::size_t bytes) { return std::exchange(fail, false) ? nullptr : std::malloc(bytes); }
};

TEST(InvokeScanCommand, ASinglePathThatCannotBeCopiedKeepsTheSelection) {
  Selection selection({&OneFailure::Allocate, &std::realloc, &std::free});
  ASSERT_TRUE(selection.Append(u"C:\\a"));
  FakePlatform platform;
  test_support::InMemorySettings settings;
  OneFailure::fail = true;
  EXPECT_EQ(InvokeScanCommand(0, selection, platform, settings), Outcome::kNothingStarted);
  EXPECT_EQ(selection.size(), 1u);
  EXPECT_EQ(selection[0], u"C:\\a");
}

}  // namespace
}  // namespace scanmenu
