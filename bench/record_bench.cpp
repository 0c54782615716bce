// Time per call of the record codec and the two conversions.

#include <benchmark/benchmark.h>

#include "platform/scripted_message_service.h"
#include "record/downgrade.h"
#include "record/image_codec.h"
#include "record/upgrade.h"
#include "support/sample_records.h"

namespace fu {
namespace {

void BM_DecodeImage(benchmark::State& state) {
  ImageV13 image;
  EncodeImage(test::SampleRecordV13(), image);
  RecordV13 record;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DecodeImage(image, record));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DecodeImage);

void BM_EncodeImage(benchmark::State& state) {
  const RecordV13 record = test::SampleRecordV13();
  ImageV13 image;
  for (auto _ : state) {
    benchmark::DoNotOptimize(EncodeImage(record, image));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_EncodeImage);

void BM_UpgradeRecord(benchmark::State& state) {
  const RecordV12 old_record = test::SampleRecordV12();
  ScriptedMessageService messages;
  for (auto _ : state) {
    RecordV13 record;
    benchmark::DoNotOptimize(UpgradeRecord(old_record, record, messages));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_UpgradeRecord);

void BM_DowngradeRecord(benchmark::State& state) {
  const RecordV13 record = test::SampleRecordV13();
  for (auto _ : state) {
    RecordV12 target;
    benchmark::DoNotOptimize(DowngradeRecord(record, target));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DowngradeRecord);

}  // namespace
}  // namespace fu
