#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp1252.h"
#include "base/errors.h"
#include "dsplink/dsp_loader.h"
#include "platform/scripted_message_service.h"
#include "sim/sim_drive.h"
#include "sim/virtual_clock.h"
#include "support/fake_bus.h"
#include "support/temp_folder.h"

namespace fu {
namespace {

using test::FakeBus;
using Access = FakeBus::Access;

constexpr std::string_view kPath = "C:\\Programme\\FlashUpdate\\QX4FLASH_PCI.PCI";

class DspLoaderTest : public ::testing::Test {
 protected:
  DspLoaderTest() { windows_.Set(0, FakeBus::kBase); }

  void InstallProgram(std::string_view text) {
    drive_.Install(kPath,
                   std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }
  bool Load() { return loader_.LoadDspProgram(0, kPath, sent_); }
  bool BootDoneFlag() const { return (bus_.hctr & hi::kBootDoneFlag) != 0; }

  test::TempFolder folder_;
  sim::SimDrive drive_{folder_.Path()};
  sim::VirtualClock clock_;
  ScriptedMessageService messages_;
  FakeBus bus_;
  WindowTable windows_;
  HostInterface host_{bus_, windows_};
  DspLoader loader_{host_, drive_, clock_, messages_};
  int sent_ = -7;
};

TEST_F(DspLoaderTest, SendsTheBootStreamAfterAResetAndAWait) {
  InstallProgram("3\r\n0\r\n  1A2B\r\n12 \r\n\r\n99\r\n");
  bus_.hctr = hi::kBusyFlag | hi::kBootDoneFlag | 0x200;
  ASSERT_TRUE(Load());
  EXPECT_EQ(sent_, 5);
  EXPECT_EQ(bus_.commands, (std::vector<std::uint32_t>{0x800B}));
  EXPECT_EQ(bus_.sent, (std::vector<std::uint32_t>{3, 0, 0x1A2B, 0x120, 0}));
  EXPECT_EQ(clock_.TotalSlept(), std::chrono::milliseconds(500));
  EXPECT_TRUE(messages_.Shown().empty());
  // The reset comes first and clears both flags; the boot-done flag is set last.
  EXPECT_EQ(bus_.log.front(), (Access{true, hi::HCVR, 0x800B}));
  EXPECT_EQ(bus_.log.back(), (Access{true, hi::HCTR, 0x8200}));
  EXPECT_EQ(bus_.log[bus_.log.size() - 3], (Access{true, hi::HDATA, 0}));
  EXPECT_EQ(bus_.hctr, 0x8200u);
}

TEST_F(DspLoaderTest, MissingFileIsShownWithItsErrorCode) {
  drive_.InstallFolder("C:\\Programme\\FlashUpdate");
  ASSERT_FALSE(Load());
  ASSERT_EQ(messages_.Shown().size(), 1u);
  EXPECT_EQ(messages_.Shown()[0].text, std::string("Fehler beim Öffnen des DSP-Programmes "_cp) +
                                           std::string(kPath) + "\r\nFehlercode: 2");
  EXPECT_EQ(messages_.Shown()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages_.Shown()[0].buttons, Buttons::Cancel);
  EXPECT_TRUE(bus_.commands.empty());
  EXPECT_TRUE(bus_.sent.empty());
  EXPECT_TRUE(BootDoneFlag());
  EXPECT_EQ(sent_, -7);
  EXPECT_EQ(clock_.Sleeps(), 0);
}

TEST_F(DspLoaderTest, DamagedFileIsRefusedBeforeAnythingIsSent) {
  InstallProgram("5\r\n0\r\n1\r\n2\r\n");
  ASSERT_FALSE(Load());
  EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{"Das DSP-Programm " + std::string(kPath) +
                                                         std::string(" ist beschädigt."_cp)}));
  EXPECT_EQ(messages_.Shown()[0].buttons, Buttons::Ok);
  EXPECT_TRUE(bus_.commands.empty());
  EXPECT_TRUE(bus_.sent.empty());
  EXPECT_TRUE(BootDoneFlag());
  EXPECT_EQ(sent_, -7);
}

TEST_F(DspLoaderTest, LineThatIsNoNumberEndsTheLoadRaised) {
  InstallProgram("2\r\n0\r\nnop\r\n1\r\n");
  EXPECT_THROW(Load(), IntegerConversionError);
  EXPECT_TRUE(bus_.log.empty());  // no reset, no words, no flag
  EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(DspLoaderTest, FailedTransferIsShownAndTheFlagStillSet) {
  InstallProgram("1\r\n0\r\n1\r\n");
  bus_.status = [](std::uint64_t n) { return n <= 2 ? hi::kHtrq : 0u; };
  ASSERT_FALSE(Load());
  EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{"Ein Fehler ist aufgetreten"}));
  EXPECT_EQ(bus_.sent, (std::vector<std::uint32_t>{1, 0}));  // sent words stay sent
  EXPECT_TRUE(BootDoneFlag());
  EXPECT_EQ(sent_, -7);
}

}  // namespace
}  // namespace fu
