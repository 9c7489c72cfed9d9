// Cost of the ephemeris identities: the CRC-32 over the raw blocks the decoders hash and the
// CRC-16 over the GLONASS string buffer, and a long block for throughput.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "navigation_data/crc_engine.h"

namespace {

std::vector<std::uint8_t> randomBytes(std::size_t n) {
  std::mt19937 rng(5155);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(rng());
  return v;
}

void BM_GbasCRC32(benchmark::State& state) {
  const int nBits = static_cast<int>(state.range(0));
  const auto data = randomBytes(static_cast<std::size_t>(nBits / 8 + 1));
  for (auto _ : state) {
    benchmark::DoNotOptimize(GbasCRC32.ComputeCRC(data.data(), 0, nBits));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * nBits / 8);
}
// Galileo 672, NavIC 512, BeiDou D1 800, B-CNAV 832, D2 992 bits; 8 KiB for throughput.
BENCHMARK(BM_GbasCRC32)->Arg(512)->Arg(672)->Arg(800)->Arg(832)->Arg(992)->Arg(65536);

void BM_GbasCRC16(benchmark::State& state) {
  const int nBits = static_cast<int>(state.range(0));
  const auto data = randomBytes(static_cast<std::size_t>(nBits / 8 + 1));
  for (auto _ : state) {
    benchmark::DoNotOptimize(GbasCRC16.ComputeCRC(data.data(), 0, nBits));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * nBits / 8);
}
// GLONASS 340 bits (four bits past the last whole byte), GPS LNAV 576 bits.
BENCHMARK(BM_GbasCRC16)->Arg(340)->Arg(576)->Arg(65536);

}  // namespace
