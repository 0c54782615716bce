#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "platform/win32/one_instance.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_message_service.h"
#include "platform/win32/win32_register_bus.h"
#include "platform/win32/win32_system_calls.h"
#include "support/temp_folder.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"

namespace fu {
namespace {

// The FileError code the action raises, 0 when it raises none.
int FileErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const FileError& error) {
    return error.Code();
  }
  return 0;
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  }
  return bytes;
}

class Win32FilesTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (folder_.Path() / name).string(); }

  void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const auto file = files_.Create(path);
    file->Write(bytes);
    file->Close();
  }

  test::TempFolder folder_;
  Win32Files files_;
};

TEST_F(Win32FilesTest, WrittenBytesReadBackInPieces) {
  const std::string path = PathOf("FLASH_0_07.03.2024.SAV");
  const std::vector<std::uint8_t> bytes = Pattern(200000);  // several read chunks
  {
    const auto file = files_.Create(path);
    file->Write(std::span(bytes).first(10));
    file->Write(std::span(bytes).subspan(10));
    file->Close();
  }
  EXPECT_TRUE(files_.Exists(PathOf("flash_0_07.03.2024.sav")));

  const auto file = files_.OpenRead(path);
  std::array<std::uint8_t, 10> head{};
  file->ReadExact(head);
  EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
  // A bounded read stops at its limit, or earlier at the end.
  const std::vector<std::uint8_t> some = file->ReadAtMost(100000);
  EXPECT_TRUE(std::equal(some.begin(), some.end(), bytes.begin() + 10, bytes.begin() + 100010));
  EXPECT_EQ(some.size(), 100000u);
  const std::vector<std::uint8_t> rest = file->ReadAtMost(200000);
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), bytes.begin() + 100010, bytes.end()));
  EXPECT_EQ(rest.size(), bytes.size() - 100010);
  EXPECT_TRUE(file->ReadToEnd().empty());
  EXPECT_TRUE(file->ReadAtMost(1).empty());
  file->Close();
}

TEST_F(Win32FilesTest, AppendFlushRenameAndRemove) {
  const std::string tmp = PathOf("FLASH_0.TMP");
  const std::string sav = PathOf("FLASH_0.SAV");
  WriteFile(tmp, {1, 2});
  {
    const auto file = files_.OpenAppend(tmp);
    file->Write(std::vector<std::uint8_t>{3});
    file->Flush();
    file->Close();
  }
  WriteFile(sav, {9});
  EXPECT_EQ(FileErrorOf([&] { files_.Rename(tmp, sav); }), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(files_.OpenRead(sav)->ReadToEnd(), (std::vector<std::uint8_t>{9}));
  files_.Remove(sav);
  files_.Rename(tmp, sav);
  EXPECT_FALSE(files_.Exists(tmp));
  EXPECT_EQ(files_.OpenRead(sav)->ReadToEnd(), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(FileErrorOf([&] { files_.Remove(tmp); }), FileError::kFileNotFound);
}

TEST_F(Win32FilesTest, CreateEmptiesAnExistingFile) {
  const std::string path = PathOf("backup.sav");
  WriteFile(path, Pattern(100));
  WriteFile(path, {1, 2, 3});
  EXPECT_EQ(files_.OpenRead(path)->ReadToEnd(), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(Win32FilesTest, ReadingPastTheEndRaises100AndWritingNeverReads) {
  const std::string path = PathOf("short.sav");
  WriteFile(path, {1, 2, 3});
  const auto file = files_.OpenRead(path);
  std::array<std::uint8_t, 4> four{};
  EXPECT_EQ(FileErrorOf([&] { file->ReadExact(four); }), FileError::kReadPastEnd);

  const auto writing = files_.Create(PathOf("other.sav"));
  std::array<std::uint8_t, 1> one{};
  EXPECT_EQ(FileErrorOf([&] { writing->ReadExact(one); }), FileError::kAccessDenied);
}

TEST_F(Win32FilesTest, FailuresCarryTheSystemsErrorCode) {
  EXPECT_EQ(FileErrorOf([&] { files_.OpenRead(PathOf("missing.sav")); }), FileError::kFileNotFound);
  EXPECT_EQ(FileErrorOf([&] { files_.OpenRead(PathOf("no folder\\x.sav")); }),
            FileError::kPathNotFound);
  EXPECT_EQ(FileErrorOf([&] { files_.Create(PathOf("no folder\\x.sav")); }),
            FileError::kPathNotFound);
  EXPECT_EQ(FileErrorOf([&] { files_.Create(folder_.Path().string()); }), FileError::kAccessDenied);
  EXPECT_FALSE(files_.Exists(PathOf("missing.sav")));
  EXPECT_FALSE(files_.Exists(folder_.Path().string()));  // a folder is no file

  const auto file = files_.Create(PathOf("closed.sav"));
  file->Close();
  const std::vector<std::uint8_t> byte{0};
  EXPECT_EQ(FileErrorOf([&] { file->Write(byte); }), ERROR_INVALID_HANDLE);
  EXPECT_EQ(FileErrorOf([&] { file->Close(); }), 0);  // closing twice is harmless
}

TEST(Win32Clock, DatesFollowThePictureOrTheUsersShortFormat) {
  EXPECT_EQ(FormatDate(2024, 3, 7, "dd.MM.yyyy"), "07.03.2024");
  EXPECT_EQ(FormatDate(2003, 12, 31, "yyyy-MM-dd"), "2003-12-31");

  // The user's format depends on the locale Wine runs in: only its parts are
  // certain.
  const std::string date = FormatDate(2024, 11, 27);
  EXPECT_NE(date.find("27"), std::string::npos) << date;
  EXPECT_NE(date.find("11"), std::string::npos) << date;
  EXPECT_NE(date.find("24"), std::string::npos) << date;

  const std::string today = Win32Clock().ShortDate();
  EXPECT_FALSE(today.empty());
  EXPECT_TRUE(std::none_of(today.begin(), today.end(), [](char c) {
    return std::isalpha(static_cast<unsigned char>(c));
  })) << today;
}

TEST(Win32SystemCalls, ModulePathPlatformAndFileCopies) {
  Win32SystemCalls system;
  const std::string module = system.GetModuleFileName();
  ASSERT_GT(module.size(), 3u);
  EXPECT_EQ(module.substr(1, 2), ":\\") << module;
  std::string name = module.substr(module.rfind('\\') + 1);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  EXPECT_EQ(name, "win32_tests.exe");

  EXPECT_EQ(system.PlatformId(), VER_PLATFORM_WIN32_NT);

  test::TempFolder folder;
  const std::string from = (folder.Path() / "HWAccess.VxD").string();
  const std::string to = (folder.Path() / "copy.vxd").string();
  Win32Files files;
  files.Create(from)->Write(Pattern(300));
  EXPECT_TRUE(system.CopyFile(from, to, true));
  EXPECT_FALSE(system.CopyFile(from, to, true));
  EXPECT_EQ(system.GetLastError(), static_cast<std::uint32_t>(ERROR_FILE_EXISTS));
  EXPECT_TRUE(system.CopyFile(from, to, false));
  EXPECT_EQ(files.OpenRead(to)->ReadToEnd(), Pattern(300));

  const Handle file = system.CreateFile(to, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  ASSERT_NE(file, kInvalidHandle);
  EXPECT_TRUE(system.CloseHandle(file));
  EXPECT_EQ(system.CreateFile((folder.Path() / "none").string(), GENERIC_READ, 0, OPEN_EXISTING, 0),
            kInvalidHandle);
  EXPECT_EQ(system.GetLastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

// A buffer of this process stands in for a mapped card window.
TEST(Win32RegisterBus, OneWordAtTheProcessAddress) {
  Win32SystemCalls system;
  Win32RegisterBus bus;
  std::array<std::uint32_t, 3> words{0x11111111, 0x22222222, 0x33333333};
  const LinearAddress middle = system.ProcessAddress(&words[1]);

  bus.Write32(middle, 0xA5C3F00D);
  EXPECT_EQ(words, (std::array<std::uint32_t, 3>{0x11111111, 0xA5C3F00D, 0x33333333}));
  words[1] = 0x12345678;
  EXPECT_EQ(bus.Read32(middle), 0x12345678u);
  EXPECT_EQ(bus.Read32(middle + 4), 0x33333333u);
}

TEST(Win32MessageService, BoxStylesAndAnswers) {
  // Win32 has no Cancel-only box: one OK button, answered as Cancel.
  const std::uint32_t cancel = MessageBoxStyle(MessageKind::Error, Buttons::Cancel, false);
  EXPECT_EQ(cancel, static_cast<std::uint32_t>(MB_OK | MB_ICONERROR | MB_TASKMODAL));
  EXPECT_EQ(MessageBoxAnswer(IDOK, Buttons::Cancel), Answer::Cancel);

  EXPECT_EQ(MessageBoxStyle(MessageKind::Plain, Buttons::YesNo, true),
            static_cast<std::uint32_t>(MB_YESNO | MB_APPLMODAL));
  EXPECT_EQ(MessageBoxAnswer(IDYES, Buttons::YesNo), Answer::Yes);
  EXPECT_EQ(MessageBoxAnswer(0, Buttons::YesNo), Answer::No);  // the box could not be shown
  // A question whose safe answer is No: Enter chooses No.
  EXPECT_EQ(MessageBoxStyle(MessageKind::Question, Buttons::YesNoDefaultNo, true),
            static_cast<std::uint32_t>(MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION | MB_APPLMODAL));
  EXPECT_EQ(MessageBoxAnswer(IDYES, Buttons::YesNoDefaultNo), Answer::Yes);
}

// Windows 2000 and later put the name in the global namespace, so that programs
// in other sessions count; Windows 95/98 and NT 4 take no backslash in it.
TEST(OneInstance, NameIsGlobalWhereTheSystemHasAGlobalNamespace) {
  const std::string bare = "FlashUpdate.EinProgrammJePC";
  const struct {
    unsigned long platform;
    unsigned long major;
    std::string name;
  } kSystems[] = {
      {VER_PLATFORM_WIN32_WINDOWS, 4, bare},          // 95, 98, Me
      {VER_PLATFORM_WIN32_NT, 4, bare},               // NT 4
      {VER_PLATFORM_WIN32_NT, 5, "Global\\" + bare},  // 2000, XP
      {VER_PLATFORM_WIN32_NT, 10, "Global\\" + bare},
  };
  for (const auto& system : kSystems) {
    EXPECT_EQ(OneInstanceName(system.platform, system.major), system.name) << system.major;
  }
}

TEST(OneInstance, SecondProgramFindsTheNameTakenUntilTheFirstEnds) {
  auto first = std::make_unique<OneInstance>();
  EXPECT_TRUE(first->First());
  {
    const OneInstance second;  // the same mutex, as another process would find it
    EXPECT_FALSE(second.First());
  }
  first.reset();
  EXPECT_TRUE(OneInstance().First());
}

}  // namespace
}  // namespace fu
