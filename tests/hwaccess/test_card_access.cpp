#include <gtest/gtest.h>

#include <cstring>

#include "hwaccess/card_access.h"
#include "platform/scripted_message_service.h"
#include "support/fake_bus.h"
#include "support/fake_system.h"

namespace fu {
namespace {

using test::FakeBus;
using test::FakePci;
using test::FakeSystem;

class CardAccessTest : public ::testing::Test {
 protected:
  CardAccessTest() {
    system_.openable = {"\\\\.\\Dev_HWACCESS"};
    // The driver maps every window at the fake bus's window and unmaps anything.
    system_.driver = [this](std::uint32_t kind, std::span<std::uint8_t> out) {
      const std::uint32_t answer = kind == 3 ? mapAnswer_ : 1;
      if (!out.empty()) {
        std::memcpy(out.data(), &answer, 4);
      }
      return std::optional<std::uint32_t>(static_cast<std::uint32_t>(out.size()));
    };
  }
  int Requests(std::uint8_t kind) const {
    int n = 0;
    for (const auto& r : system_.requests) {
      n += r[0] == kind;
    }
    return n;
  }

  FakeSystem system_;
  FakePci pci_;
  FakeBus bus_;
  ScriptedMessageService messages_;
  WindowTable windows_;
  HostInterface host_{bus_, windows_};
  DriverService driver_{system_, messages_};
  DriverRequests requests_{system_, driver_, pci_};
  CardAccess cards_{driver_, requests_, host_, windows_, messages_};
  std::uint32_t mapAnswer_ = FakeBus::kBase;
};

TEST_F(CardAccessTest, ScanFindsCardsInBusThenDeviceOrder) {
  pci_.AddDevice(0, 0, {0x12378086, 0, 0x06000000});  // host bridge
  pci_.AddCard(1, 4, 0xFE000000);
  pci_.AddCard(0, 9, 0xFEB00000);
  pci_.AddCard(2, 7, 0);                                    // no window: not a usable card
  pci_.AddDevice(0, 5, {0x18021057, 0, 0, 0, 0xFD000000});  // another device of the maker
  pci_.AddCard(255, 0, 0xFD800000);                         // behind a bridge, on the last bus
  ASSERT_TRUE(driver_.OpenDriverDevice());
  EXPECT_TRUE(cards_.ScanPciBus());
  EXPECT_EQ(cards_.Cards()[0], (CardEntry{9, 0x1057, 0x1801, 0xFEB00000, true}));
  EXPECT_EQ(cards_.Cards()[1], (CardEntry{4, 0x1057, 0x1801, 0xFE000000, true}));
  EXPECT_EQ(cards_.Cards()[2], (CardEntry{0, 0x1057, 0x1801, 0xFD800000, true}));
  EXPECT_FALSE(cards_.Cards()[3].present);
  EXPECT_EQ(pci_.deviceStarts.size(), 256u * 32u);   // every bus, function 0
  EXPECT_EQ(pci_.deviceStarts[33], 0x80010800u);     // bus 1, device 1, register 0
  EXPECT_EQ(pci_.deviceStarts.back(), 0x80FFF800u);  // bus 255, device 31
  EXPECT_EQ(Requests(1), 1);
  EXPECT_EQ(Requests(2), 1);
}

TEST_F(CardAccessTest, AbsentDevicesStopAfterTheFirstRegister) {
  ASSERT_TRUE(driver_.OpenDriverDevice());
  cards_.ScanPciBus();
  EXPECT_EQ(pci_.addressWrites, 256u * 32u);
}

TEST_F(CardAccessTest, FifthCardIsIgnoredAndDeviceZeroIsACard) {
  for (int d = 0; d <= 4; ++d) {
    pci_.AddCard(0, d, 0xFE000000 + static_cast<std::uint32_t>(d) * 0x10000);
  }
  ASSERT_TRUE(driver_.OpenDriverDevice());
  cards_.ScanPciBus();
  EXPECT_EQ(cards_.Cards()[0], (CardEntry{0, 0x1057, 0x1801, 0xFE000000, true}));
  EXPECT_EQ(cards_.Cards()[3].deviceNumber, 3u);

  FakePci only_zero;
  only_zero.AddCard(1, 0, 0xFE000000);
  DriverRequests requests(system_, driver_, only_zero);
  CardAccess cards(driver_, requests, host_, windows_, messages_);
  EXPECT_EQ(cards.OpenCard(1), FakeBus::kBase);
  EXPECT_EQ(cards.OpenCard(2), 0u);
}

TEST_F(CardAccessTest, RefusedPortRangeTouchesNoPortAndTheNextOpenTriesAgain) {
  pci_.AddCard(0, 3, 0xFEB00000);
  const auto answering = system_.driver;
  system_.driver = [](std::uint32_t kind, std::span<std::uint8_t> out) {
    return kind == 1 ? std::optional<std::uint32_t>()
                     : std::optional<std::uint32_t>(static_cast<std::uint32_t>(out.size()));
  };
  EXPECT_EQ(cards_.OpenCard(1), 0u);
  EXPECT_EQ(pci_.accesses, 0u);
  EXPECT_FALSE(cards_.Cards()[0].present);
  EXPECT_FALSE(cards_.DriverOpen());
  EXPECT_TRUE(cards_.HardwareFailed());  // not a PC without cards
  EXPECT_EQ(system_.calls.back(), "CloseHandle 4096");
  system_.driver = answering;
  EXPECT_EQ(cards_.OpenCard(1), FakeBus::kBase);
  EXPECT_FALSE(cards_.HardwareFailed());
  EXPECT_EQ(Requests(1), 2);
}

TEST_F(CardAccessTest, OpenMapsTheWindowAndSetsBothFormats) {
  pci_.AddCard(0, 3, 0xFEB00000);
  bus_.hctr = 0xFF00FFFF;
  EXPECT_EQ(cards_.OpenCard(1), FakeBus::kBase);
  EXPECT_TRUE(cards_.DriverOpen());
  EXPECT_EQ(windows_.Get(0), FakeBus::kBase);
  EXPECT_EQ(bus_.hctr, (0x0000FFFFu & 0x00FFE4FF) | 0x200 | 0x1000);
  EXPECT_EQ(cards_.OpenWindows(), 1);
  EXPECT_EQ(system_.requests.back()[0], 3);
  EXPECT_EQ(system_.requests.back()[8], 0xFF);  // length 0xFFFF
  EXPECT_EQ(system_.requests.back()[10], 0x00);
  EXPECT_EQ(cards_.OpenCard(2), 0u);  // no second card
  EXPECT_EQ(cards_.OpenCard(5), 0u);
  EXPECT_EQ(Requests(1), 1);  // the bus was scanned once
}

TEST_F(CardAccessTest, LastCloseClosesTheDriverAndTheNextOpenScansAgain) {
  pci_.AddCard(0, 3, 0xFEB00000);
  pci_.AddCard(0, 4, 0xFEA00000);
  ASSERT_NE(cards_.OpenCard(1), 0u);
  mapAnswer_ = FakeBus::kBase + 0x10000;
  ASSERT_NE(cards_.OpenCard(2), 0u);
  EXPECT_TRUE(cards_.CloseCard(0));
  EXPECT_TRUE(cards_.DriverOpen());
  EXPECT_FALSE(cards_.CloseCard(0));  // already closed
  EXPECT_FALSE(cards_.CloseCard(3));
  EXPECT_EQ(cards_.OpenWindows(), 1);
  system_.calls.clear();
  EXPECT_TRUE(cards_.CloseCard(1));
  EXPECT_FALSE(cards_.DriverOpen());
  EXPECT_EQ(system_.calls.back(), "CloseHandle 4096");
  ASSERT_NE(cards_.OpenCard(1), 0u);
  EXPECT_EQ(Requests(1), 2);
}

TEST_F(CardAccessTest, RefusedMapRestartsTheServiceAndReportsNoWindow) {
  pci_.AddCard(0, 3, 0xFEB00000);
  system_.service = ServiceRegistration{};
  mapAnswer_ = 0;
  EXPECT_EQ(cards_.OpenCard(1), 0u);
  EXPECT_EQ(windows_.Get(0), 0u);
  EXPECT_EQ(cards_.OpenWindows(), 0);
  EXPECT_NE(std::find(system_.calls.begin(), system_.calls.end(), "ControlService 1"),
            system_.calls.end());
  EXPECT_TRUE(messages_.Shown().empty());  // stop and start went through
  EXPECT_TRUE(bus_.log.empty());           // no register touched
  // The restart unloaded the driver under the handle: the next open starts over.
  EXPECT_FALSE(cards_.DriverOpen());
  EXPECT_EQ(system_.calls.back(), "CloseHandle 4096");
  mapAnswer_ = FakeBus::kBase;
  EXPECT_EQ(cards_.OpenCard(1), FakeBus::kBase);
  EXPECT_EQ(Requests(1), 2);  // scanned again
}

TEST_F(CardAccessTest, UnopenableDriverIsShownAndNothingScanned) {
  system_.openable.clear();
  system_.driverFilePresent = false;
  pci_.AddCard(0, 3, 0xFEB00000);
  EXPECT_EQ(cards_.OpenCard(1), ERROR_WORD);
  EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{"Fehler bei HWAccess"}));
  EXPECT_EQ(messages_.Shown()[0].kind, MessageKind::Error);
  EXPECT_EQ(pci_.accesses, 0u);
  EXPECT_FALSE(cards_.DriverOpen());
}

TEST_F(CardAccessTest, RefusedUnmapStillClosesTheSlot) {
  pci_.AddCard(0, 3, 0xFEB00000);
  ASSERT_NE(cards_.OpenCard(1), 0u);
  system_.driver = [](std::uint32_t, std::span<std::uint8_t> out) {
    std::fill(out.begin(), out.end(), 0);
    return std::optional<std::uint32_t>(static_cast<std::uint32_t>(out.size()));
  };
  EXPECT_TRUE(cards_.CloseCard(0));
  EXPECT_EQ(windows_.Get(0), 0u);
  EXPECT_EQ(cards_.OpenWindows(), 0);
}

}  // namespace
}  // namespace fu
