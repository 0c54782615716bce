#include <gtest/gtest.h>

#include <cstring>

#include "hwaccess/driver_requests.h"
#include "platform/scripted_message_service.h"
#include "support/fake_system.h"

namespace fu {
namespace {

using test::FakePci;
using test::FakeSystem;

class DriverRequestsTest : public ::testing::Test {
 protected:
  DriverRequestsTest() {
    system_.openable = {"\\\\.\\Dev_HWACCESS"};
    driver_.OpenDriverDevice();
    system_.calls.clear();
  }
  // The driver answers a 4-byte word value with the given byte count.
  void Answer(std::uint32_t value, std::uint32_t bytes) {
    system_.driver = [value, bytes](std::uint32_t, std::span<std::uint8_t> out) {
      if (!out.empty()) {
        std::memcpy(out.data(), &value, std::min<std::size_t>(out.size(), 4));
      }
      return std::optional<std::uint32_t>(bytes);
    };
  }

  FakeSystem system_;
  ScriptedMessageService messages_;
  DriverService driver_{system_, messages_};
  FakePci ports_;
  DriverRequests requests_{system_, driver_, ports_};
};

TEST_F(DriverRequestsTest, RequestBlockIsTwentyLittleEndianBytes) {
  const RequestBlock block{RequestKind::MapPhysical, 0xFEB00000, 0xFFFF, 0x0012F000, 4};
  const auto bytes = block.Bytes();
  const std::array<std::uint8_t, 20> expected = {
      3, 0, 0, 0, 0x00, 0x00, 0xB0, 0xFE, 0xFF, 0xFF, 0, 0, 0x00, 0xF0, 0x12, 0, 4, 0, 0, 0};
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(HWACCESS_IOCTL, 0x9C406000u);
}

TEST_F(DriverRequestsTest, MapGivesTheLinearAddressOnlyForAFullAnswer) {
  Answer(0x40000000, 4);
  EXPECT_EQ(requests_.MapPhysical(0xFEB00000, 0xFFFF), 0x40000000u);
  ASSERT_EQ(system_.requests.size(), 1u);
  EXPECT_EQ(system_.requests[0],
            std::vector<std::uint8_t>(
                {3, 0, 0, 0, 0, 0, 0xB0, 0xFE, 0xFF, 0xFF, 0, 0, 0x00, 0xF0, 0x12, 0, 4, 0, 0, 0}));
  EXPECT_EQ(system_.calls, (std::vector<std::string>{"DeviceIoControl 2621464576"}));
  Answer(0, 4);
  EXPECT_EQ(requests_.MapPhysical(0xFEB00000, 0xFFFF), 0u);
  Answer(0x40000000, 2);
  EXPECT_EQ(requests_.MapPhysical(0xFEB00000, 0xFFFF), 0u);
  system_.driver = [](std::uint32_t, std::span<std::uint8_t>) {
    return std::optional<std::uint32_t>();
  };
  EXPECT_EQ(requests_.MapPhysical(0xFEB00000, 0xFFFF), 0u);
}

TEST_F(DriverRequestsTest, UnmapCountsOnlyTheLowStatusByte) {
  Answer(1, 4);
  EXPECT_TRUE(requests_.UnmapPhysical(0x40000000));
  EXPECT_EQ(system_.requests.back()[0], 4);
  EXPECT_EQ(system_.requests.back()[8], 0);  // no length
  Answer(0x100, 4);
  EXPECT_FALSE(requests_.UnmapPhysical(0x40000000));
  Answer(1, 0);
  EXPECT_FALSE(requests_.UnmapPhysical(0x40000000));
}

TEST_F(DriverRequestsTest, PortRangesAnswerNothing) {
  EXPECT_TRUE(requests_.EnablePortRange(0xCF8, 8));
  EXPECT_EQ(system_.requests.back(),
            std::vector<std::uint8_t>(
                {1, 0, 0, 0, 0xF8, 0x0C, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(requests_.DisablePortRange(0xCF8, 8));
  EXPECT_EQ(system_.requests.back()[0], 2);
  Answer(0, 4);  // a driver that answers where nothing is expected
  EXPECT_FALSE(requests_.EnablePortRange(0xCF8, 8));
}

TEST_F(DriverRequestsTest, Windows9xNeedsNoPortRangeButStillMaps) {
  system_.platform = win::VER_PLATFORM_WIN32_WINDOWS;
  EXPECT_TRUE(requests_.EnablePortRange(0xCF8, 8));
  EXPECT_TRUE(requests_.DisablePortRange(0xCF8, 8));
  EXPECT_TRUE(system_.requests.empty());
  Answer(0x40000000, 4);
  EXPECT_EQ(requests_.MapPhysical(0xFEB00000, 0xFFFF), 0x40000000u);
  EXPECT_EQ(system_.requests.size(), 1u);
}

TEST_F(DriverRequestsTest, WithoutADriverHandleEveryRequestFails) {
  FakeSystem fresh;
  DriverService closed(fresh, messages_);
  DriverRequests requests(fresh, closed, ports_);
  EXPECT_FALSE(requests.EnablePortRange(0xCF8, 8));
  EXPECT_EQ(requests.MapPhysical(0xFEB00000, 0xFFFF), 0u);
}

TEST_F(DriverRequestsTest, PortInstructionsGoStraightToThePorts) {
  ports_.AddCard(0, 3, 0xFEB00000);
  EXPECT_EQ(requests_.WritePortDword(0xCF8, 0x80001810), 0x80001810u);
  EXPECT_EQ(requests_.ReadPortDword(0xCFC), 0xFEB00000u);
  EXPECT_TRUE(system_.requests.empty());
}

}  // namespace
}  // namespace fu
