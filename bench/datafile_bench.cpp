// Throughput of the table data file: appending and reading back 1,000,000 records of 100
// bytes through TDataFile (sequentially with read-ahead and by random record number), beside
// the same bytes written and read with plain pwrite/pread on the same machine.
//
// Run from a release build: cmake -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
// cmake --build build --target datafile_bench && build/bench/datafile_bench
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/data/data_file.h"
#include "engine/storage/data/record_buffer.h"

namespace {

using namespace quarry;
namespace fs = std::filesystem;

constexpr int RecordCount = 1000000;
constexpr int RandomReads = 1000000;

std::string BenchDirectory() {
  static const fs::path dir = [] {
    fs::path p = fs::temp_directory_path() / "pellomar_datafile_bench";
    fs::create_directories(p);
    return p;
  }();
  return dir.string();
}

std::string TablePath() { return BenchDirectory() + "/BENCH.DAT"; }
std::string RawPath() { return BenchDirectory() + "/RAW.BIN"; }

// Title (84 characters) and a year: 100-byte records.
std::vector<TFieldDefinition> Fields() {
  std::vector<TFieldDefinition> fields(2);
  fields[0].FieldNo = 1;
  fields[0].Name = "Title";
  fields[0].DataType = TFieldType::String;
  fields[0].Size = 84;
  fields[1].FieldNo = 2;
  fields[1].Name = "Year";
  fields[1].DataType = TFieldType::Integer;
  AssignFieldOffsets(fields.data(), 2);
  return fields;
}

void AppendTable() {
  fs::remove(TablePath());
  TDataFile file(TablePath());
  const auto fields = Fields();
  file.CreateFile(0, 0, fields, 0, "bench", "", false);
  for (int i = 0; i < RecordCount; ++i) {
    TPinnedRecord record = file.AllocateRecord();
    std::uint8_t* data = record.Data();
    SetRecordIdentifier(data, file.NextAutoIncValue());
    SetFieldString(data, fields[0], "The film number " + std::to_string(i));
    SetFieldInteger(data, fields[1], 1900 + i % 120);
    file.MarkDirty(record.get());
  }
  file.FlushTable(false, true);
}

void BM_DataFileAppend(benchmark::State& state) {
  for (auto _ : state) AppendTable();
  state.counters["records/s"] = benchmark::Counter(double(RecordCount), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["MB/s"] =
      benchmark::Counter(double(RecordCount) * 100 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DataFileSequentialRead(benchmark::State& state) {
  if (!fs::exists(TablePath())) AppendTable();
  const auto fields = Fields();
  std::int64_t sum = 0;
  for (auto _ : state) {
    TDataFile file(TablePath());
    file.Open();
    for (std::int32_t n = 1; n <= RecordCount; ++n) {
      TPinnedRecord record = file.GetRecord(nullptr, n, TReadDirection::Forward, true);
      sum += GetFieldInteger(record.Data(), fields[1]);
    }
  }
  benchmark::DoNotOptimize(sum);
  state.counters["records/s"] = benchmark::Counter(double(RecordCount), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DataFileRandomRead(benchmark::State& state) {
  if (!fs::exists(TablePath())) AppendTable();
  const auto fields = Fields();
  std::mt19937 random(7);
  std::vector<std::int32_t> numbers(RandomReads);
  for (auto& n : numbers) n = 1 + static_cast<std::int32_t>(random() % RecordCount);
  std::int64_t sum = 0;
  for (auto _ : state) {
    TDataFile file(TablePath());
    file.Open();
    for (std::int32_t n : numbers) {
      TPinnedRecord record = file.GetRecord(nullptr, n);
      sum += GetFieldInteger(record.Data(), fields[1]);
    }
  }
  benchmark::DoNotOptimize(sum);
  state.counters["records/s"] = benchmark::Counter(double(RandomReads), benchmark::Counter::kIsIterationInvariantRate);
}

// Baselines: the same 100-byte records with one pwrite/pread per record, and sequential
// transfers in the data file's own batch sizes (16 KB writes, 8 KB reads).
void BM_PwriteAppend(benchmark::State& state) {
  const int batch = static_cast<int>(state.range(0));  // records per call
  std::vector<std::uint8_t> buffer(std::size_t(batch) * 100, 'x');
  for (auto _ : state) {
    const int fd = ::open(RawPath().c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    for (int i = 0; i < RecordCount; i += batch) {
      const int count = std::min(batch, RecordCount - i);
      if (::pwrite(fd, buffer.data(), std::size_t(count) * 100, off_t(i) * 100) < 0) state.SkipWithError("pwrite");
    }
    ::close(fd);
  }
  state.counters["records/s"] = benchmark::Counter(double(RecordCount), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PreadSequential(benchmark::State& state) {
  const int batch = static_cast<int>(state.range(0));
  if (!fs::exists(RawPath()) || fs::file_size(RawPath()) < std::uintmax_t(RecordCount) * 100) {
    std::vector<std::uint8_t> all(std::size_t(RecordCount) * 100, 'x');
    const int fd = ::open(RawPath().c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (::pwrite(fd, all.data(), all.size(), 0) < 0) state.SkipWithError("pwrite");
    ::close(fd);
  }
  std::vector<std::uint8_t> buffer(std::size_t(batch) * 100);
  std::int64_t sum = 0;
  for (auto _ : state) {
    const int fd = ::open(RawPath().c_str(), O_RDONLY);
    for (int i = 0; i < RecordCount; i += batch) {
      const int count = std::min(batch, RecordCount - i);
      if (::pread(fd, buffer.data(), std::size_t(count) * 100, off_t(i) * 100) < 0) state.SkipWithError("pread");
      sum += buffer[0];
    }
    ::close(fd);
  }
  benchmark::DoNotOptimize(sum);
  state.counters["records/s"] = benchmark::Counter(double(RecordCount), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PreadRandom(benchmark::State& state) {
  std::mt19937 random(7);
  std::vector<std::int32_t> numbers(RandomReads);
  for (auto& n : numbers) n = static_cast<std::int32_t>(random() % RecordCount);
  std::uint8_t buffer[100];
  std::int64_t sum = 0;
  for (auto _ : state) {
    const int fd = ::open(RawPath().c_str(), O_RDONLY);
    for (std::int32_t n : numbers) {
      if (::pread(fd, buffer, 100, off_t(n) * 100) < 0) state.SkipWithError("pread");
      sum += buffer[0];
    }
    ::close(fd);
  }
  benchmark::DoNotOptimize(sum);
  state.counters["records/s"] = benchmark::Counter(double(RandomReads), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_DataFileAppend)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DataFileSequentialRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DataFileRandomRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PwriteAppend)->Arg(1)->Arg(163)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PreadSequential)->Arg(1)->Arg(81)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PreadRandom)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(BenchDirectory());
  return 0;
}
