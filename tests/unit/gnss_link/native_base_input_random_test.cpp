// Random and cut native messages of every id the base input reads, through a port in "zrt"
// mode: nothing is read out of bounds (the sanitizers watch), every epoch that comes out is
// well formed, and the base buffer is free again afterwards.
#include <random>
#include <set>

#include "unit/gnss_link/native_base_test_util.h"

namespace {

using nbtest::BaseRig;

const char* const kIds[] = {"GT", "NT", "BI", "PO", "PV", "SI", "rc", "cp", "2r", "3r", "5r", "lr", "2p", "3p",
                            "5p", "lp", "DC", "D2", "D3", "D5", "Dl", "EC", "E2", "E3", "E5", "El"};
constexpr long kTow = 2 * 86400000L + 3600000L;

void tracksMany() {
  std::vector<CpdSv> svs;
  for (int prn = 1; prn <= 32; ++prn) svs.push_back(CpdSv::make(CpdSv::kGps, prn));
  for (int ch = -3; ch <= 3; ++ch) svs.push_back(CpdSv::make(CpdSv::kGlonass, ch));
  for (int n : {1, 2, 36}) svs.push_back(CpdSv::make(CpdSv::kGalileo, n));
  svs.push_back(CpdSv::make(CpdSv::kSbas, 147));
  svs.push_back(CpdSv::make(CpdSv::kBeidou, 44));
  BaseRig::tracks(svs);
}

// Each epoch that came out: at most 44 distinct satellites, each found through its own index.
void wellFormed(const std::vector<CpdMeas>& epochs) {
  for (const CpdMeas& m : epochs) {
    ASSERT_GE(m.n, 0);
    ASSERT_LE(m.n, CpdMeas::kMaxSv);
    std::set<int> ids;
    for (int i = 0; i < m.n; ++i) {
      EXPECT_TRUE(ids.insert(m.sv[i].sv.id).second);
      EXPECT_EQ(m.find(m.sv[i].sv), &m.sv[i]);
    }
  }
}

void bufferFree() {
  CpdMeas* m = pBaseMeasBuf->doObtain();
  ASSERT_NE(m, nullptr);
  pBaseMeasBuf->doReclaim(m);
}

TEST(NativeBaseInputRandom, RandomMessagesOfEveryId) {
  BaseRig rig;
  BaseRig::rover(kTow, (kTow / 1000 % 86400 - 18 + 10800) % 86400 * 1000);
  tracksMany();
  std::mt19937 rnd(65);
  for (int round = 0; round < 40; ++round) {
    std::string s;
    for (int k = 0; k < 200; ++k) {
      const int pick = static_cast<int>(rnd() % 40);
      if (pick < 2) {
        s += sim::epochStart(static_cast<std::uint32_t>(kTow % 86400000 + 1000 * (rnd() % 3)));
      } else if (pick < 4) {
        s += sim::epochEnd(static_cast<std::uint32_t>(kTow % 86400000 + 1000 * (rnd() % 3)));
      } else if (pick == 4) {
        s += sim::frame("||", "x", true);
      } else {
        const char* id = kIds[rnd() % (sizeof kIds / sizeof kIds[0])];
        // Lengths near whole element counts of a short list, and anything up to 300 bytes.
        const int n = rnd() % 3 == 0 ? static_cast<int>(rnd() % 300) : static_cast<int>(4 * (rnd() % 6) + rnd() % 3);
        std::string body;
        for (int i = 0; i < n; ++i) body += static_cast<char>(rnd() % 4 == 0 ? rnd() % 40 : rnd());
        std::string m = sim::frame(id, body, true);
        if (rnd() % 10 == 0) m.back() = static_cast<char>(m.back() ^ 0x5A);
        s += m;
      }
    }
    rig.feed(s, 1 + rnd() % 700);
  }
  wellFormed(rig.released.epochs);
  rig.feed(sim::epochEnd(0));
  bufferFree();
}

// A whole epoch cut at every byte, each piece followed by two good epochs: the second comes out (the
// cut message may swallow the first one's start, and an 8-bit checksum passes one time in 256).
TEST(NativeBaseInputRandom, EpochCutAtEveryByte) {
  BaseRig rig;
  const long glo = (kTow / 1000 % 86400 - 18 + 10800) % 86400 * 1000;
  BaseRig::rover(kTow, glo);
  tracksMany();
  std::vector<sim::BaseSat> sats(3);
  sats[0] = {1, 0, 0, {}};
  sats[1] = {46, 1, 1, {}};
  sats[2] = {147, 3, 0, {}};
  for (sim::BaseSat& s : sats)
    for (int slot : {0, 2, 3, 4}) s.sig[slot] = {2.2e7 + slot, 1.1e8 + slot, -1000.5, 40};
  sats[2].sig[0].code = 3.8e7;
  const std::string whole = sim::baseEpoch(static_cast<std::uint32_t>(kTow % 86400000), kTow, glo, sats);
  std::string good;
  for (long dt : {1000, 2000})
    good += sim::baseEpoch(static_cast<std::uint32_t>(kTow % 86400000 + dt), kTow + dt, glo + dt, sats);
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    rig.released.epochs.clear();
    rig.feed(whole.substr(0, cut) + good, 64);
    ASSERT_FALSE(rig.released.epochs.empty()) << "cut at " << cut;
    EXPECT_EQ(rig.released.epochs.back().id.get(), (kTow + 2000) % CpdEpochId::kHourMs) << "cut at " << cut;
    EXPECT_EQ(rig.released.epochs.back().n, 3) << "cut at " << cut;
    wellFormed(rig.released.epochs);
  }
  bufferFree();
}

// Every id with every body shorter than a whole one, well framed, inside an open epoch.
TEST(NativeBaseInputRandom, ShortBodiesOfEveryId) {
  BaseRig rig;
  BaseRig::rover(kTow, -1);
  tracksMany();
  std::string s = sim::epochStart(static_cast<std::uint32_t>(kTow % 86400000)) + sim::siMsg({1, 2, 3});
  for (const char* id : kIds)
    for (int n = 0; n < 32; ++n) s += sim::frame(id, std::string(static_cast<std::size_t>(n), '\x7f'), true);
  rig.feed(s + sim::epochEnd(static_cast<std::uint32_t>(kTow % 86400000)));
  wellFormed(rig.released.epochs);
  bufferFree();
}

}  // namespace
