#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "base/errors.h"
#include "sim/power_cut.h"
#include "sim/sim_drive.h"

namespace fu::sim {
namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

// A host folder of its own for each test, removed afterwards.
class SimDriveTest : public ::testing::Test {
 protected:
  SimDriveTest() : root_(UniqueFolder()), drive_(root_) {}
  ~SimDriveTest() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  static fs::path UniqueFolder() {
    static std::atomic<int> counter{0};
    std::random_device random;
    return fs::temp_directory_path() /
           ("fu_sim_drive_" + std::to_string(random()) + "_" + std::to_string(++counter));
  }

  void WriteFile(std::string_view path, const Bytes& bytes) {
    auto file = drive_.Create(path);
    file->Write(bytes);
    file->Close();
  }

  fs::path root_;
  SimDrive drive_;
};

// The system error code the call raises, or -1 when it raises none.
int CodeOf(const std::function<void()>& call, std::string* text = nullptr) {
  try {
    call();
  } catch (const FileError& e) {
    if (text != nullptr) {
      *text = std::string(e.Text());
    }
    return e.Code();
  }
  return -1;
}

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 256) & 0xFF);
  }
  return bytes;
}

TEST_F(SimDriveTest, ResolvesDriveAndNamesWithoutRegardToCase) {
  const Bytes program = {1, 2, 3};
  drive_.Install("C:\\Programme\\FlashUpdate\\QX4FLASH_PCI.PCI", program);

  EXPECT_TRUE(fs::is_regular_file(root_ / "Programme" / "FlashUpdate" / "QX4FLASH_PCI.PCI"));
  EXPECT_EQ(drive_.OpenRead("c:\\programme\\flashupdate\\qx4flash_pci.pci")->ReadToEnd(), program);
  EXPECT_TRUE(drive_.Exists("C:/PROGRAMME/FlashUpdate/Qx4Flash_Pci.pci"));
  EXPECT_TRUE(drive_.Exists("c:\\\\Programme\\.\\Tools\\..\\FlashUpdate\\QX4FLASH_PCI.PCI"));

  // Replacing a file keeps the spelling it has on the drive.
  WriteFile("C:\\PROGRAMME\\flashupdate\\qx4flash_pci.pci", {9});
  EXPECT_EQ(drive_.List("c:\\programme\\FLASHUPDATE"),
            std::vector<std::string>{"QX4FLASH_PCI.PCI"});
  EXPECT_EQ(drive_.Contents("C:\\Programme\\FlashUpdate\\QX4FLASH_PCI.PCI"), Bytes{9});
  EXPECT_EQ(drive_.List(), std::vector<std::string>{"Programme"});
}

TEST_F(SimDriveTest, Cp1252NamesAreUtf8OnTheHostAndMatchAcrossCase) {
  WriteFile("C:\\Prüfstand"_cp, {});  // a file first: a folder is asked for below
  EXPECT_EQ(CodeOf([&] { drive_.Install("C:\\Prüfstand\\x"_cp, Bytes{}); }), 3);

  drive_.Install("C:\\Messplätze\\Übersicht.txt"_cp, Bytes{42});
  EXPECT_TRUE(fs::is_regular_file(root_ / fs::path(u8"Messplätze") / fs::path(u8"Übersicht.txt")));
  EXPECT_EQ(drive_.Contents("c:\\MESSPLÄTZE\\übersicht.TXT"_cp), Bytes{42});
  EXPECT_EQ(drive_.List("C:\\messplätze"_cp),
            std::vector<std::string>{std::string("Übersicht.txt"_cp)});
}

// A case-sensitive host can hold names that Windows would take as one; the
// exact spelling then wins.
TEST_F(SimDriveTest, ExactSpellingWinsOnACaseSensitiveHost) {
  std::ofstream(root_ / "a.sav", std::ios::binary) << 'l';
  if (fs::exists(root_ / "A.SAV")) {
    GTEST_SKIP() << "the host compares names without regard to case";
  }
  std::ofstream(root_ / "A.SAV", std::ios::binary) << 'U';
  EXPECT_EQ(drive_.Contents("C:\\a.sav"), Bytes{'l'});
  EXPECT_EQ(drive_.Contents("C:\\A.SAV"), Bytes{'U'});
}

TEST_F(SimDriveTest, BadPathsRaiseTheirCodeAndCreateNothing) {
  struct Case {
    std::string path;
    int code;
  };
  const std::vector<Case> cases = {
      {"D:\\FLASH_0_05.03.2003.SAV", 3},
      {"FLASH_0_05.03.2003.SAV", 3},
      {"C:FLASH_0_05.03.2003.SAV", 3},
      {"\\FLASH_0_05.03.2003.SAV", 3},
      {"C:\\Fehlt\\FLASH_0_05.03.2003.SAV", 3},
      {"C:\\FLASH_0_3/5/2003.SAV", 3},  // a short date with slashes
      {"C:\\FLASH_0_5:3:2003.SAV", 123},
      {"C:\\FLASH?.SAV", 123},
      {"C:\\FLASH*.SAV", 123},
      {"C:\\\"FLASH\".SAV", 123},
      {"C:\\<FLASH>.SAV", 123},
      {"C:\\FLASH|0.SAV", 123},
      {"C:\\FLASH\t0.SAV", 123},
      {"C:\\Fehlt\\FLASH?.SAV", 123},
      {"C:\\...", 123},
      {"C:\\NEU\\", 123},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(CodeOf([&] { drive_.Create(c.path); }, &text), c.code) << c.path;
    EXPECT_EQ(text, c.code == 3 ? std::string("Ungültiger Dateiname"_cp) : "I/O-Fehler 123")
        << c.path;
    EXPECT_EQ(CodeOf([&] { drive_.OpenRead(c.path); }), c.code) << c.path;
    EXPECT_FALSE(drive_.Exists(c.path)) << c.path;
  }
  EXPECT_EQ(drive_.FilesCreated(), 0);
  EXPECT_TRUE(fs::is_empty(root_));
}

TEST_F(SimDriveTest, MissingFilesAndFoldersAsFiles) {
  drive_.InstallFolder("C:\\Programme\\FlashUpdate");
  std::string text;
  EXPECT_EQ(CodeOf([&] { drive_.OpenRead("C:\\FLASH_0_05.03.2003.SAV"); }, &text), 2);
  EXPECT_EQ(text, "Datei nicht gefunden");
  EXPECT_EQ(CodeOf([&] { drive_.OpenRead("C:\\Programme\\FlashUpdate"); }, &text), 5);
  EXPECT_EQ(text, "Dateizugriff verweigert");
  EXPECT_EQ(CodeOf([&] { drive_.Create("c:\\programme\\"); }), 5);
  EXPECT_EQ(CodeOf([&] { drive_.Create("C:\\"); }), 5);
  EXPECT_FALSE(drive_.Exists("C:\\Programme"));
  EXPECT_EQ(CodeOf([&] { drive_.List("C:\\Fehlt"); }), 3);
  EXPECT_TRUE(drive_.Untouched());
}

TEST_F(SimDriveTest, TrailingDotsAndBlanksAreDropped) {
  WriteFile("C:\\FLASH_0_05.03.2003.SAV. .", {7});
  EXPECT_EQ(drive_.List(), std::vector<std::string>{"FLASH_0_05.03.2003.SAV"});
  EXPECT_TRUE(drive_.Exists("C:\\flash_0_05.03.2003.sav "));
  EXPECT_TRUE(fs::is_regular_file(root_ / "FLASH_0_05.03.2003.SAV"));
}

TEST_F(SimDriveTest, BackupSizedFileRoundTripsThroughTheHost) {
  const Bytes backup = Pattern(262152);
  WriteFile("C:\\FLASH_0_05.03.2003.SAV", backup);
  EXPECT_EQ(drive_.FilesCreated(), 1);
  EXPECT_EQ(drive_.Writes(), 1);
  EXPECT_EQ(drive_.BytesWritten(), 262152u);

  const fs::path host = root_ / "FLASH_0_05.03.2003.SAV";
  ASSERT_EQ(fs::file_size(host), 262152u);
  std::ifstream raw(host, std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(raw), {}), backup);

  // Another drive on the same folder: the state outlives the program.
  SimDrive again(root_);
  auto file = again.OpenRead("c:\\flash_0_05.03.2003.sav");
  Bytes entries(262144);
  file->ReadExact(entries);
  EXPECT_TRUE(std::equal(entries.begin(), entries.end(), backup.begin()));
  // A bounded read stops at its limit, or earlier at the end.
  EXPECT_EQ(file->ReadAtMost(3), Bytes(backup.end() - 8, backup.end() - 5));
  EXPECT_EQ(file->ReadAtMost(100), Bytes(backup.end() - 5, backup.end()));
  EXPECT_TRUE(file->ReadAtMost(1).empty());
  EXPECT_TRUE(file->ReadToEnd().empty());
  std::string text;
  Bytes one(1);
  EXPECT_EQ(CodeOf([&] { file->ReadExact(one); }, &text), 100);
  EXPECT_EQ(text, "Lesen nach Dateiende (EOF)");
  file->Close();

  // The second file opened from now on reads one byte altered, across both
  // kinds of read; the file keeps what was written.
  again.SetAlteredRead(SimDrive::AlteredRead{2, 262150});
  EXPECT_EQ(again.OpenRead("C:\\FLASH_0_05.03.2003.SAV")->ReadToEnd(), backup);
  auto altered = again.OpenRead("C:\\FLASH_0_05.03.2003.SAV");
  altered->ReadExact(entries);
  Bytes expected(backup.end() - 8, backup.end());
  expected[6] ^= 0xFF;
  EXPECT_EQ(altered->ReadToEnd(), expected);
  EXPECT_EQ(again.OpenRead("C:\\FLASH_0_05.03.2003.SAV")->ReadToEnd(), backup);
  EXPECT_EQ(again.AlteredBytes(), 1u);
  EXPECT_EQ(again.Contents("C:\\FLASH_0_05.03.2003.SAV"), backup);
}

// A second backup of the same day replaces the first.
TEST_F(SimDriveTest, CreateEmptiesAnExistingFile) {
  WriteFile("C:\\A.SAV", Pattern(10));
  WriteFile("C:\\a.sav", {1, 2});
  EXPECT_EQ(drive_.Contents("C:\\A.SAV"), (Bytes{1, 2}));
  EXPECT_EQ(drive_.FilesCreated(), 2);
}

TEST_F(SimDriveTest, ReadOnlyDriveRefusesEveryChange) {
  drive_.Install("C:\\A.SAV", Bytes{5});
  auto open = drive_.Create("C:\\B.SAV");
  drive_.ResetCounts();
  drive_.SetReadOnly(true);

  std::string text;
  EXPECT_EQ(CodeOf([&] { drive_.Create("C:\\FLASH_0_05.03.2003.SAV"); }, &text), 5);
  EXPECT_EQ(text, "Dateizugriff verweigert");
  EXPECT_EQ(CodeOf([&] { drive_.Create("C:\\A.SAV"); }), 5);
  EXPECT_EQ(CodeOf([&] { open->Write(Bytes{1}); }), 5);
  EXPECT_EQ(CodeOf([&] { drive_.Create("C:\\Fehlt\\A.SAV"); }), 3);  // the path comes first
  open->Close();

  EXPECT_TRUE(drive_.Untouched());
  EXPECT_FALSE(drive_.Exists("C:\\FLASH_0_05.03.2003.SAV"));
  EXPECT_EQ(drive_.Contents("C:\\A.SAV"), Bytes{5});
  EXPECT_EQ(fs::file_size(root_ / "B.SAV"), 0u);

  drive_.SetReadOnly(false);
  WriteFile("C:\\A.SAV", {6});
  EXPECT_EQ(drive_.Contents("C:\\A.SAV"), Bytes{6});
}

TEST_F(SimDriveTest, FullDriveKeepsWhatFitBeforeTheFailingWrite) {
  drive_.SetFreeSpace(100);
  auto file = drive_.Create("C:\\FLASH_0_05.03.2003.SAV");
  file->Write(Pattern(60));
  std::string text;
  EXPECT_EQ(CodeOf([&] { file->Write(Pattern(41)); }, &text), 112);
  EXPECT_EQ(text, "I/O-Fehler 112");
  EXPECT_EQ(drive_.FreeSpace(), 40u);
  file->Write(Pattern(40));  // exactly what is left
  EXPECT_EQ(drive_.FreeSpace(), 0u);
  EXPECT_EQ(CodeOf([&] { file->Write(Bytes{1}); }), 112);
  file->Close();

  Bytes expected = Pattern(60);
  const Bytes tail = Pattern(40);
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(drive_.Contents("C:\\FLASH_0_05.03.2003.SAV"), expected);
  EXPECT_EQ(drive_.Writes(), 2);
  EXPECT_EQ(drive_.BytesWritten(), 100u);

  // Emptying the file gives its space back; lifting the limit ends the fault.
  drive_.Create("C:\\FLASH_0_05.03.2003.SAV")->Close();
  EXPECT_EQ(drive_.FreeSpace(), 100u);
  drive_.SetFreeSpace(std::nullopt);
  WriteFile("C:\\B.SAV", Pattern(4096));
  EXPECT_EQ(drive_.Contents("C:\\B.SAV").size(), 4096u);
}

TEST_F(SimDriveTest, AppendFlushRenameAndRemoveAreLoggedInOrder) {
  drive_.SetFreeSpace(100);
  WriteFile("C:\\A.TMP", Pattern(10));
  auto append = drive_.OpenAppend("C:\\a.tmp");
  append->Write(Bytes{1, 2});
  append->Flush();
  append->Close();
  Bytes expected = Pattern(10);
  expected.insert(expected.end(), {1, 2});
  EXPECT_EQ(drive_.Contents("C:\\A.TMP"), expected);
  drive_.Install("C:\\B.SAV", Bytes{9});
  EXPECT_EQ(CodeOf([&] { drive_.Rename("C:\\A.TMP", "C:\\b.sav"); }), 183);  // never replaced
  EXPECT_EQ(drive_.Contents("C:\\B.SAV"), Bytes{9});
  drive_.Rename("C:\\A.TMP", "C:\\A.SAV");
  EXPECT_EQ(drive_.Contents("C:\\A.SAV"), expected);
  EXPECT_FALSE(drive_.Exists("C:\\A.TMP"));
  EXPECT_EQ(CodeOf([&] { drive_.Remove("C:\\A.TMP"); }), 2);
  drive_.Remove("C:\\A.SAV");
  EXPECT_EQ(drive_.FreeSpace(), 100u);  // the removed file's space is back
  EXPECT_EQ(CodeOf([&] { drive_.OpenRead("C:\\B.SAV")->Flush(); }), 5);
  EXPECT_EQ(drive_.Log(),
            (std::vector<std::string>{"create C:\\A.TMP", "append C:\\a.tmp", "flush C:\\a.tmp",
                                      "rename C:\\A.TMP > C:\\A.SAV", "remove C:\\A.SAV"}));
  drive_.SetReadOnly(true);
  EXPECT_EQ(CodeOf([&] { drive_.OpenAppend("C:\\B.SAV"); }), 5);
  EXPECT_EQ(CodeOf([&] { drive_.Remove("C:\\B.SAV"); }), 5);
  EXPECT_EQ(CodeOf([&] { drive_.Rename("C:\\B.SAV", "C:\\C.SAV"); }), 5);
}

TEST_F(SimDriveTest, FilesRefuseTheWrongDirectionAndUseAfterClose) {
  drive_.Install("C:\\A.SAV", Bytes{1, 2, 3});
  auto reading = drive_.OpenRead("C:\\A.SAV");
  EXPECT_EQ(CodeOf([&] { reading->Write(Bytes{1}); }), 5);
  auto writing = drive_.Create("C:\\B.SAV");
  Bytes one(1);
  EXPECT_EQ(CodeOf([&] { writing->ReadExact(one); }), 5);
  EXPECT_EQ(CodeOf([&] { writing->ReadToEnd(); }), 5);
  writing->Close();
  writing->Close();
  EXPECT_EQ(CodeOf([&] { writing->Write(Bytes{1}); }), 6);
  reading->Close();
  EXPECT_EQ(CodeOf([&] { reading->ReadToEnd(); }), 6);
}

// --- power cuts ---

using FileMap = std::map<std::string, Bytes>;

// The files at the root of a drive's folder, as a drive started anew there sees them.
FileMap RootFiles(const fs::path& root) {
  SimDrive drive(root);
  FileMap files;
  for (const std::string& name : drive.List()) {
    files[name] = drive.Contents("C:\\" + name);
  }
  return files;
}

// Each row starts from a durable OLD.SAV holding 1 2 3 4, makes its changes and
// loses the power.
TEST_F(SimDriveTest, PowerCutKeepsWhatWasMadeDurable) {
  struct Case {
    std::string what;
    std::function<void(SimDrive&)> changes;
    FileMap after;
  };
  const Bytes old = {1, 2, 3, 4};
  const auto append = [](SimDrive& d, const Bytes& bytes) {
    d.OpenAppend("C:\\OLD.SAV")->Write(bytes);
  };
  const auto create = [](SimDrive& d, std::string_view path, const Bytes& bytes, bool flush) {
    auto file = d.Create(path);
    file->Write(bytes);
    if (flush) {
      file->Flush();
    }
  };
  const std::vector<Case> cases = {
      {"unflushed new file",
       [&](SimDrive& d) {
         create(d, "C:\\NEW", {5, 6}, false);
       },
       {{"OLD.SAV", old}}},
      {"flushed new file",
       [&](SimDrive& d) {
         create(d, "C:\\NEW", {5, 6}, true);
       },
       {{"NEW", {5, 6}}, {"OLD.SAV", old}}},
      {"torn append",
       [&](SimDrive& d) {
         append(d, {5, 6, 7, 8, 9});
       },
       {{"OLD.SAV", {1, 2, 3, 4, 5, 6}}}},
      {"only the last write tears",
       [&](SimDrive& d) {
         append(d, {5, 6});
         append(d, {7, 8});
       },
       {{"OLD.SAV", old}}},
      {"torn after a flush of the same file",
       [](SimDrive& d) {
         auto file = d.OpenAppend("C:\\OLD.SAV");
         file->Write(Bytes{5, 6});
         file->Flush();
         file->Write(Bytes{7, 8, 9});
       },
       {{"OLD.SAV", {1, 2, 3, 4, 5, 6, 7}}}},
      {"emptied, not flushed",
       [&](SimDrive& d) { create(d, "C:\\OLD.SAV", {9}, false); },
       {{"OLD.SAV", old}}},
      {"name made durable by another flush",
       [&](SimDrive& d) {
         create(d, "C:\\A", {5}, false);
         create(d, "C:\\B", {6}, true);
       },
       {{"A", {}}, {"B", {6}}, {"OLD.SAV", old}}},
      {"remove, no flush after", [&](SimDrive& d) { d.Remove("C:\\OLD.SAV"); }, {{"OLD.SAV", old}}},
      {"remove, then a flush",
       [&](SimDrive& d) {
         d.Remove("C:\\OLD.SAV");
         create(d, "C:\\B", {}, true);
       },
       {{"B", {}}}},
      {"rename writes through, with the remove before it",
       [&](SimDrive& d) {
         create(d, "C:\\T", {5, 6}, true);
         d.Remove("C:\\OLD.SAV");
         d.Rename("C:\\T", "C:\\S");
       },
       {{"S", {5, 6}}}},
      {"rename of an unflushed file, whose write then tears",
       [&](SimDrive& d) {
         create(d, "C:\\T", {5, 6}, false);
         d.Rename("C:\\T", "C:\\S");
       },
       {{"OLD.SAV", old}, {"S", {5}}}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const fs::path root = root_ / std::to_string(i);
    SimDrive drive(root);
    drive.Install("C:\\OLD.SAV", old);
    cases[i].changes(drive);
    drive.LosePower();
    EXPECT_EQ(RootFiles(root), cases[i].after) << cases[i].what;
  }
}

// A backup and a journal entry, cut at each of its changes in turn.
TEST_F(SimDriveTest, CutPowerAtFailsTheNthChange) {
  const std::vector<FileMap> after_cut = {
      {{"OLD.SAV", {1, 2, 3, 4}}},                             // create
      {{"OLD.SAV", {1, 2, 3, 4}}},                             // write
      {{"OLD.SAV", {1, 2, 3, 4}}},                             // flush
      {{"OLD.SAV", {1, 2, 3, 4}}, {"T", {9, 9}}},              // rename
      {{"OLD.SAV", {1, 2, 3, 4, 5, 6}}, {"S", {9, 9}}},        // append, torn by the cut
      {{"OLD.SAV", {1, 2, 3, 4, 5, 6}}, {"S", {9, 9}}},        // flush: the append tears
      {{"OLD.SAV", {1, 2, 3, 4, 5, 6, 7, 8}}, {"S", {9, 9}}},  // no cut
  };
  for (std::uint32_t n = 1; n <= after_cut.size(); ++n) {
    const fs::path root = root_ / std::to_string(n);
    SimDrive drive(root);
    drive.Install("C:\\OLD.SAV", Bytes{1, 2, 3, 4});
    const std::uint32_t start = drive.Changes();
    drive.CutPowerAt(n == after_cut.size() ? 0 : n);
    bool cut = false;
    try {
      auto backup = drive.Create("C:\\T");
      backup->Write(Bytes{9, 9});
      backup->Flush();
      backup->Close();
      drive.Rename("C:\\T", "C:\\S");
      auto journal = drive.OpenAppend("C:\\OLD.SAV");
      journal->Write(Bytes{5, 6, 7, 8});
      journal->Flush();
    } catch (const PowerCut&) {
      cut = true;
    }
    EXPECT_EQ(cut, n < after_cut.size()) << n;
    EXPECT_EQ(drive.Changes() - start, std::min<std::uint32_t>(n, 6)) << n;
    drive.LosePower();
    EXPECT_EQ(RootFiles(root), after_cut[n - 1]) << n;
  }
}

}  // namespace
}  // namespace fu::sim
