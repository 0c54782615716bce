// A 65,536-byte flash read over a simulated card that is always ready: register
// accesses per transferred word and host CPU time per word.

#include <benchmark/benchmark.h>

#include <vector>

#include "support/sim_card_rig.h"

namespace fu {
namespace {

void BM_FlashRead64K(benchmark::State& state) {
  test::SimCardRig rig;
  rig.card.Timing() = sim::SimCardTiming::AlwaysReady();
  rig.Open();
  if (!rig.Boot()) {
    state.SkipWithError("the simulated card did not boot");
    return;
  }
  constexpr std::size_t kBytes = 65536;
  constexpr double kWords = kBytes + 2;  // address and count, then the data
  std::vector<HostWord> buffer(kBytes);
  rig.bus.ResetCounters();
  for (auto _ : state) {
    if (!rig.flash.FlashRead(0, 0xD00000, buffer)) {
      state.SkipWithError("flash read failed");
      break;
    }
  }
  const auto& c = rig.bus.Counters();
  const double commands = static_cast<double>(state.iterations());  // one HCVR write each
  state.counters["accesses_per_word"] =
      (static_cast<double>(c.reads + c.writes) - commands) / (kWords * commands);
  state.counters["cpu_s_per_word"] = benchmark::Counter(
      kWords, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FlashRead64K)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fu
