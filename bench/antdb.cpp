// Antenna database look-ups: by name over every entry (the settings reader, the RTCM base
// decoders), by an unknown name, by CMR number (the CMR decoder) and by path prefix (the
// /par/antdb/ keys).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "positioning/antdb/ant_db.h"

namespace {

std::vector<std::string> allNames() {
  std::vector<std::string> v;
  for (int i = 0; i < antDataBase.count(); ++i) v.emplace_back(antDataBase.at(i).id());
  return v;
}

void BM_FindByName(benchmark::State& state) {
  const auto names = allNames();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(antDataBase.find(names[i].c_str()).id());
    i = i + 1 == names.size() ? 0 : i + 1;
  }
}
BENCHMARK(BM_FindByName);

void BM_FindUnknownName(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(antDataBase.find("TRM99999.00     NONE").id());
}
BENCHMARK(BM_FindUnknownName);

void BM_FindByCmrNumber(benchmark::State& state) {
  int n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(antDataBase.find(n).id());
    n = (n + 1) & 0xFF;
  }
}
BENCHMARK(BM_FindByCmrNumber);

void BM_CmrNumberOfEntry(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(antDataBase.cmrFind(i, 0));
    i = i + 1 == antDataBase.count() ? 0 : i + 1;
  }
}
BENCHMARK(BM_CmrNumberOfEntry);

void BM_FindPartialPath(benchmark::State& state) {
  std::vector<std::string> paths;
  for (const auto& n : allNames()) paths.push_back(n + "/l1_arp/u");
  std::size_t i = 0;
  for (auto _ : state) {
    const char* p = paths[i].c_str();
    benchmark::DoNotOptimize(antDataBase.findPartial(p));
    i = i + 1 == paths.size() ? 0 : i + 1;
  }
}
BENCHMARK(BM_FindPartialPath);

}  // namespace
