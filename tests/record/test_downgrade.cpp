#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "record/downgrade.h"
#include "record/revision.h"
#include "support/sample_records.h"

namespace fu {
namespace {

class Downgrade : public ::testing::Test {
 protected:
  RecordV12 Run() {
    RecordV12 target;
    EXPECT_TRUE(DowngradeRecord(source_, target));
    return target;
  }
  std::vector<std::string> HardwareNames() {
    const RecordV12 r = Run();
    std::vector<std::string> names;
    for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
      names.push_back(r.Get(v12::HardwareOptionName(k)));
    }
    return names;
  }

  RecordV13 source_ = test::SampleRecordV13();
};

const std::string kFree = "Nicht installiert";

TEST_F(Downgrade, SampleRecordBecomesARevision12Record) {
  const RecordV12 r = Run();
  EXPECT_EQ(RecognizeRevision(r), kRevision12);
  EXPECT_EQ(r.Get(v12::VersionMajor(0)), 2);
  EXPECT_EQ(r.Get(v12::VersionMinor(0)), 7);
  EXPECT_EQ(r.Get(v12::VersionRevision(0)), "b");
  EXPECT_EQ(r.Get(v12::VersionRevision(1)), "1.2");
  EXPECT_EQ(r.Get(v12::VersionDate(0)), "12.03.98");
  EXPECT_EQ(r.Get(v12::VersionDate(2)), "24.12.02");
  EXPECT_EQ(r.Get(v12::ProcessorMaskSet), "0K43G");
  EXPECT_EQ(r.Get(v12::ProcessorClock), "100 MHZ");
  EXPECT_EQ(r.Get(v12::ProcessorDateCode), "0142");
  EXPECT_EQ(r.Get(v12::FlashClock), "70 MHZ");
  EXPECT_EQ(r.Get(v12::FlashValue), 0x0123);
  EXPECT_EQ(r.Get(v12::FlashCode), "D01000");
  EXPECT_EQ(r.Get(v12::A_In.count), 16);
  EXPECT_EQ(r.Get(v12::A_In.bits), 16);
  EXPECT_EQ(r.Get(v12::A_In.rate), "500 KHZ");
  EXPECT_EQ(r.Get(v12::A_InDiffCount), "8");
  EXPECT_EQ(r.Get(v12::A_Out.bits), 12);
  EXPECT_EQ(r.Get(v12::D_In.rate), "10 MHZ");
  EXPECT_EQ(r.Get(v12::D_Out.count), 24);
  EXPECT_EQ(r.Get(v12::D_Out.bits), 24);
  EXPECT_EQ(r.Get(v12::D_Out.rate), "10 MHZ");
  EXPECT_EQ(r.Get(v12::iCT.rate), "20 KHZ");
  EXPECT_EQ(r.Get(v12::CT.bits), 24);
  EXPECT_EQ(r.Get(v12::CardName), "RT/Count16");
  EXPECT_EQ(r.Get(v12::Customer), "Prüflabor Süd"_cp);
  EXPECT_EQ(r.Get(v12::ShortCode), "RTC16");
  EXPECT_EQ(r.Get(v12::Date), "05.03.2003");
  EXPECT_EQ(r.Get(v12::SoftwareOptionName(0)), "Online FFT");
  EXPECT_EQ(r.Get(v12::SoftwareOptionName(1)), "Interne Linearisierung");
  EXPECT_EQ(r.Get(v12::SoftwareOptionName(2)), kFree);
  EXPECT_EQ(r.Get(v12::ExtraText), "Sonderabgleich 2003");
  EXPECT_EQ(r.Get(v12::SerialNumber), "RTC-0311-0007");
  // Bytes outside the fields stay as the zero-filled buffer had them.
  EXPECT_EQ(r.Bytes()[0], 0);
  EXPECT_EQ(r.Bytes()[150], 0);
  EXPECT_EQ(r.Bytes()[1735], 0);
}

TEST_F(Downgrade, PwmCountReservesTheFirstHardwareSlot) {
  source_.HardwareOptions = {0x08};
  source_.PWM.Count = 8;
  EXPECT_EQ(HardwareNames(), (std::vector<std::string>{kFree, "8-Kanal PWM", kFree, kFree, kFree,
                                                       kFree, kFree, kFree, kFree, kFree}));
  source_.PWM.Count = 0;
  EXPECT_EQ(HardwareNames()[0], "0-Kanal PWM");
}

TEST_F(Downgrade, OneOptionCanFillTwoSlots) {
  source_.PWM.Count = 0;
  source_.HardwareOptions = {0x01};
  const auto names = HardwareNames();
  EXPECT_EQ(names[0], std::string("Periodendauerzähler"_cp));
  EXPECT_EQ(names[1], std::string("Zählerauflösung 1 Hz"_cp));
  EXPECT_EQ(names[2], kFree);
  source_.HardwareOptions = {0x02};
  EXPECT_EQ(HardwareNames()[0], "Up/Down Counter");
  EXPECT_EQ(HardwareNames()[1], kFree);
}

TEST_F(Downgrade, SlotsBeyondTheTenthAreDropped) {
  source_.PWM.Count = 4;
  source_.HardwareOptions = {0xFF, 0xFF, 0xFF};  // also bits without a name
  EXPECT_EQ(
      HardwareNames(),
      (std::vector<std::string>{
          kFree, std::string("Periodendauerzähler"_cp), std::string("Zählerauflösung 1 Hz"_cp),
          "Up/Down Counter", "4-Kanal PWM", "PWM-Ausgabe", "D/A-Wandler",
          std::string("Multiplexer mit Überspannungsschutz"_cp), "jede Periode", "Dual-Wandler"}));
  source_.PWM.Count = 0;
  source_.HardwareOptions = {0x00, 0xFD};  // 8, 10..15: the order puts 11 and 12 before 10
  EXPECT_EQ(HardwareNames(),
            (std::vector<std::string>{
                "Dual-Wandler", "Coprozessor", "Coprozessor 56311", "TTL Bitweise",
                std::string("1-Kanal Inkrementalzähler"_cp), "Regenerator (Automotiv)",
                std::string("MH-Zählererweiterung"_cp), kFree, kFree, kFree}));
}

TEST_F(Downgrade, SoftwareOptionsInTableOrder) {
  source_.SoftwareOptions = {0xFF, 0xFF, 0xFF, 0xFF};
  const RecordV12 r = Run();
  const std::vector<std::string> expected = {"Online FFT",
                                             "Online FIR und IIR",
                                             "Online PID Regler",
                                             "Interne Linearisierung",
                                             "Onboard Funktionsgenerator",
                                             "Airbag Pruefstand",
                                             "UP/DOWN Card",
                                             "Erweiterte Stoptrigger",
                                             kFree,
                                             kFree};
  for (std::size_t k = 0; k < v12::kOptionSlots; ++k) {
    EXPECT_EQ(r.Get(v12::SoftwareOptionName(k)), expected[k]) << k;
  }
}

TEST_F(Downgrade, NumbersBecomeTexts) {
  source_.FlashCode = 0x1234;
  source_.A_In.Resolution = 3;
  source_.A_Out.Resolution = 0;
  source_.A_In.Count = 7;
  source_.Processors[0].ClockMHz = 0;
  RecordV12 r = Run();
  EXPECT_EQ(r.Get(v12::FlashCode), "001234");
  EXPECT_EQ(r.Get(v12::A_In.bits), 12);
  EXPECT_EQ(r.Get(v12::A_Out.bits), 12);
  EXPECT_EQ(r.Get(v12::A_InDiffCount), "3");
  EXPECT_EQ(r.Get(v12::ProcessorClock), "0 MHZ");
  source_.FlashCode = 0x7FD01000;  // more than 24 bits: six digits still
  EXPECT_EQ(Run().Get(v12::FlashCode), "D01000");
}

TEST_F(Downgrade, LongTextsAreCut) {
  source_.CardName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
  source_.ShortCode = "0123456789";
  const RecordV12 r = Run();
  EXPECT_EQ(r.Get(v12::CardName), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
  EXPECT_EQ(r.Get(v12::ShortCode), "012345");
}

TEST_F(Downgrade, VersionBlockTwoAlwaysMarksRevision12) {
  source_.Versions[2].Major = 9;
  source_.Versions[2].Minor = 9;
  source_.Versions[2].FormatMinor = 3;
  const RecordV12 r = Run();
  EXPECT_EQ(r.Get(v12::VersionMajor(2)), 1);
  EXPECT_EQ(r.Get(v12::VersionMinor(2)), 0);
  EXPECT_EQ(r.Get(v12::VersionRevision(2)), "b");
  EXPECT_EQ(RecognizeRevision(r), kRevision12);
}

TEST_F(Downgrade, DatesByCharacterPosition) {
  source_.Versions[1].Year = "2003";
  source_.DateYear = "2003";
  source_.DateDay = "7";  // one character: position 2 keeps the template's 0
  RecordV12 r = Run();
  EXPECT_EQ(r.Get(v12::VersionDate(1)).substr(6), "03");
  EXPECT_EQ(r.Get(v12::Date), "70.03.2003");
  source_.Versions[0].Day = "";
  r = Run();
  EXPECT_EQ(r.Get(v12::VersionDate(0)), std::string("\0\0.03.98", 8));
}

}  // namespace
}  // namespace fu
