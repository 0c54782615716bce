#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dsplink/dsp_loader.h"
#include "flash/flash_commands.h"
#include "flash/record_read.h"
#include "hwaccess/card_access.h"
#include "platform/scripted_message_service.h"
#include "record/revision.h"
#include "sim/sim_pc.h"
#include "support/machine_faults.h"
#include "support/temp_folder.h"

namespace fu {
namespace {

// The driver layer and the host link of one program on a simulated PC.
class OnSimPc : public ::testing::Test {
 protected:
  void TearDown() override { test::ExpectNoMachineFaults(pc_.MachineFaults()); }
  bool BootAndRead(CardSlot slot, int& revision) {
    int sent = 0;
    const bool loaded =
        loader_.LoadDspProgram(slot, pc_.ProgramDirectory() + "QX4FLASH_PCI.PCI", sent);
    pc_.Clock().Sleep(std::chrono::milliseconds(250));  // the program starts
    host_.ClearBootDoneFlag(slot);
    revision = RecognizeRevision(reader_.ReadImageV12(slot));
    return loaded;
  }

  test::TempFolder folder_;
  sim::SimPc pc_{folder_.Path() / "pc"};
  ScriptedMessageService messages_;
  WindowTable windows_;
  HostInterface host_{pc_.Bus(), windows_};
  DriverService driver_{pc_.System(), messages_};
  DriverRequests requests_{pc_.System(), driver_, pc_.Ports()};
  CardAccess cards_{driver_, requests_, host_, windows_, messages_};
  DspLoader loader_{host_, pc_.Drive(), pc_.Clock(), messages_};
  FlashCommands flash_{host_, pc_.Clock()};
  RecordReader reader_{flash_};
};

TEST_F(OnSimPc, FromOpenCardToTheRecordOfABootedCard) {
  const std::uint32_t window = cards_.OpenCard(1);
  ASSERT_NE(window, 0u);
  ASSERT_NE(window, ERROR_WORD);
  EXPECT_EQ(windows_.Get(0), window);
  EXPECT_EQ(cards_.Cards()[0].deviceNumber, 9u);
  EXPECT_EQ(cards_.Cards()[1].deviceNumber, 4u);
  EXPECT_EQ(cards_.Cards()[0].baseAddress0, pc_.Place(0).window);
  EXPECT_EQ(host_.ReadHostRegister(0, hi::HCTR) & 0x1B00, 0x1200u);  // both formats 2
  EXPECT_EQ(pc_.Ports().Diagnostics().refusedAccesses, 0u);
  ASSERT_NE(pc_.System().FindService("HWACCESS"), nullptr);  // installed on first use

  int revision = 0;
  ASSERT_TRUE(BootAndRead(0, revision));
  EXPECT_EQ(revision, kRevision12);
  ASSERT_NE(cards_.OpenCard(2), 0u);
  ASSERT_TRUE(BootAndRead(1, revision));
  EXPECT_EQ(revision, kRevision13);
  EXPECT_EQ(cards_.OpenCard(3), 0u);
  EXPECT_TRUE(messages_.Shown().empty());

  EXPECT_TRUE(cards_.CloseCard(0));
  EXPECT_EQ(pc_.System().OpenDeviceHandles(), 1u);
  EXPECT_TRUE(cards_.CloseCard(1));
  EXPECT_EQ(pc_.System().OpenDeviceHandles(), 0u);  // the last window closed the driver
  EXPECT_FALSE(cards_.DriverOpen());
  EXPECT_TRUE(pc_.System().Mappings().empty());
}

TEST_F(OnSimPc, Windows9xLoadsTheVxdAndNeedsNoPortRange) {
  pc_.SetPlatform(sim::Platform::kWindows9x);
  ASSERT_NE(cards_.OpenCard(1), 0u);
  EXPECT_TRUE(pc_.System().VxdLoaded());
  EXPECT_EQ(pc_.System().FindService("HWACCESS"), nullptr);
  int revision = 0;
  ASSERT_TRUE(BootAndRead(0, revision));
  EXPECT_EQ(revision, kRevision12);
  EXPECT_TRUE(cards_.CloseCard(0));
  EXPECT_FALSE(pc_.System().VxdLoaded());  // closing the handle unloads it
}

TEST_F(OnSimPc, MissingDriverFileLeavesNoServiceBehind) {
  pc_.SetDriverFilesPresent(false);
  EXPECT_EQ(cards_.OpenCard(1), ERROR_WORD);
  EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{"Fehler bei HWAccess"}));
  EXPECT_EQ(pc_.System().FindService("HWACCESS"), nullptr);
  EXPECT_EQ(pc_.Ports().Diagnostics().configReads, 0u);  // no scan
}

TEST_F(OnSimPc, RefusedMapRestartsTheDriver) {
  pc_.SetRefuseMap(true);
  pc_.SetFailingStop(true);
  EXPECT_EQ(cards_.OpenCard(1), 0u);
  // The stop failed, so the service still runs and cannot be started (1056).
  EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{"Failed in Stop Service",
                                                         "Failed in Delete Service: 00000420"}));
  EXPECT_FALSE(windows_.HasWindow(0));
  pc_.SetRefuseMap(false);
  EXPECT_NE(cards_.OpenCard(1), 0u);  // a fresh handle after the restart
}

TEST_F(OnSimPc, Windows9xRefusedMapReloadsTheVxdWithoutTheServiceManager) {
  pc_.SetPlatform(sim::Platform::kWindows9x);
  pc_.SetRefuseMap(true);
  EXPECT_EQ(cards_.OpenCard(1), 0u);
  EXPECT_EQ(pc_.System().Diagnostics().serviceManagerCalls, 0u);
  EXPECT_TRUE(messages_.Shown().empty());
  EXPECT_FALSE(pc_.System().VxdLoaded());
  pc_.SetRefuseMap(false);
  EXPECT_NE(cards_.OpenCard(1), 0u);
  EXPECT_EQ(pc_.System().Diagnostics().serviceManagerCalls, 0u);
}

// Cards plugged in beside the two of the default PC (bus 0 device 9 with a
// revision-1.2 record, bus 1 device 4 with a revision-1.3 record): the slots
// follow bus, then device, and the last slot's card boots and reads.
struct AddedCards {
  const char* name;
  std::vector<sim::CardPlace> places;  // each a copy of the default card 0
  std::vector<std::size_t> slotCards;  // the PC's card index in each slot
};

class CardPlaces : public OnSimPc, public ::testing::WithParamInterface<AddedCards> {};

TEST_P(CardPlaces, FoundInBusThenDeviceOrderAndOpened) {
  for (const sim::CardPlace& place : GetParam().places) {
    pc_.AddCardLike(0, place);
  }
  const std::vector<std::size_t>& expected = GetParam().slotCards;
  ASSERT_NE(cards_.OpenCard(1), 0u);
  for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
    const CardEntry& entry = cards_.Cards()[slot];
    ASSERT_EQ(entry.present, slot < expected.size()) << slot;
    if (entry.present) {
      EXPECT_EQ(entry.baseAddress0, pc_.Place(expected[slot]).window) << slot;
      EXPECT_EQ(entry.deviceNumber, pc_.Place(expected[slot]).device) << slot;
    }
  }
  const auto last = static_cast<CardSlot>(expected.size() - 1);
  ASSERT_NE(cards_.OpenCard(last + 1), 0u);
  int revision = 0;
  ASSERT_TRUE(BootAndRead(last, revision));
  EXPECT_EQ(revision, kRevision12);
  EXPECT_EQ(pc_.Ports().Diagnostics().refusedAccesses, 0u);
  EXPECT_TRUE(messages_.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    OnSimPc, CardPlaces,
    ::testing::Values(AddedCards{"BehindBridgesAtDeviceZero",
                                 {{5, 0, 0xFE800000}, {1, 0, 0xFE900000}},
                                 {0, 3, 1, 2}},
                      AddedCards{"OnBus200", {{200, 17, 0xFE800000}}, {0, 1, 2}},
                      AddedCards{"Bus200DeviceZeroLast",
                                 {{200, 0, 0xFE800000}, {2, 3, 0xFE900000}},
                                 {0, 1, 3, 2}}),
    [](const ::testing::TestParamInfo<AddedCards>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace fu
