// File layer and locale costs: page appends and random page reads through a handler, a
// byte-range lock and unlock pair, a whole-file copy, and string collation.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/platform/locale_services.h"
#include "engine/storage/files/file_handler.h"

namespace {

using namespace quarry;
namespace fs = std::filesystem;

constexpr int64_t kPage = 4096;
constexpr int64_t kFileBytes = 16 << 20;

const fs::path& BenchDirectory() {
  static const fs::path dir =
      fs::temp_directory_path() / ("quarry-file-bench-" + std::to_string(std::random_device{}()));
  return dir;
}

std::string BenchPath(const std::string& name) {
  fs::create_directories(BenchDirectory());
  return (BenchDirectory() / name).string();
}

void BM_AppendPages(benchmark::State& state) {
  const bool in_memory = state.range(0) != 0;
  const std::vector<char> page(kPage, 'p');
  for (auto _ : state) {
    TFileHandler handler(in_memory ? "BENCH-APPEND" : BenchPath("APPEND.DAT"), in_memory);
    handler.Create();
    for (int64_t written = 0; written < kFileBytes; written += kPage) handler.Write(page.data(), kPage);
    handler.Close();
  }
  state.SetBytesProcessed(state.iterations() * kFileBytes);
  state.SetLabel(in_memory ? "memory" : "disk");
}
BENCHMARK(BM_AppendPages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RandomPageReads(benchmark::State& state) {
  const bool in_memory = state.range(0) != 0;
  TFileHandler handler(in_memory ? "BENCH-READ" : BenchPath("READ.DAT"), in_memory);
  handler.Create();
  const std::vector<char> page(kPage, 'r');
  for (int64_t written = 0; written < kFileBytes; written += kPage) handler.Write(page.data(), kPage);
  std::mt19937 random(42);
  std::uniform_int_distribution<int64_t> pick(0, kFileBytes / kPage - 1);
  std::vector<char> buffer(kPage);
  for (auto _ : state) {
    benchmark::DoNotOptimize(handler.ReadAt(pick(random) * kPage, buffer.data(), kPage));
  }
  state.SetBytesProcessed(state.iterations() * kPage);
  state.SetLabel(in_memory ? "memory" : "disk");
}
BENCHMARK(BM_RandomPageReads)->Arg(0)->Arg(1);

void BM_LockUnlockRecordByte(benchmark::State& state) {
  const bool in_memory = state.range(0) != 0;
  TFileHandler handler(in_memory ? "BENCH-LOCK" : BenchPath("LOCK.DAT"), in_memory);
  handler.Create();
  // Other cursors' record locks already held, as in a busy table.
  for (uint64_t r = 1; r <= 64; ++r) handler.LockRegion(0xFFFFFFFEull - r * 2, 1, true);
  for (auto _ : state) {
    benchmark::DoNotOptimize(handler.LockRegion(0xFFFFFFFEull, 1, true));
    benchmark::DoNotOptimize(handler.LockRegion(0xFFFFFFFEull, 1, false));
  }
  state.SetLabel(in_memory ? "memory" : "disk");
}
BENCHMARK(BM_LockUnlockRecordByte)->Arg(0)->Arg(1);

void BM_CopyFile(benchmark::State& state) {
  TFileHandler source(BenchPath("COPYSRC.DAT"), false);
  source.Create();
  const std::vector<char> page(kPage, 'c');
  for (int64_t written = 0; written < kFileBytes; written += kPage) source.Write(page.data(), kPage);
  for (auto _ : state) source.CopyTo(BenchPath("COPYDST.DAT"), false, 20, {});
  state.SetBytesProcessed(state.iterations() * kFileBytes);
}
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond);

void BM_CompareTitles(benchmark::State& state) {
  const uint16_t language = static_cast<uint16_t>(state.range(0));
  const bool ignore_case = state.range(1) != 0;
  const std::vector<std::string> titles = {
      "The Godfather", "the godfather part II", "Am\xC3\xA9lie", "AMELIE", "Citizen Kane",
      "Casablanca",    "Zorba the Greek",       "8\xC2\xBD"};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        LocaleCompare(titles[i % titles.size()], titles[(i + 3) % titles.size()], ignore_case, language));
    ++i;
  }
}
BENCHMARK(BM_CompareTitles)->Args({0, 0})->Args({0, 1})->Args({1033, 0})->Args({1033, 1});

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(BenchDirectory(), ignored);
  return 0;
}
