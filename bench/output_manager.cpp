// The output manager's per-epoch work for one stream with a handful of messages.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "output/out_msg.h"
#include "output/output_manager.h"
#include "platform/ports/out_port.h"

namespace {

// The port of dev/ser/a in the port table, counting what it takes.
class Sink : public OutPort {
 public:
  Sink() : OutPort(5) {}
  std::uint64_t bytes = 0;

 protected:
  int devWrite(const void*, int len, int) override {
    bytes += static_cast<std::uint64_t>(len);
    return len;
  }
};

// A message of 64 body bytes, about the size of a small position record.
class Record : public OutMsg {
 public:
  void out(OmStreamInfo& si) override {
    si.writer.reset("PG", ZrCheck::kCs8);
    for (std::uint32_t i = 0; i < 16; ++i) si.writer.put(static_cast<std::uint32_t>(si.time) + i);
    si.write();
  }
  long changeId() override { return 0; }
  bool outPart(OmStreamInfo&, int) override { return false; }
  int planIndex() const override { return -1; }
};

Record g_records[6];
Sink g_sink;

void setUp() {
  static bool done = false;
  if (done) return;
  done = true;
  omInitOnce();
  const char* names[] = {"PG", "VG", "SG", "DP", "TO", "UO"};
  for (int i = 0; i < 6; ++i) MsgPool::add(msgPool, kGroupZrt, names[i], &g_records[i], nullptr);
  OutPorts::ports_[5] = &g_sink;
  omEnableMsgs(5, "zrt/{RT,ET,PG,VG,SG,DP,TO,UO}:0");
}

void BM_PrepareAndOutput(benchmark::State& state) {
  setUp();
  long t = 0;
  std::uint64_t before = g_sink.bytes;
  for (auto _ : state) {
    omPrepare(t);
    omOutput(t);
    t = (t + 100) % 86400000;
  }
  state.SetItemsProcessed(state.iterations() * 8);
  state.SetBytesProcessed(static_cast<std::int64_t>(g_sink.bytes - before));
}
BENCHMARK(BM_PrepareAndOutput);

void BM_PrepareNothingDue(benchmark::State& state) {
  setUp();
  // Once a day, enabled off the grid: every message is looked at and none falls due.
  omEnableMsgs(5, "zrt/{RT,ET,PG,VG,SG,DP,TO,UO}:86400");
  long t = 100;
  std::uint64_t before = g_sink.bytes;
  for (auto _ : state) {
    omPrepare(t);
    omOutput(t);
    t = t % 86000000 + 100;
  }
  if (g_sink.bytes != before) state.SkipWithError("something fell due");
  omEnableMsgs(5, "zrt/{RT,ET,PG,VG,SG,DP,TO,UO}:0");
}
BENCHMARK(BM_PrepareNothingDue);

void BM_WriterFrame(benchmark::State& state) {
  char buf[256];
  ZRStdMsg m(buf, sizeof buf, "PG", ZrCheck::kCs8);
  for (auto _ : state) {
    m.reset();
    for (std::uint32_t i = 0; i < 16; ++i) m.put(i);
    benchmark::DoNotOptimize(m.finish());
  }
}
BENCHMARK(BM_WriterFrame);

}  // namespace
