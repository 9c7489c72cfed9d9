// The GBAS keys: each value and refusal, the bytes they leave in the correction setup (where the
// GBAS stream decoder and the correction stage read them), and the factory values.
#include "positioning/gbas/gbas_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "command/result_codes.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_corr_generator.h"
#include "unit/param_calls.h"

namespace {

class GbasKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool registered = registerGbasArea();
    ASSERT_TRUE(registered);
    PVTDataInstance.corrProcessorSetup.Init();
  }
  static int set(const std::string& key, const std::string& value) { return partest::set("gbas/" + key, value); }
  static std::string print(const std::string& key) { return partest::print(partest::under("gbas", key)); }
  template <class T>
  static T stored(std::size_t off) {
    PosSetup::CorrProcessorSetupType s{};
    EXPECT_NE(PVTDataInstance.corrProcessorSetup.Take(&s), 0);
    T v{};
    std::memcpy(&v, s.aBytes + off, sizeof v);
    return v;
  }
};

TEST_F(GbasKeys, FactoryValues) {
  EXPECT_EQ(print(""), "{format=do246,mode=id,id=,rsds=0,rpds=0,ephcrc=check}");
}

// The 6-bit codes of ICAO Annex 10's alphabet, first character in the top six of the 24 bits.
TEST_F(GbasKeys, ValuesTheirBytesAndRefusals) {
  struct Row {
    const char* key;
    const char* value;
    int rc;
    const char* printed;
    std::size_t offset;
    unsigned size;      // bytes compared at the offset
    std::uint32_t want; // what they hold after the row
  } rows[] = {
      {"format", "do217", CMD_OK, "do217", GbasCorr::kFormatOffset, 2, 217},
      {"format", "off", CMD_OK, "off", GbasCorr::kFormatOffset, 2, 0},
      {"format", "do246", CMD_OK, "do246", GbasCorr::kFormatOffset, 2, 246},
      {"format", "do229", CMD_WRONG_2ND, "do246", GbasCorr::kFormatOffset, 2, 246},
      {"format", "", CMD_2ND_MISSED, "do246", GbasCorr::kFormatOffset, 2, 246},
      {"mode", "path", CMD_OK, "path", GbasCorr::kSelectionModeOffset, 1, 1},
      {"mode", "rsds", CMD_OK, "rsds", GbasCorr::kSelectionModeOffset, 1, 2},
      {"mode", "id", CMD_OK, "id", GbasCorr::kSelectionModeOffset, 1, 0},
      {"mode", "3", CMD_WRONG_2ND, "id", GbasCorr::kSelectionModeOffset, 1, 0},
      {"id", "BELL", CMD_OK, "BELL", GbasCorr::kGbasIdOffset, 4, 2u << 18 | 5u << 12 | 12u << 6 | 12u},
      {"id", "k12", CMD_OK, "K12", GbasCorr::kGbasIdOffset, 4, 11u << 18 | 49u << 12 | 50u << 6 | 32u},
      {"id", "A B", CMD_OK, "A B", GbasCorr::kGbasIdOffset, 4, 1u << 18 | 32u << 12 | 2u << 6 | 32u},
      {"id", "ABCDE", CMD_OUT_OF_RANGE, "A B", GbasCorr::kGbasIdOffset, 4, 1u << 18 | 32u << 12 | 2u << 6 | 32u},
      {"id", "A-B", CMD_WRONG_2ND, "A B", GbasCorr::kGbasIdOffset, 4, 1u << 18 | 32u << 12 | 2u << 6 | 32u},
      {"id", "", CMD_OK, "", GbasCorr::kGbasIdOffset, 4, 0},
      {"rsds", "48", CMD_OK, "48", GbasCorr::kStationSelectorOffset, 1, 48},
      {"rsds", "255", CMD_OK, "255", GbasCorr::kStationSelectorOffset, 1, 255},
      {"rsds", "256", CMD_OUT_OF_RANGE, "255", GbasCorr::kStationSelectorOffset, 1, 255},
      {"rsds", "-1", CMD_OUT_OF_RANGE, "255", GbasCorr::kStationSelectorOffset, 1, 255},
      {"rpds", "5", CMD_OK, "5", GbasCorr::kPathSelectorOffset, 1, 5},
      {"rpds", "x", CMD_WRONG_2ND, "5", GbasCorr::kPathSelectorOffset, 1, 5},
      {"ephcrc", "waive", CMD_OK, "waive", GbasCorr::kWaiveCrcOffset, 1, 1},
      {"ephcrc", "check", CMD_OK, "check", GbasCorr::kWaiveCrcOffset, 1, 0},
      {"ephcrc", "on", CMD_WRONG_2ND, "check", GbasCorr::kWaiveCrcOffset, 1, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.key) + "," + r.value);
    EXPECT_EQ(set(r.key, r.value), r.rc);
    EXPECT_EQ(print(r.key), r.printed);
    const std::uint32_t got = r.size == 1 ? stored<std::uint8_t>(r.offset)
                              : r.size == 2 ? stored<std::uint16_t>(r.offset)
                                            : stored<std::uint32_t>(r.offset);
    EXPECT_EQ(got, r.want);
  }
  EXPECT_EQ(set("nothing", "1"), CMD_WRONG_1ST);
}

// A setup holding a mode above the three keywords (written before the keys existed) chooses by
// the reference station data selector, as the correction stage reads it.
TEST_F(GbasKeys, ModeAboveTwoPrintsAsTheSelector) {
  PosSetup::CorrProcessorSetupType s{};
  ASSERT_NE(PVTDataInstance.corrProcessorSetup.Take(&s), 0);
  s.aBytes[GbasCorr::kSelectionModeOffset] = 9;
  PVTDataInstance.corrProcessorSetup.Put(&s);
  EXPECT_EQ(print("mode"), "rsds");
}

}  // namespace
