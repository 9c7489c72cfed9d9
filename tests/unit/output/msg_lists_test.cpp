// The message lists of "em"/"dm", the printed set, and the stored sets.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fake_port.h"
#include "output/output_manager.h"
#include "test_msgs.h"

namespace {

constexpr int kStream = 5;

std::string printed(int stream) {
  char buf[512];
  int n = omPrintMsgSet(stream, buf, sizeof buf);
  return n < 0 ? std::string("<overflow>") : std::string(buf, static_cast<std::size_t>(n));
}

void registerSome() {
  static TestMsg a, b, c, g;
  omInitOnce();  // RT, ET
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "@@pa", &a, &msgPeriod10));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "@@ld", &b, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupRtcm3, "1005", &c, &msgPeriod10));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupNmea, "GGA", &g, &msgPeriod1));
}

struct ListCase {
  const char* spec;
  OmListResult result;
  const char* set;  // printed set afterwards
};

TEST(MsgLists, EnableForms) {
  registerSome();
  const std::vector<ListCase> cases = {
      {"zrt/{RT,ET}:0", OmListResult::kOk, "{zrt={RT=0,ET=0}}"},
      {"zrt/{RT,ET}:1", OmListResult::kOk, "{zrt={RT=1,ET=1}}"},
      {"zrt/RT", OmListResult::kOk, "{zrt={RT=1,ET=1}}"},           // default 1 s
      {"zrt/{@@pa:1,@@ld:1}", OmListResult::kOk, "{zrt={RT=1,ET=1,@@pa=1,@@ld=1}}"},
      {"zrt/{@@pa,@@ld:2}:0.5", OmListResult::kOk, "{zrt={RT=1,ET=1,@@pa=0.5,@@ld=2}}"},
      {"zrt/@@pa", OmListResult::kOk, "{zrt={RT=1,ET=1,@@pa=10,@@ld=2}}"},  // its default
      {"/msg/rtcm3/1005:0.05", OmListResult::kOk, "{zrt={RT=1,ET=1,@@pa=10,@@ld=2},rtcm3={1005=0.05}}"},
      {"nmea/GGA:86400", OmListResult::kOk,
       "{zrt={RT=1,ET=1,@@pa=10,@@ld=2},nmea={GGA=86400},rtcm3={1005=0.05}}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(omEnableMsgs(kStream, c.spec), c.result) << c.spec;
    EXPECT_EQ(printed(kStream), c.set) << c.spec;
  }
  EXPECT_EQ(printed(kStream + 1), "{}");
}

TEST(MsgLists, FaultyListsChangeNothing) {
  registerSome();
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/RT:1"), OmListResult::kOk);
  const std::vector<ListCase> cases = {
      {"zrt/{RT,XX}:1", OmListResult::kUnknownMsg, nullptr},
      {"zrt/{ET,rt}", OmListResult::kUnknownMsg, nullptr},  // names keep their case
      {"foo/RT", OmListResult::kUnknownGroup, nullptr},
      {"zrt", OmListResult::kSyntax, nullptr},
      {"zrt/", OmListResult::kSyntax, nullptr},
      {"zrt/{RT,ET", OmListResult::kSyntax, nullptr},
      {"zrt/{RT,,ET}", OmListResult::kSyntax, nullptr},
      {"zrt/{RT,{ET}}", OmListResult::kSyntax, nullptr},
      {"zrt/{RT}x", OmListResult::kSyntax, nullptr},
      {"zrt/ET:", OmListResult::kBadPeriod, nullptr},
      {"zrt/ET:-1", OmListResult::kBadPeriod, nullptr},
      {"zrt/ET:1.0001", OmListResult::kBadPeriod, nullptr},
      {"zrt/ET:86400.001", OmListResult::kBadPeriod, nullptr},
      {"zrt/ET:1e3", OmListResult::kBadPeriod, nullptr},
      {"zrt/ET:.", OmListResult::kBadPeriod, nullptr},
      {"zrt/{ET}:x", OmListResult::kBadPeriod, nullptr},
      {"", OmListResult::kSyntax, nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(omEnableMsgs(kStream, c.spec), c.result) << c.spec;
    EXPECT_EQ(printed(kStream), "{zrt={RT=1}}") << c.spec;
  }
  EXPECT_EQ(omEnableMsgs(43, "zrt/RT"), OmListResult::kNoStream);
  EXPECT_EQ(omDisableMsgs(-1, nullptr), OmListResult::kNoStream);
}

TEST(MsgLists, DisableForms) {
  registerSome();
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/{RT,ET,@@pa}:1"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(kStream, "nmea/GGA"), OmListResult::kOk);
  EXPECT_EQ(omDisableMsgs(kStream, "zrt/{RT,@@ld}"), OmListResult::kOk);  // @@ld was off
  EXPECT_EQ(printed(kStream), "{zrt={ET=1,@@pa=1},nmea={GGA=1}}");
  EXPECT_EQ(omDisableMsgs(kStream, "zrt/XX"), OmListResult::kUnknownMsg);
  EXPECT_EQ(omDisableMsgs(kStream, "zrt"), OmListResult::kOk);
  EXPECT_EQ(printed(kStream), "{nmea={GGA=1}}");
  EXPECT_EQ(omDisableMsgs(kStream, ""), OmListResult::kOk);
  EXPECT_EQ(printed(kStream), "{}");
}

TEST(MsgLists, EnablingResetsTheMessageForTheStream) {
  static TestMsg m;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupMisc, "m", &m, nullptr));
  ASSERT_EQ(omEnableMsgs(kStream, "misc/m"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(kStream, "misc/m:2"), OmListResult::kOk);
  EXPECT_EQ(m.resets, 2);
}

TEST(MsgLists, PrintedSetThatDoesNotFit) {
  registerSome();
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/{RT,ET}:1"), OmListResult::kOk);
  char buf[8];
  EXPECT_EQ(omPrintMsgSet(kStream, buf, sizeof buf), -1);
  EXPECT_EQ(omPrintMsgSet(43, buf, sizeof buf), -1);
}

TEST(MsgLists, RandomListsNeverHurt) {
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

TEST(MsgSetStore, StoredByGroupAndNameSurvivesANewPool) {
  registerSome();
  ASSERT_EQ(omEnableMsgs(5, "zrt/{RT,ET}:1"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(9, "zrt/{@@ld:0,ET}"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(40, "rtcm3/1005:5"), OmListResult::kOk);
  std::vector<unsigned char> image(kOmStoreImageSize);
  int n = omSaveSets(image.data(), static_cast<int>(image.size()));
  ASSERT_EQ(n, 8 + 5 * 28);

  // The next build registers a new message first and has lost "@@ld".
  static TestMsg x, rt, et, c;
  msgPool.clear();
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "NEW", &x, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupRtcm3, "1005", &c, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "ET", &et, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "RT", &rt, nullptr));
  ASSERT_TRUE(omLoadSets(image.data(), n));
  EXPECT_EQ(printed(5), "{zrt={ET=1,RT=1}}");
  EXPECT_EQ(printed(9), "{zrt={ET=1}}");
  EXPECT_EQ(printed(40), "{rtcm3={1005=5}}");
}

TEST(MsgSetStore, MalformedImagesAreRefused) {
  registerSome();
  ASSERT_EQ(omEnableMsgs(5, "zrt/RT:1"), OmListResult::kOk);
  std::vector<unsigned char> image(kOmStoreImageSize);
  int n = omSaveSets(image.data(), static_cast<int>(image.size()));
  std::vector<unsigned char> bad = image;
  bad[0] ^= 1;  // magic
  EXPECT_FALSE(omLoadSets(bad.data(), n));
  bad = image;
  bad[4] = 0xFF;  // more records than fit
  bad[5] = 0xFF;
  EXPECT_FALSE(omLoadSets(bad.data(), n));
  EXPECT_FALSE(omLoadSets(image.data(), n - 1));  // cut short
  EXPECT_FALSE(omLoadSets(image.data(), 4));
  bad = image;
  bad[8] = 77;  // stream out of range: the record is skipped
  EXPECT_TRUE(omLoadSets(bad.data(), n));
  EXPECT_EQ(printed(5), "{}");
  EXPECT_EQ(omSaveSets(image.data(), 7), 0);
  // Random bytes never crash the loader.
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    std::vector<unsigned char> r(static_cast<std::size_t>(rng() % 200));
    for (auto& b : r) b = static_cast<unsigned char>(rng());
    if (r.size() >= 8 && rng() % 2) std::memcpy(r.data(), image.data(), 4);
    omLoadSets(r.data(), static_cast<int>(r.size()));
  }
}

TEST(MsgSetStore, SettingsImageKeepsTheSets) {
  registerSome();
  ASSERT_EQ(omEnableMsgs(5, "zrt/{RT,ET}:1"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(6, "nmea/GGA:0.1"), OmListResult::kOk);
  // Forget the sets in memory; start-up brings them back from the settings block.
  omGetMsgSet(5)->clear();
  omGetMsgSet(6)->clear();
  omInitOnce();
  EXPECT_EQ(printed(5), "{zrt={RT=1,ET=1}}");
  EXPECT_EQ(printed(6), "{nmea={GGA=0.1}}");
  ASSERT_EQ(omDisableMsgs(5, nullptr), OmListResult::kOk);
  omInitOnce();
  EXPECT_EQ(printed(5), "{}");
  EXPECT_EQ(printed(6), "{nmea={GGA=0.1}}");
}

}  // namespace
