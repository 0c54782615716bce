#include <gtest/gtest.h>

#include <cmath>

#include "base/cp1252.h"
#include "base/errors.h"
#include "platform/scripted_message_service.h"
#include "record/data_tables.h"
#include "record/downgrade.h"
#include "record/image_codec.h"
#include "record/option_table.h"
#include "record/revision.h"
#include "record/upgrade.h"
#include "support/sample_records.h"

namespace fu {
namespace {

class Upgrade : public ::testing::Test {
 protected:
  // Upgrades old_ into a zero-filled record.
  bool Run() {
    result_ = RecordV13{};
    return UpgradeRecord(old_, result_, messages_);
  }
  void SetHardwareOptions(std::initializer_list<std::string_view> names) {
    std::size_t k = 0;
    for (const auto name : names) {
      old_.Set(v12::HardwareOptionName(k++), name);
    }
  }
  void ExpectTable(TableLabel label) const {
    const auto& words = ModelTable(label);
    for (std::size_t i = 0; i < kRawTableEntries; ++i) {
      const std::uint32_t entry = (result_.RawTable[3 * i] << 16) |
                                  (result_.RawTable[3 * i + 1] << 8) | result_.RawTable[3 * i + 2];
      ASSERT_EQ(entry, words[i]) << "entry " << i << " of T" << static_cast<int>(label);
    }
  }
  void ExpectBlock(BlockLabel label, std::size_t processor) const {
    const auto& block = ProcessorBlock(label);
    for (std::size_t i = 0; i < 8; ++i) {
      EXPECT_EQ(result_.ProcessorWords[8 * processor + i], static_cast<std::int32_t>(block[i]));
    }
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(result_.Processors[processor].Params[i], static_cast<std::int32_t>(block[8 + i]));
    }
  }

  RecordV12 old_ = test::SampleRecordV12();
  RecordV13 result_;
  ScriptedMessageService messages_;
};

TEST_F(Upgrade, SampleCardConvertsCompletelyWithoutMessages) {
  ASSERT_TRUE(Run());
  EXPECT_TRUE(messages_.Shown().empty());
  const RecordV13& r = result_;
  EXPECT_EQ(r.Versions[0].Major, 2);
  EXPECT_EQ(r.Versions[0].Minor, 7);
  EXPECT_EQ(r.Versions[0].Day, "12");
  EXPECT_EQ(r.Versions[0].Month, "03");
  EXPECT_EQ(r.Versions[0].Year, "1998");
  EXPECT_EQ(r.Versions[1].Year, "2001");
  for (const auto& v : r.Versions) {
    EXPECT_EQ(v.FormatMinor, 3);
    EXPECT_EQ(v.FormatMajor, 1);
  }
  EXPECT_EQ(r.Processors[0].MaskSet, "0K43G");
  EXPECT_EQ(r.Processors[0].ClockMHz, 100);
  EXPECT_EQ(r.Processors[0].DateCode, "0142");
  EXPECT_EQ(r.Processors[0].Kind, 1);
  EXPECT_EQ(r.Processors[1].DateCode, "0142");
  EXPECT_EQ(r.Processors[1].Kind, 0);
  EXPECT_EQ(r.FlashClockMHz, 70);
  EXPECT_EQ(r.FlashValue, 0x0123);
  EXPECT_EQ(r.FlashCode, 0xD01000);
  EXPECT_EQ(r.A_In, (IoGroupV13{16, 2, 500}));
  EXPECT_EQ(r.A_Out, (IoGroupV13{4, 1, 100}));
  EXPECT_EQ(r.D_In, (IoGroupV13{24, 1, 10}));
  EXPECT_EQ(r.iCT, (IoGroupV13{3, 1, 20}));
  EXPECT_EQ(r.CT, (IoGroupV13{3, 1, 20}));
  EXPECT_EQ(r.PWM, (IoGroupV13{0, 1, 16}));
  EXPECT_EQ(r.CardName, "nimbaPCI/HS_1");
  EXPECT_EQ(r.Customer, "Prüflabor Süd"_cp);
  EXPECT_EQ(r.ShortCode, "NHS");
  EXPECT_EQ(r.DateDay, "05");
  EXPECT_EQ(r.DateMonth, "03");
  EXPECT_EQ(r.DateYear, "2003");
  EXPECT_EQ(r.SoftwareOptions[0], 0x01);  // Online FFT
  EXPECT_EQ(r.SoftwareOptions[1], 0x40);  // Airbag Pruefstand
  EXPECT_EQ(r.HardwareOptions[0], 0x11);  // Periodendauerzähler, D/A-Wandler
  EXPECT_EQ(r.ExtraText, "Sonderabgleich 2003");
  EXPECT_EQ(r.SerialNumber, "NHS-0310-0042");
  ExpectTable(TableLabel::T3);  // old name exactly "nimbaPCI/HS"
  ExpectBlock(BlockLabel::B2, 0);
  ExpectBlock(BlockLabel::B0, 1);
  EXPECT_EQ(r.TableHead, 1025);
}

TEST_F(Upgrade, UpgradedImageIsARevision13Image) {
  ASSERT_TRUE(Run());
  ImageV13 image;
  ASSERT_TRUE(EncodeImage(result_, image));
  EXPECT_EQ(RecognizeRevision(RecordV12(image.bytes)), kRevision13);
  EXPECT_EQ(std::string(image.bytes.begin() + 132, image.bytes.begin() + 146),
            std::string("nimbaPCI/HS_1\0", 14));
  EXPECT_EQ(image.bytes[4096 + 1], 0x04);  // TableHead 1025 = 00 04 01
  EXPECT_EQ(image.bytes[4096 + 2], 0x01);
  EXPECT_EQ(image.bytes[7171], 0x7F);  // last sine entry 0x7FFFFF
  RecordV13 decoded;
  ASSERT_TRUE(DecodeImage(image, decoded));
  EXPECT_EQ(decoded, result_);
}

TEST_F(Upgrade, VersionDatesGetCenturiesAndDefaults) {
  old_.Set(v12::VersionDate(0), "");
  old_.Set(v12::VersionDate(1), "24.12.05");
  old_.Set(v12::VersionDate(2), "24.12.20");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.Versions[0].Day, "01");
  EXPECT_EQ(result_.Versions[0].Month, "07");
  EXPECT_EQ(result_.Versions[0].Year, "1976");
  EXPECT_EQ(result_.Versions[1].Year, "2005");
  EXPECT_EQ(result_.Versions[2].Year, "1920");
  old_.Set(v12::VersionDate(1), "24.12.19");
  old_.Set(v12::VersionDate(2), "24.12.99");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.Versions[1].Year, "2019");
  EXPECT_EQ(result_.Versions[2].Year, "1999");
}

TEST_F(Upgrade, NonDigitDecadeRaisesTheConversionError) {
  old_.Set(v12::VersionDate(1), "24.12.x5");
  try {
    Run();
    FAIL() << "no error raised";
  } catch (const IntegerConversionError& e) {
    EXPECT_EQ(e.Text(), "'x' ist kein gültiger Integerwert"_cp);
  }
}

TEST_F(Upgrade, EmptyRecordDateBecomesTheDefault) {
  old_.Set(v12::Date, "");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.DateDay, "01");
  EXPECT_EQ(result_.DateMonth, "07");
  EXPECT_EQ(result_.DateYear, "1976");
}

TEST_F(Upgrade, ProcessorClockTexts) {
  old_.Set(v12::ProcessorClock, "150 MHz");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.Processors[0].ClockMHz, 150);
  old_.Set(v12::ProcessorClock, "1 5 0");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.Processors[0].ClockMHz, 150);

  old_.Set(v12::ProcessorClock, "150MHz");
  EXPECT_FALSE(Run());
  ASSERT_EQ(messages_.Shown().size(), 1u);
  EXPECT_EQ(messages_.Shown()[0].text,
            "Fehler beim Konvertieren der Prozessorgeschwindigkeit: 150MHz");
  EXPECT_EQ(messages_.Shown()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages_.Shown()[0].buttons, Buttons::Cancel);
  EXPECT_EQ(result_.Processors[0].MaskSet, "0K43G");  // written before the clock
  EXPECT_EQ(result_.FlashCode, 0);                    // nothing after it
  EXPECT_TRUE(result_.CardName.empty());
}

TEST_F(Upgrade, ZembralCardsRunAtEightyMegahertzWhateverTheText) {
  old_.Set(v12::CardName, "ZEMBRAL/PCI");
  old_.Set(v12::ProcessorClock, "");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.Processors[0].ClockMHz, 80);
}

TEST_F(Upgrade, RateTextsThatCannotBeReadBecomeZeroWithANotice) {
  old_.Set(v12::FlashClock, "300 MHZ");
  old_.Set(v12::A_In.rate, "1 MHZ");
  old_.Set(v12::A_Out.rate, "500 Hz");
  old_.Set(v12::CT.rate, "x");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.FlashClockMHz, 44);  // 300 mod 256
  EXPECT_EQ(result_.A_In.Rate, 1);
  EXPECT_EQ(result_.A_Out.Rate, 0);
  EXPECT_EQ(result_.CT.Rate, 0);
  EXPECT_EQ(messages_.Texts(),
            (std::vector<std::string>{"Fehler beim Konvertieren der A_Out-Geschwindigkeit: 500 Hz",
                                      "Fehler beim Konvertieren der CT-Geschwindigkeit: x"}));
  old_.Set(v12::FlashClock, "fast");
  messages_.Clear();
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.FlashClockMHz, 0);
  EXPECT_EQ(messages_.Texts()[0], "Fehler beim Konvertieren der Flash-Geschwindigkeit: fast");
}

TEST_F(Upgrade, FlashCodeIsHexadecimal) {
  old_.Set(v12::FlashCode, "1a2b3c");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.FlashCode, 0x1A2B3C);
  old_.Set(v12::FlashCode, "");
  try {
    Run();
    FAIL() << "no error raised";
  } catch (const IntegerConversionError& e) {
    EXPECT_EQ(e.Offending(), "$");
  }
  old_.Set(v12::FlashCode, "D0 100");
  EXPECT_THROW(Run(), IntegerConversionError);
}

TEST_F(Upgrade, BitsBecomeResolutionCodes) {
  for (const auto& [bits, code] : {std::pair{12, 1}, {16, 2}, {0, 3}, {14, 0}}) {
    old_.Set(v12::A_In.bits, bits);
    old_.Set(v12::A_Out.bits, bits);
    ASSERT_TRUE(Run());
    EXPECT_EQ(result_.A_In.Resolution, code) << bits;
    EXPECT_EQ(result_.A_Out.Resolution, code) << bits;
  }
}

TEST_F(Upgrade, CounterOptionsAddChannels) {
  SetHardwareOptions({"1-Kanal Inkrementalzähler"_cp});
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.iCT.Count, 5);
  EXPECT_EQ(result_.CT.Count, 5);
  SetHardwareOptions({"MH-Zählererweiterung"_cp});
  old_.Set(v12::iCT.count, 11);
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.iCT.Count, 5);
  EXPECT_EQ(result_.CT.Count, 3);
}

TEST_F(Upgrade, PwmChannelsFromOptionNames) {
  SetHardwareOptions({"16-Kanal PWM", "4-Kanal PWM"});
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.PWM.Count, 4);  // 4 is tested before 16
  EXPECT_TRUE(OptionSet(result_.HardwareOptions, 3));
  SetHardwareOptions({"PWM Ausgabe", "8-Kanal PWM"});
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.PWM.Count, 1);
  EXPECT_TRUE(OptionSet(result_.HardwareOptions, 2));
}

TEST_F(Upgrade, TtlOptionMustMatchExactly) {
  old_.Set(v12::CardName, "nimbaPCI/16/20/B");
  SetHardwareOptions({"TTL Bitweise "});
  ASSERT_TRUE(Run());
  ExpectTable(TableLabel::T5);
  SetHardwareOptions({"ttl bitweise"});
  ASSERT_TRUE(Run());
  ExpectTable(TableLabel::T5);
  SetHardwareOptions({"TTL Bitweise"});
  ASSERT_TRUE(Run());
  ExpectTable(TableLabel::T6);
  EXPECT_TRUE(OptionSet(result_.HardwareOptions, 10));
}

TEST_F(Upgrade, NimbaHighSpeedNames) {
  old_.Set(v12::CardName, "nimbaPCI/HS ");  // not exactly the old name: T2 without TTL
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.CardName, "nimbaPCI/HS ");
  ExpectTable(TableLabel::T2);
  SetHardwareOptions({"TTL Bitweise"});
  ASSERT_TRUE(Run());
  ExpectTable(TableLabel::T3);

  old_.Set(v12::CardName, "nimbaPCI/HS/16/20");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.CardName, "nimbaPCI/16/20");
  ExpectTable(TableLabel::T4);
  SetHardwareOptions({"Nicht installiert"});
  ASSERT_TRUE(Run());
  ExpectTable(TableLabel::T2);
  ExpectBlock(BlockLabel::B2, 0);
}

TEST_F(Upgrade, RowsWithoutTtlRuleIgnoreIt) {
  SetHardwareOptions({"TTL Bitweise"});
  for (const auto& [name, table] : {std::pair{"nimbaPCI", TableLabel::T1},
                                    {"nimbaPCI/DA", TableLabel::T1},
                                    {"RT/PWM/8", TableLabel::T12}}) {
    old_.Set(v12::CardName, name);
    ASSERT_TRUE(Run());
    ExpectTable(table);
  }
  old_.Set(v12::CardName, "RT/Count8   ");  // trailing blanks are ignored for the lookup
  ASSERT_TRUE(Run());
  ExpectTable(TableLabel::T14);
  ExpectBlock(BlockLabel::B1, 0);
}

TEST_F(Upgrade, ZembralPciWithCoprocessor) {
  old_.Set(v12::CardName, "ZEMBRAL/PCI");
  old_.Set(v12::A_In.bits, 16);
  SetHardwareOptions({"Coprozessor 56307"});
  ASSERT_TRUE(Run());
  EXPECT_TRUE(OptionSet(result_.HardwareOptions, 8));
  EXPECT_EQ(result_.PWM.Count, 2);
  EXPECT_EQ(result_.Processors[1].MaskSet, "2J25D");
  EXPECT_EQ(result_.Processors[1].ClockMHz, 150);
  EXPECT_EQ(result_.Processors[1].DateCode, "9939");
  EXPECT_EQ(result_.Processors[1].Kind, 3);
  ExpectTable(TableLabel::T19);
  ExpectBlock(BlockLabel::B4, 0);
  ExpectBlock(BlockLabel::B6, 1);
}

TEST_F(Upgrade, ZembralPciCoprocessorPresets) {
  old_.Set(v12::CardName, "ZEMBRAL/PCI");
  old_.Set(v12::A_In.bits, 12);
  SetHardwareOptions({"Coprozessor 56307", "Zeitstempel"});  // the timestamp wins
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.Processors[1].MaskSet, "0J22D");
  EXPECT_EQ(result_.Processors[1].ClockMHz, 100);
  EXPECT_EQ(result_.Processors[1].Kind, 2);
  ExpectBlock(BlockLabel::B5, 1);
  EXPECT_FALSE(OptionSet(result_.HardwareOptions, 8));

  SetHardwareOptions({"Nicht installiert", "Nicht installiert"});
  old_.Set(v12::A_In.rate, "800 KHZ");  // the fast converter also marks the dual converter
  ASSERT_TRUE(Run());
  EXPECT_TRUE(result_.Processors[1].MaskSet.empty());
  EXPECT_EQ(result_.Processors[1].DateCode, "0142");
  EXPECT_EQ(result_.Processors[1].Kind, 0);
  ExpectBlock(BlockLabel::B5, 1);
  EXPECT_TRUE(OptionSet(result_.HardwareOptions, 8));
}

TEST_F(Upgrade, ZembralNameWithBlankSelectsTheRowButNotTheNameRules) {
  old_.Set(v12::CardName, "ZEMBRAL/PCI ");
  old_.Set(v12::A_In.bits, 16);
  ASSERT_TRUE(Run());
  ExpectTable(TableLabel::T19);
  EXPECT_EQ(result_.Processors[0].ClockMHz, 100);
  EXPECT_EQ(result_.PWM.Count, 0);
  EXPECT_FALSE(OptionSet(result_.HardwareOptions, 8));
}

TEST_F(Upgrade, ZembralUsbCopiesNoDataSet) {
  old_.Set(v12::CardName, "ZEMBRAL/USB");
  result_ = RecordV13{};
  RecordV13 marked;
  marked.RawTable.fill(0x5A);
  marked.ProcessorWords.fill(7);
  ASSERT_TRUE(UpgradeRecord(old_, marked, messages_));
  EXPECT_TRUE(messages_.Shown().empty());
  EXPECT_EQ(marked.RawTable[0], 0x5A);
  EXPECT_EQ(marked.ProcessorWords[15], 7);
  EXPECT_EQ(marked.Processors[0].ClockMHz, 80);
  EXPECT_EQ(marked.TableHead, 1025);
}

TEST_F(Upgrade, NimbaUsbPresetsProcessorZero) {
  old_.Set(v12::CardName, "nimba/USB");
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.Processors[0].MaskSet, "2J25D");
  EXPECT_EQ(result_.Processors[0].ClockMHz, 150);
  EXPECT_EQ(result_.Processors[0].DateCode, "9939");
  EXPECT_EQ(result_.Processors[0].Kind, 3);
  ExpectTable(TableLabel::T20);
  ExpectBlock(BlockLabel::B7, 0);
}

TEST_F(Upgrade, UnknownCardNameAsksFirst) {
  old_.Set(v12::CardName, "Eigenbau 7");
  RecordV13 marked;
  marked.Reserved128.fill(0x11);
  marked.RawTable.fill(0x22);
  marked.SerialNumber = "untouched";
  marked.ExtraText = "untouched";
  marked.TableHead = 99;
  marked.Table.fill(33);
  RecordV13 declined = marked;
  messages_.Script(Answer::No);
  EXPECT_FALSE(UpgradeRecord(old_, declined, messages_));
  ASSERT_EQ(messages_.Shown().size(), 1u);
  EXPECT_EQ(
      messages_.Shown()[0].text,
      "ACHTUNG: Der Kartenname konnte keiner Karte zugeordnet werden!\r\n"
      "Nach dem Flashen der Karten kann diese eventuell nicht mehr richtig erkannt werden!\r\n"
      "Möchten Sie fortfahren?"_cp);
  EXPECT_EQ(messages_.Shown()[0].buttons, Buttons::YesNo);
  EXPECT_EQ(declined.Reserved128, marked.Reserved128);
  EXPECT_EQ(declined.SerialNumber, "untouched");
  EXPECT_EQ(declined.ExtraText, "untouched");
  EXPECT_EQ(declined.TableHead, 99);
  EXPECT_EQ(declined.Table, marked.Table);
  EXPECT_EQ(declined.CardName, "Eigenbau 7");  // earlier steps did run

  messages_.Script(Answer::Yes);
  RecordV13 accepted = marked;
  EXPECT_TRUE(UpgradeRecord(old_, accepted, messages_));
  EXPECT_EQ(accepted.RawTable, marked.RawTable);  // no data set
  EXPECT_EQ(accepted.SerialNumber, "NHS-0310-0042");
  EXPECT_EQ(accepted.Table, SineTable());

  old_.Set(v12::CardName, "");
  EXPECT_FALSE(Run());  // the empty name has no model either; the script is used up
  EXPECT_EQ(messages_.Unscripted(), 1);
}

TEST_F(Upgrade, SineTableIsAQuarterWave) {
  const auto& t = SineTable();
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[1], 12868);
  EXPECT_EQ(t[256], 0x30FBC5);
  EXPECT_EQ(t[512], 0x5A827A);
  EXPECT_EQ(t[768], 0x7641AF);
  EXPECT_EQ(t[1023], 0x7FFFF6);
  EXPECT_EQ(t[1024], 0x7FFFFF);
  for (std::size_t i = 1; i < t.size(); ++i) {
    ASSERT_LE(t[i - 1], t[i]) << i;
    const long double exact =
        std::sin(static_cast<long double>(i) * 3.14159265358979323846L / 2048) * 8388608.0L;
    ASSERT_LE(std::fabs(static_cast<long double>(t[i]) - std::min(exact, 8388607.0L)), 0.5L) << i;
  }
}

TEST_F(Upgrade, OptionsSurviveADowngradeAndUpgrade) {
  RecordV13 original = test::SampleRecordV13();
  original.SoftwareOptions = {0x1F, 0xC0, 0x01};  // every software option with a name
  original.HardwareOptions = {0x7F, 0xFD};        // every hardware option with a name
  original.PWM.Count = 8;
  RecordV12 down;
  ASSERT_TRUE(DowngradeRecord(original, down));
  old_ = down;
  ASSERT_TRUE(Run());
  EXPECT_EQ(result_.SoftwareOptions, original.SoftwareOptions);
  // The ten name slots hold the reserved PWM slot, bit 0's two names and the next
  // seven bits in the downgrade's order; the rest are dropped on the way down.
  for (const int bit : {0, 1, 2, 3, 4, 5, 6, 8}) {
    EXPECT_TRUE(OptionSet(result_.HardwareOptions, bit)) << bit;
  }
  for (const int bit : {10, 11, 12, 13, 14, 15}) {
    EXPECT_FALSE(OptionSet(result_.HardwareOptions, bit)) << bit;
  }
  EXPECT_EQ(result_.PWM.Count, 8);
}

TEST_F(Upgrade, CoprocessorBitsSurviveTheRoundTrip) {
  RecordV13 original = test::SampleRecordV13();
  original.HardwareOptions = {0x00, 0x18};  // bits 11 and 12
  RecordV12 down;
  ASSERT_TRUE(DowngradeRecord(original, down));
  old_ = down;
  ASSERT_TRUE(Run());
  EXPECT_TRUE(OptionSet(result_.HardwareOptions, 11));
  EXPECT_TRUE(OptionSet(result_.HardwareOptions, 12));
  old_.Set(v12::HardwareOptionName(0), "Coprocessor 56311");  // the old spelling still counts
  old_.Set(v12::HardwareOptionName(1), "Nicht installiert");
  ASSERT_TRUE(Run());
  EXPECT_TRUE(OptionSet(result_.HardwareOptions, 12));
  EXPECT_FALSE(OptionSet(result_.HardwareOptions, 11));
}

}  // namespace
}  // namespace fu
