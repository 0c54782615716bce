#include <gtest/gtest.h>

#include <vector>

#include "dsplink/host_interface.h"
#include "support/fake_bus.h"

namespace fu {
namespace {

using test::FakeBus;
using Access = FakeBus::Access;

class HostInterfaceTest : public ::testing::Test {
 protected:
  HostInterfaceTest() { windows_.Set(1, FakeBus::kBase); }

  FakeBus bus_;
  WindowTable windows_;
  HostInterface host_{bus_, windows_};
};

TEST_F(HostInterfaceTest, RegistersAreReachedAtTheirOffsets) {
  bus_.hctr = 0x1234;
  EXPECT_EQ(host_.ReadHostRegister(1, hi::HCTR), 0x1234u);
  host_.WriteHostRegister(1, hi::HCVR, 0x800B);
  EXPECT_EQ(bus_.log, (std::vector<Access>{{false, 0x10, 0x1234}, {true, 0x18, 0x800B}}));
}

TEST_F(HostInterfaceTest, PollSucceedsOnlyWithinThirtyMillionReads) {
  bus_.status = [](std::uint64_t) { return 0u; };
  EXPECT_FALSE(host_.Poll_HTRq(1));
  EXPECT_EQ(bus_.statusReads, 30'000'001u);

  bus_.statusReads = 0;
  bus_.status = [](std::uint64_t n) { return n == 30'000'000 ? hi::kHrrq : 0u; };
  EXPECT_TRUE(host_.Poll_HRRq(1));
  EXPECT_EQ(bus_.statusReads, 30'000'000u);

  bus_.statusReads = 0;
  bus_.status = [](std::uint64_t n) { return n == 30'000'001 ? hi::kHtrq : 0u; };
  EXPECT_FALSE(host_.Poll_HTRq(1));
  EXPECT_EQ(bus_.statusReads, 30'000'001u);
}

TEST_F(HostInterfaceTest, PollsLookForTheirOwnBit) {
  bus_.status = [](std::uint64_t n) { return n < 5 ? hi::kHrrq : hi::kHtrq; };
  EXPECT_TRUE(host_.Poll_HTRq(1));
  EXPECT_EQ(bus_.statusReads, 5u);
}

TEST_F(HostInterfaceTest, WriteFifoPollsBeforeEveryWordAndStopsAtAFailedPoll) {
  const std::vector<HostWord> words = {7, 8, 9};
  EXPECT_TRUE(host_.DSP_WriteFIFO(1, words));
  EXPECT_EQ(bus_.sent, words);
  EXPECT_EQ(bus_.statusReads, 3u);

  bus_.sent.clear();
  bus_.statusReads = 0;
  bus_.status = [](std::uint64_t n) { return n <= 2 ? hi::kHtrq : 0u; };
  EXPECT_FALSE(host_.DSP_WriteFIFO(1, words));
  EXPECT_EQ(bus_.sent, (std::vector<HostWord>{7, 8}));  // sent words stay sent

  bus_.log.clear();
  EXPECT_TRUE(host_.DSP_WriteFIFO(1, {}));
  EXPECT_TRUE(bus_.log.empty());
}

TEST_F(HostInterfaceTest, ReadFifoKeepsWhatArrivedBeforeAFailure) {
  bus_.answers = {0x11, 0x22, 0x33};
  std::vector<HostWord> words(3, 0xAA);
  EXPECT_TRUE(host_.DSP_ReadFIFO(1, words));
  EXPECT_EQ(words, (std::vector<HostWord>{0x11, 0x22, 0x33}));

  bus_.answers = {0x44};
  bus_.statusReads = 0;
  bus_.status = [](std::uint64_t n) { return n == 1 ? hi::kHrrq : 0u; };
  std::fill(words.begin(), words.end(), 0xAA);
  EXPECT_FALSE(host_.DSP_ReadFIFO(1, words));
  EXPECT_EQ(words, (std::vector<HostWord>{0x44, 0xAA, 0xAA}));
  EXPECT_TRUE(host_.DSP_ReadFIFO(1, {}));
}

TEST_F(HostInterfaceTest, FormatsKeepTheOtherBitsAndClearTheTopByte) {
  bus_.hctr = 0xFF00FFFF;
  EXPECT_TRUE(host_.SetTransmitFormat(1, 2));
  EXPECT_EQ(bus_.hctr, 0x0000FEFFu);
  bus_.hctr = 0xFF00FFFF;
  EXPECT_TRUE(host_.SetReceiveFormat(1, 2));
  EXPECT_EQ(bus_.hctr, 0x0000F7FFu);

  bus_.log.clear();
  EXPECT_FALSE(host_.SetTransmitFormat(1, 4));
  EXPECT_FALSE(host_.SetReceiveFormat(1, -1));
  EXPECT_TRUE(bus_.log.empty());
  EXPECT_EQ(bus_.hctr, 0x0000F7FFu);
}

TEST_F(HostInterfaceTest, FlagsReportWhetherTheyChanged) {
  EXPECT_EQ(host_.ClaimCard(1), 0);
  EXPECT_EQ(bus_.hctr, hi::kBusyFlag);
  EXPECT_EQ(host_.IsCardBusy(1), 1);
  EXPECT_EQ(host_.ClaimCard(1), 1);
  EXPECT_EQ(host_.ReleaseCard(1), 0);
  EXPECT_EQ(host_.ReleaseCard(1), 1);
  EXPECT_EQ(host_.IsCardBusy(1), 0);

  bus_.hctr = 0x0200;  // the other bits stay
  EXPECT_EQ(host_.SetBootDoneFlag(1), 0);
  EXPECT_EQ(host_.SetBootDoneFlag(1), 1);
  EXPECT_EQ(bus_.hctr, 0x8200u);
  EXPECT_EQ(host_.ClearBootDoneFlag(1), 0);
  EXPECT_EQ(host_.ClearBootDoneFlag(1), 1);
  EXPECT_EQ(bus_.hctr, 0x0200u);
}

TEST_F(HostInterfaceTest, HostCommandsCarryTheVectorsLowSevenBits) {
  host_.SendHostCommand(1, 0x44);
  host_.SendHostCommand(1, 0xC4);
  host_.SendHostCommand(1, 0x68);
  EXPECT_EQ(bus_.commands, (std::vector<std::uint32_t>{0x89, 0x89, 0xD1}));
  EXPECT_EQ(bus_.statusReads, 0u);  // no waiting
}

TEST_F(HostInterfaceTest, SlotsWithoutAWindowAreNeverTouched) {
  bus_.hctr = hi::kBusyFlag;
  windows_.Set(2, 0xFFFFFFFF);  // what a failed mapping leaves
  for (const CardSlot slot : {0, 2, 4, -1}) {
    EXPECT_EQ(host_.ReadHostRegister(slot, hi::HCTR), 0u);
    host_.WriteHostRegister(slot, hi::HCTR, 0);
    EXPECT_FALSE(host_.Poll_HTRq(slot));
    EXPECT_FALSE(host_.Poll_HRRq(slot));
    const std::vector<HostWord> words = {1};
    EXPECT_FALSE(host_.DSP_WriteFIFO(slot, words));
    EXPECT_EQ(host_.ClaimCard(slot), 1);
    EXPECT_EQ(host_.IsCardBusy(slot), -1);
    EXPECT_EQ(host_.SetBootDoneFlag(slot), 1);  // nothing was set
    EXPECT_EQ(host_.ReleaseCard(slot), 1);
    EXPECT_EQ(host_.ClearBootDoneFlag(slot), 1);
    host_.SendHostCommand(slot, 0x44);
  }
  EXPECT_TRUE(bus_.log.empty());
  EXPECT_EQ(bus_.statusReads, 0u);
  EXPECT_EQ(bus_.strayAccesses, 0u);
  EXPECT_EQ(bus_.hctr, hi::kBusyFlag);
}

}  // namespace
}  // namespace fu
