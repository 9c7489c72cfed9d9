// Cost of the BeiDou B-CNAV decoders per message: a B1C frame (the whole ephemeris each time:
// raw fields, identity, the store's merge and change check), a B2a message of the 10/11/30
// cycle (every third completes the set), and a B2b message of the 10/30 pair.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>

#include "navigation_data/decoders/beidou_b2b_decoder.h"
#include "navigation_data/decoders/beidou_cnav1_decoder.h"
#include "navigation_data/decoders/beidou_cnav2_decoder.h"

namespace {

template <std::size_t N>
struct Writer {
  std::array<std::uint32_t, N> w{};
  int bit = 1;
  Writer& put(long long v, int n) {
    for (int i = n - 1; i >= 0; --i, ++bit)
      if ((static_cast<unsigned long long>(v) >> i) & 1u) w[static_cast<std::size_t>((bit - 1) / 32)] |= 1u << (31 - (bit - 1) % 32);
    return *this;
  }
  Writer& at(int b) {
    bit = b;
    return *this;
  }
};

long long q(double v, int p) { return std::llround(std::ldexp(v, p)); }

template <std::size_t N>
void eph1(Writer<N>& c) {
  c.put(100, 11).put(3, 2).put(-27, 26).put(2000, 25).put(900, 17).put(-50, 23);
  c.put(q(0.25, 32), 33).put(q(0.001, 34), 33).put(q(-0.36, 32), 33);
}
template <std::size_t N>
void eph2(Writer<N>& c) {
  c.put(q(-0.37, 32), 33).put(q(0.3055, 32), 33).put(-3000, 19).put(40, 15).put(5, 16).put(-7, 16);
  c.put(-1500, 24).put(63000, 24).put(6000, 21).put(-900, 21);
}
template <std::size_t N>
void clock(Writer<N>& c) {
  c.put(100, 11).put(-120000, 25).put(-300, 22).put(0, 11);
}

constexpr int kPrn = 19;
const SvIdType kSv{kPrn - 1, kSysBeidou, 0, kPrn - 1};

void BM_B1cFrame(benchmark::State& state) {
  for (auto& d : CompCNav1DataDecoderInstance) d.init_Object(&SatDataProcessorInstance);
  Writer<28> c;
  c.put(897, 13).put(8, 8).put(0x1A5, 10).put(0xA5, 8);
  eph1(c);
  eph2(c);
  clock(c);
  c.put(-90, 12).put(-12, 12).put(150, 12).at(609).put(2, 6);
  std::uint32_t tag = 0;
  for (auto _ : state) {
    const NavDecoderTime t{0, ++tag};
    get_CompCNav1DataDecoder(&t, &kSv)->update(t, kSv, c.w.data(), 28, 100);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_B1cFrame);

void BM_B2aMessage(benchmark::State& state) {
  for (auto& d : CompCNav2DataDecoderInstance) d.init_Object(&SatDataProcessorInstance);
  Writer<9> m10, m11, m30;
  m10.put(kPrn, 6).put(10, 6).put(1000, 18).put(897, 13).put(0, 10).put(0xA5, 8);
  eph1(m10);
  m11.put(kPrn, 6).put(11, 6).put(1001, 18).put(0, 12);
  eph2(m11);
  m30.put(kPrn, 6).put(30, 6).put(1002, 18).put(0, 12);
  clock(m30);
  m30.put(0x1A5, 10).put(-90, 12).put(-40, 12).put(100, 10).at(220).put(150, 12);
  const std::uint32_t* msgs[3] = {m10.w.data(), m11.w.data(), m30.w.data()};
  std::uint32_t tag = 0;
  for (auto _ : state) {
    const NavDecoderTime t{0, ++tag};
    get_CompCNav2DataDecoder(&t, &kSv)->update(t, kSv, msgs[tag % 3], 9);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_B2aMessage);

void BM_B2bMessage(benchmark::State& state) {
  for (auto& d : CompCNav2bDataDecoderInstance) d.init_Object(&SatDataProcessorInstance);
  navDecoderLinks.b2bSource = [] { return 3; };
  Writer<16> m10, m30;
  m10.put(10, 6).put(30000, 20).put(5, 4);
  eph1(m10);
  eph2(m10);
  m30.put(30, 6).put(30003, 20).put(897, 13).put(5, 4);
  clock(m30);
  m30.put(77, 12).put(100, 10);
  const std::uint32_t* msgs[2] = {m10.w.data(), m30.w.data()};
  std::uint32_t tag = 0;
  for (auto _ : state) {
    const NavDecoderTime t{0, ++tag};
    get_CompCNav2bDataDecoder(&t, &kSv)->update(t, kSv, msgs[tag % 2], 16, false);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_B2bMessage);

}  // namespace
