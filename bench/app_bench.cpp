// Wall time of whole actions on the simulated PC with the real clock, beside the
// fixed waits the actions prescribe: a full upgrade (erase 10 ms, each of four
// blocks 10 ms before and after its data) and start-up with four cards (500 ms
// before and 250 ms after each DSP program load). The ratio says how much the
// transfers and the simulator add to the waits.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "app/flash_update_kunde_unit.h"
#include "hwaccess/card_access.h"
#include "platform/recording_flash_splash.h"
#include "platform/recording_main_window.h"
#include "platform/scripted_message_service.h"
#include "sim/sim_machine.h"
#include "sim/sim_pc.h"
#include "support/temp_folder.h"

namespace fu {
namespace {

using Clock = std::chrono::steady_clock;

// Passes sleeps on and adds them up.
class SleepCounter : public fu::Clock {
 public:
  explicit SleepCounter(fu::Clock& inner) : inner_(inner) {}
  void Sleep(std::chrono::milliseconds d) override {
    slept += d;
    inner_.Sleep(d);
  }
  std::chrono::milliseconds Uptime() const override { return inner_.Uptime(); }
  std::string ShortDate() override { return inner_.ShortDate(); }
  std::string DateAndTime() override { return inner_.DateAndTime(); }
  std::chrono::milliseconds slept{0};

 private:
  fu::Clock& inner_;
};

struct Program {
  explicit Program(const std::filesystem::path& folder, int cards)
      : machine(folder, sim::ClockKind::kSystem), clock(machine.Time()) {
    for (int c = machine.Pc().CardCount(); c < cards; ++c) {
      machine.Pc().AddCardLike(0, {2, static_cast<std::uint8_t>(c + 1),
                                   0xFE800000u + static_cast<std::uint32_t>(c) * 0x10000u});
    }
  }
  sim::SimMachine machine;
  SleepCounter clock;
  ScriptedMessageService messages;
  RecordingFlashSplash splash;
  RecordingMainWindow view;
  FlashUpdateSystem system{Ports{machine.System(), machine.Ports(), machine.Bus(), clock,
                                 machine.Drive(), messages, splash}};
  TForm1 form{system, view};
};

void Report(benchmark::State& state, double wall_ms, double waits_ms, double prescribed_ms) {
  state.counters["wall_ms"] = wall_ms;
  state.counters["slept_ms"] = waits_ms;
  state.counters["prescribed_waits_ms"] = prescribed_ms;
  state.counters["wall_per_wait"] = wall_ms / prescribed_ms;
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void BM_UpgradeOnSimulatedPc(benchmark::State& state) {
  double wall = 0, slept = 0;
  for (auto _ : state) {
    state.PauseTiming();
    test::TempFolder folder;
    Program program(folder.Path() / "pc", 2);
    program.form.FormCreate();
    program.clock.slept = {};
    state.ResumeTiming();
    const auto start = Clock::now();
    if (program.form.Button2Click() != ActionResult::Done) {
      state.SkipWithError("the upgrade failed");
      break;
    }
    wall = Ms(Clock::now() - start);
    slept = static_cast<double>(program.clock.slept.count());
  }
  Report(state, wall, slept, 10 + 4 * (10 + 10));
}
BENCHMARK(BM_UpgradeOnSimulatedPc)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartUpWithFourCards(benchmark::State& state) {
  double wall = 0, slept = 0;
  for (auto _ : state) {
    state.PauseTiming();
    test::TempFolder folder;
    Program program(folder.Path() / "pc", 4);
    state.ResumeTiming();
    const auto start = Clock::now();
    program.form.FormCreate();
    wall = Ms(Clock::now() - start);
    slept = static_cast<double>(program.clock.slept.count());
    if (program.view.Items().size() != 4) {
      state.SkipWithError("not four cards");
      break;
    }
    state.counters["config_reads"] =
        static_cast<double>(program.machine.Pc().Ports().Diagnostics().configReads);
  }
  Report(state, wall, slept, 4 * (500 + 250));
}
BENCHMARK(BM_StartUpWithFourCards)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The PCI scan alone on the default PC (two cards, so every bus is scanned to
// its end) with the virtual clock: its configuration reads and its wall time.
void BM_PciScanOnDefaultPc(benchmark::State& state) {
  test::TempFolder folder;
  sim::SimPc pc(folder.Path() / "pc");
  ScriptedMessageService messages;
  WindowTable windows;
  HostInterface host{pc.Bus(), windows};
  DriverService driver{pc.System(), messages};
  DriverRequests requests{pc.System(), driver, pc.Ports()};
  CardAccess cards{driver, requests, host, windows, messages};
  if (!driver.OpenDriver()) {
    state.SkipWithError("the driver did not open");
    return;
  }
  double wall = 0;
  std::uint64_t reads = 0;
  for (auto _ : state) {
    const std::uint64_t before = pc.Ports().Diagnostics().configReads;
    const auto start = Clock::now();
    cards.ScanPciBus();
    wall = Ms(Clock::now() - start);
    reads = pc.Ports().Diagnostics().configReads - before;
  }
  state.counters["config_reads"] = static_cast<double>(reads);
  state.counters["scan_ms"] = wall;
  state.counters["cards"] = static_cast<double>(
      std::ranges::count_if(cards.Cards(), [](const CardEntry& card) { return card.present; }));
}
BENCHMARK(BM_PciScanOnDefaultPc)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace fu
