#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "flash/flash_commands.h"
#include "support/fake_bus.h"

namespace fu {
namespace {

using test::FakeBus;

// Puts each wait into the bus log, so the tests see where it falls among the
// register accesses.
class LoggingClock : public Clock {
 public:
  static constexpr std::uint32_t kWait = 0xFFFFFFFF;
  explicit LoggingClock(FakeBus& bus) : bus_(bus) {}
  void Sleep(std::chrono::milliseconds duration) override {
    bus_.log.push_back({true, kWait, static_cast<std::uint32_t>(duration.count())});
  }
  std::chrono::milliseconds Uptime() const override { return {}; }
  std::string ShortDate() override { return "05.03.2003"; }
  std::string DateAndTime() override { return "05.03.2003 10:00:00"; }

 private:
  FakeBus& bus_;
};

class FlashCommandsTest : public ::testing::Test {
 protected:
  FlashCommandsTest() { windows_.Set(2, FakeBus::kBase); }

  // The log as a sequence of: HCVR values ("C" + value), data words sent, words
  // read, waits ("W" + ms).
  std::vector<std::string> WireLog() const {
    std::vector<std::string> wire;
    for (const auto& a : bus_.log) {
      if (a.offset == LoggingClock::kWait) {
        wire.push_back("W" + std::to_string(a.value));
      } else if (a.offset == hi::HCVR) {
        wire.push_back("C" + std::to_string(a.value));
      } else if (a.offset == hi::HDATA) {
        wire.push_back((a.write ? ">" : "<") + std::to_string(a.value));
      }
    }
    return wire;
  }
  void NeverReady() {
    bus_.status = [](std::uint64_t) { return 0u; };
  }

  FakeBus bus_;
  WindowTable windows_;
  HostInterface host_{bus_, windows_};
  LoggingClock clock_{bus_};
  FlashCommands flash_{host_, clock_};
};

using Wire = std::vector<std::string>;

TEST_F(FlashCommandsTest, ReadSendsAddressAndCountAndKeepsTheLowBytes) {
  bus_.answers = {0x1FF, 0x42, 0xABCDEF};
  std::vector<HostWord> buffer(3);
  ASSERT_TRUE(flash_.FlashRead(2, 0xD01000, buffer));
  EXPECT_EQ(buffer, (std::vector<HostWord>{0xFF, 0x42, 0xEF}));
  EXPECT_EQ(WireLog(), (Wire{"C137", ">13635584", ">3", "<511", "<66", "<11259375"}));
}

TEST_F(FlashCommandsTest, ReadOfNothingSendsTheCommandOnly) {
  ASSERT_TRUE(flash_.FlashRead(2, 0xD00000, {}));
  EXPECT_EQ(WireLog(), (Wire{"C137", ">13631488", ">0"}));
}

TEST_F(FlashCommandsTest, ReadStopsWhereAWordFailsToArrive) {
  bus_.answers = {5, 6};
  // The first status read is the check for words left by an earlier command.
  bus_.status = [](std::uint64_t n) { return n <= 5 ? hi::kHtrq | hi::kHrrq : hi::kHtrq; };
  std::vector<HostWord> buffer(4, 0xAA);
  EXPECT_FALSE(flash_.FlashRead(2, 0xD00000, buffer));
  EXPECT_EQ(buffer, (std::vector<HostWord>{5, 6, 0, 0xAA}));
}

TEST_F(FlashCommandsTest, ReadRefusesSlotsOutsideTheTable) {
  std::vector<HostWord> buffer(1);
  EXPECT_FALSE(flash_.FlashRead(4, 0xD00000, buffer));
  EXPECT_FALSE(flash_.FlashRead(-1, 0xD00000, buffer));
  EXPECT_TRUE(bus_.log.empty());
}

TEST_F(FlashCommandsTest, WriteWaitsAroundTheDataAndDecidesByTheStatus) {
  bus_.answers = {0};
  const std::vector<HostWord> data = {0x1AB, 0x02};
  EXPECT_TRUE(flash_.FlashWrite(2, 2048, data));
  EXPECT_EQ(WireLog(), (Wire{"C209", ">2", ">2048", ">2", "W10", ">171", ">2", "W10", "<0"}));

  bus_.log.clear();
  bus_.answers = {1};
  EXPECT_FALSE(flash_.FlashWrite(2, 0, {}));
  EXPECT_EQ(WireLog(), (Wire{"C209", ">2", ">0", ">0", "W10", "W10", "<1"}));
}

TEST_F(FlashCommandsTest, WriteStopsAtTheFirstDataWordThatCannotGo) {
  bus_.answers = {0};
  bus_.status = [](std::uint64_t n) { return n <= 5 ? hi::kHtrq | hi::kHrrq : hi::kHrrq; };
  const std::vector<HostWord> data = {1, 2, 3};
  EXPECT_FALSE(flash_.FlashWrite(2, 0, data));
  EXPECT_EQ(WireLog(), (Wire{"C209", ">2", ">0", ">3", "W10", ">1"}));  // no status read
}

TEST_F(FlashCommandsTest, WriteWhoseSubCommandDidNotGoReadsNoStatus) {
  bus_.unread = {0};  // a stale 0 would read as "programmed"
  bus_.status = [](std::uint64_t n) { return n == 1 ? hi::kHrrq : 0u; };  // takes no words
  const std::vector<HostWord> data = {1};
  EXPECT_FALSE(flash_.FlashWrite(2, 0, data));
  EXPECT_EQ(WireLog(), (Wire{"C209", "<0", "W10", "W10"}));
}

TEST_F(FlashCommandsTest, WordsAnEarlierCommandLeftNeverAnswerTheNextOne) {
  // Read away after the host command, before the arguments: a stale 0 would read
  // as "erased".
  bus_.unread = {0, 0};
  bus_.answers = {1};
  EXPECT_FALSE(flash_.FlashErase(2, 0xD02000));
  EXPECT_EQ(WireLog(), (Wire{"C209", "<0", "<0", ">3", ">13639680", "<1", "W10"}));

  // As many as the longest answer could leave are read away; a register that
  // holds more never empties, and the command goes no further.
  bus_.unread.assign(flash_cmd::kMaxStaleWords, 0);
  bus_.answers = {0};
  EXPECT_TRUE(flash_.FlashErase(2, 0xD02000));
  bus_.log.clear();
  bus_.unread.assign(flash_cmd::kMaxStaleWords + 1, 0);
  std::vector<HostWord> buffer(2, 0xAA);
  EXPECT_FALSE(flash_.FlashRead(2, 0xD00000, buffer));
  EXPECT_EQ(buffer, (std::vector<HostWord>{0, 0xAA}));
  const Wire wire = WireLog();
  EXPECT_EQ(std::count_if(wire.begin(), wire.end(), [](const auto& w) { return w[0] == '>'; }), 0);
}

TEST_F(FlashCommandsTest, EraseAnswersByStatusAndAlwaysWaits) {
  bus_.answers = {0};
  EXPECT_TRUE(flash_.FlashErase(2, 0xD02000));
  EXPECT_EQ(WireLog(), (Wire{"C209", ">3", ">13639680", "<0", "W10"}));
  bus_.log.clear();
  bus_.answers = {1};
  EXPECT_FALSE(flash_.FlashErase(2, 0xD01000));
  EXPECT_EQ(WireLog().back(), "W10");
}

TEST_F(FlashCommandsTest, SilentCardFailsEveryCommand) {
  NeverReady();
  std::vector<HostWord> buffer(2, 0xAA);
  EXPECT_FALSE(flash_.FlashRead(2, 0xD00000, buffer));
  EXPECT_EQ(buffer[0], 0u);
  EXPECT_FALSE(flash_.FlashErase(2, 0xD02000));
  EXPECT_EQ(flash_.ReceiveWord(2), ERROR_WORD);
  EXPECT_TRUE(flash_.SendWords(2, buffer));  // a failed transfer shows only later
  EXPECT_FALSE(flash_.SendWord(2, 1));
  EXPECT_TRUE(bus_.sent.empty());
}

}  // namespace
}  // namespace fu
