// Registration in the message pool, the message lists of "em"/"dm", the printed set and the
// stored sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "output/om_internal.h"
#include "output_fakes.h"

namespace {

using MsgLists = OutputTest;
using MsgSetStore = OutputTest;

constexpr int kStream = 5;
TestMsg g_pa, g_ld, g_1005, g_gga;

std::string printed(int stream) {
  char buf[512];
  int n = omPrintMsgSet(stream, buf, sizeof buf);
  return n < 0 ? std::string("<overflow>") : std::string(buf, static_cast<std::size_t>(n));
}

void registerSome() {
  omInitOnce();  // RT, ET
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "@@pa", &g_pa, &msgPeriod10));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "@@ld", &g_ld, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupRtcm3, "1005", &g_1005, &msgPeriod10));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupNmea, "GGA", &g_gga, &msgPeriod1));
}

TEST(MsgPool, RefusesBadNamesDuplicatesAndThe451stMessage) {
  MsgPool pool;
  const struct { int group; const char* name; OutMsg* m; } bad[] = {
      {7, "x", &g_pa},   {-1, "x", &g_pa},  {0, "", &g_pa},  {0, nullptr, &g_pa}, {0, "toolong99", &g_pa},
      {0, "a:b", &g_pa}, {0, "a,b", &g_pa}, {0, "{a}", &g_pa}, {0, "a/b", &g_pa},   {0, "x", nullptr}};
  for (const auto& b : bad) EXPECT_FALSE(MsgPool::add(pool, b.group, b.name, b.m, nullptr)) << b.group;
  EXPECT_TRUE(MsgPool::add(pool, 0, "RT", &g_pa, nullptr));
  EXPECT_FALSE(MsgPool::add(pool, 0, "RT", &g_pa, nullptr));  // taken in its group
  EXPECT_TRUE(MsgPool::add(pool, 1, "RT", &g_pa, nullptr));   // free in another
  EXPECT_TRUE(MsgPool::add(pool, 0, "12345678", &g_pa, nullptr));
  for (int i = pool.size(); i < 450; ++i)
    ASSERT_TRUE(MsgPool::add(pool, i % MsgPool::kGroups, ("m" + std::to_string(i)).c_str(), &g_pa, nullptr)) << i;
  EXPECT_FALSE(MsgPool::add(pool, 0, "extra", &g_pa, nullptr));
  EXPECT_EQ(pool.size(), 450);
  EXPECT_EQ(pool.find(0, "extra"), -1);
}

// One stream through a sequence of lists; a list with any fault changes nothing at all.
TEST_F(MsgLists, EnableAndDisableForms) {
  registerSome();
  using R = OmListResult;
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/{RT,ET}:0"), R::kOk);
  const std::pair<const char*, R> faulty[] = {
      {"zrt/{RT,XX}:1", R::kUnknownMsg}, {"zrt/{ET,rt}", R::kUnknownMsg},  // names keep their case
      {"foo/RT", R::kUnknownGroup},      {"zrt", R::kSyntax},          {"zrt/", R::kSyntax},
      {"zrt/{RT,ET", R::kSyntax},        {"zrt/{RT,,ET}", R::kSyntax}, {"zrt/{RT,{ET}}", R::kSyntax},
      {"zrt/{RT}x", R::kSyntax},         {"", R::kSyntax},             {"zrt/ET:", R::kBadPeriod},
      {"zrt/ET:-1", R::kBadPeriod},      {"zrt/ET:1.0001", R::kBadPeriod}, {"zrt/ET:86400.001", R::kBadPeriod},
      {"zrt/ET:1e3", R::kBadPeriod},     {"zrt/ET:.", R::kBadPeriod},  {"zrt/{ET}:x", R::kBadPeriod}};
  for (auto [spec, result] : faulty) {
    EXPECT_EQ(omEnableMsgs(kStream, spec), result) << spec;
    EXPECT_EQ(printed(kStream), "{zrt={RT=0,ET=0}}") << spec;
  }
  // Printed set afterwards; null: unchanged.
  const struct { bool enable; const char* spec; R result; const char* set; } steps[] = {
      {true, "zrt/RT", R::kOk, "{zrt={RT=1,ET=0}}"},  // its default, 1 s
      {true, "zrt/{@@pa:1,@@ld:1}", R::kOk, "{zrt={RT=1,ET=0,@@pa=1,@@ld=1}}"},
      {true, "zrt/{@@pa,@@ld:2}:0.5", R::kOk, "{zrt={RT=1,ET=0,@@pa=0.5,@@ld=2}}"},
      {true, "zrt/@@pa", R::kOk, "{zrt={RT=1,ET=0,@@pa=10,@@ld=2}}"},
      {true, "/msg/rtcm3/1005:0.05", R::kOk, "{zrt={RT=1,ET=0,@@pa=10,@@ld=2},rtcm3={1005=0.05}}"},
      {true, "nmea/GGA:86400", R::kOk, "{zrt={RT=1,ET=0,@@pa=10,@@ld=2},nmea={GGA=86400},rtcm3={1005=0.05}}"},
      {false, "zrt/@@ld", R::kOk, "{zrt={RT=1,ET=0,@@pa=10},nmea={GGA=86400},rtcm3={1005=0.05}}"},
      {false, "zrt/{RT,@@ld}", R::kOk, "{zrt={ET=0,@@pa=10},nmea={GGA=86400},rtcm3={1005=0.05}}"},
      {false, "zrt/XX", R::kUnknownMsg, nullptr},
      {false, "zrt", R::kOk, "{nmea={GGA=86400},rtcm3={1005=0.05}}"},
      {false, "", R::kOk, "{}"},
  };
  std::string set;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.spec);
    EXPECT_EQ(s.enable ? omEnableMsgs(kStream, s.spec) : omDisableMsgs(kStream, s.spec), s.result);
    if (s.set) set = s.set;
    EXPECT_EQ(printed(kStream), set);
  }
  EXPECT_EQ(g_pa.resets, 3);  // each enabling forgets what the stream was sent
  EXPECT_EQ(printed(kStream + 1), "{}");
  EXPECT_EQ(omEnableMsgs(43, "zrt/RT"), R::kNoStream);
  EXPECT_EQ(omDisableMsgs(-1, nullptr), R::kNoStream);
  char small[8];
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/{RT,ET}:1"), R::kOk);
  EXPECT_EQ(omPrintMsgSet(kStream, small, sizeof small), -1);
}

TEST_F(MsgLists, RandomListsNeverHurt) {
  registerSome();
  std::mt19937 rng(12345);
  const std::string alphabet = "zrtnmea/{},:.0123456789RTE@pald-x";
  for (int i = 0; i < 20000; ++i) {
    std::string s;
    int n = static_cast<int>(rng() % 40);
    for (int k = 0; k < n; ++k) {
      s.push_back(rng() % 8 == 0 ? static_cast<char>(rng() % 256) : alphabet[rng() % alphabet.size()]);
    }
    if (rng() % 2) s = "zrt/" + s;
    omEnableMsgs(kStream, s.c_str());
    omDisableMsgs(kStream, s.c_str());
  }
  EXPECT_NE(printed(kStream), "<overflow>");
}

// At the next start the sets come back from the settings image by group and name: a build that
// registers new messages first and has lost "@@ld" still finds the others.
TEST_F(MsgSetStore, SetsComeBackByGroupAndNameAtTheNextStart) {
  registerSome();
  for (auto [s, spec] : {std::pair{5, "zrt/{RT,ET}:1"}, {6, "nmea/GGA:0.1"}, {9, "zrt/{@@ld:0,ET}"}, {40, "rtcm3/1005:5"}})
    ASSERT_EQ(omEnableMsgs(s, spec), OmListResult::kOk);
  ASSERT_EQ(omDisableMsgs(6, nullptr), OmListResult::kOk);
  for (int s : {5, 6, 9, 40}) omGetMsgSet(s)->clear();
  msgPool = MsgPool{};
  static TestMsg x;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "NEW", &x, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupRtcm3, "1005", &g_1005, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupNmea, "GGA", &g_gga, nullptr));
  omInitOnce();  // RT and ET, then the stored sets
  EXPECT_EQ(printed(5), "{zrt={RT=1,ET=1}}");
  EXPECT_EQ(printed(6), "{}");
  EXPECT_EQ(printed(9), "{zrt={ET=1}}");
  EXPECT_EQ(printed(40), "{rtcm3={1005=5}}");
}

// A set store holding one image in memory, as the settings image would.
class MemoryStore : public OmSetStore {
 public:
  bool load(void* dst, int n) override {
    std::memset(dst, 0, static_cast<std::size_t>(n));
    std::memcpy(dst, image.data(), std::min(image.size(), static_cast<std::size_t>(n)));
    return true;
  }
  bool save(const void* src, int n) override {
    image.assign(static_cast<const unsigned char*>(src), static_cast<const unsigned char*>(src) + n);
    return true;
  }
  std::vector<unsigned char> image;
};

TEST_F(MsgSetStore, MalformedImagesAreRefused) {
  registerSome();
  MemoryStore store;
  omSetSetStore(&store);
  ASSERT_EQ(omEnableMsgs(5, "zrt/RT:1"), OmListResult::kOk);
  omPersistSets();
  ASSERT_EQ(store.image.size(), static_cast<std::size_t>(kOmStoreImageSize));
  const std::vector<unsigned char> image = store.image;
  EXPECT_EQ(image[4] | image[5] << 8, 1);  // one record: the layout the settings image keeps
  EXPECT_EQ(std::vector<unsigned char>(image.begin() + 8 + 28, image.end()),
            std::vector<unsigned char>(image.size() - 8 - 28, 0));
  // Byte changed, its new value; a refused image leaves the sets as they were.
  const struct { int at, value; bool ok; } rows[] = {
      {0, 0x4E, false},                 // magic
      {5, 0xFF, false},                 // more records than fit
      {6, 27, false},                   // another record size
      {8, 77, true}};                   // stream out of range: the record is skipped
  for (const auto& r : rows) {
    ASSERT_EQ(omEnableMsgs(5, "zrt/RT:1"), OmListResult::kOk);
    store.image = image;
    store.image[static_cast<std::size_t>(r.at)] = static_cast<unsigned char>(r.value);
    omLoadStoredSets();
    EXPECT_EQ(printed(5), r.ok ? "{}" : "{zrt={RT=1}}") << r.at;
  }
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    store.image.assign(static_cast<std::size_t>(rng() % 200), 0);
    for (auto& b : store.image) b = static_cast<unsigned char>(rng());
    if (store.image.size() >= 8 && rng() % 2) std::memcpy(store.image.data(), image.data(), 4);
    omLoadStoredSets();
  }
  omSetSetStore(nullptr);
}

}  // namespace
