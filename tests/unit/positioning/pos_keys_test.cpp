// The position settings below /par/pos/ through the parameter engine: every key's edges (in
// range, each edge, out of range, not a number, a wrong keyword) with what prints afterwards, a
// refused value changing nothing; positions entered in one form printed in the other as
// GeographicLib's CartConvert gives them; the base's reference position following the last pair
// entered; the geoid file key loading a real geoid file of the log store, refusing a missing or
// foreign one.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "command/result_codes.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/position_averaging.h"
#include "positioning/geoid/geoid_gps.h"
#include "unit/positioning/geoid_test_access.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/pos_keys.h"
#include "positioning/geodesy/datum_in_use.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"
#include "unit/param_calls.h"
#include "unit/platform/temp_run_dir.h"

namespace {

using partest::print;
using partest::set;

// WGS 84 Earth-fixed coordinates of 50 N, 10 E, 300 m, and of -33.5 S, -70.25 W, 612.3 m, as
// CartConvert (GeographicLib) prints them.
constexpr const char* kXyz50 = "{x=4045646.3120,y=713356.5992,z=4863018.8510}";
constexpr const char* kGeo50 = "{lat=50.000000000,lon=10.000000000,alt=300.0000}";
constexpr const char* kXyzS = "{x=1799264.6541,y=-5011367.1425,z=-3500672.2390}";
constexpr const char* kGeoS = "{lat=-33.500000000,lon=-70.250000000,alt=612.3000}";
constexpr const char* kZeroXyz = "{x=0.0000,y=0.0000,z=0.0000}";
constexpr const char* kZeroGeo = "{lat=0.000000000,lon=0.000000000,alt=0.0000}";

class PosKeys : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { registerPosArea(); }
  void SetUp() override {
    navInitOnce();
    rcvSetDefaults(RcvSet);
    navSetDefaults(NavSet);
    navDatumDefaultsHook = navDatumDefaults;
    navSetDefaults(NavSet);
    PVTDataInstance.init_SetupData();  // the engine setups' keys on the same levels print their defaults
  }
  // The receiver settings are the program's one copy: a position source or mode set here would
  // change every position a later test puts.
  void TearDown() override { rcvSetDefaults(RcvSet); }
};

struct Row {
  const char* key;
  const char* value;
  int rc;
  const char* after;  // the key's print afterwards
};

void runRows(const Row* rows, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(std::string(r.key) + " <- " + r.value);
    EXPECT_EQ(set(std::string("pos/") + r.key, r.value), r.rc);
    EXPECT_EQ(print(std::string("pos/") + r.key), r.after);
  }
}

TEST_F(PosKeys, ModeAndSolutionChoice) {
  const Row rows[] = {
      {"mode", "pd", CMD_OK, "pd"},           {"mode", "PP", CMD_OK, "pp"},
      {"mode", "sp", CMD_OK, "sp"},           {"mode", "5", CMD_WRONG_2ND, "sp"},
      {"mode", "rtk", CMD_WRONG_2ND, "sp"},   {"mode", "", CMD_2ND_MISSED, "sp"},
      {"sol/sep", "on", CMD_OK, "on"},        {"sol/sep", "maybe", CMD_WRONG_2ND, "on"},
      {"sol/sep", "off", CMD_OK, "off"},      {"sol/rtk1", "yes", CMD_OK, "on"},
      {"sol/rtk3", "on", CMD_OK, "on"},       {"sol/rtk3", "1", CMD_WRONG_2ND, "on"},
      {"sol/midpt", "on", CMD_OK, "on"},      {"sol/code", "off", CMD_OK, "off"},
      {"sol/dist", "0", CMD_OK, "0.0"},       {"sol/dist", "6553.5", CMD_OK, "6553.5"},
      {"sol/dist", "6553.6", CMD_OUT_OF_RANGE, "6553.5"}, {"sol/dist", "-0.1", CMD_OUT_OF_RANGE, "6553.5"},
      {"sol/dist", "12.34", CMD_OK, "12.3"},  {"sol/dist", "0.05", CMD_OK, "0.1"},
      {"sol/dist", "ten", CMD_WRONG_2ND, "0.1"},
      {"base/needpos", "on", CMD_OK, "on"},   {"base/needpos", "2", CMD_WRONG_2ND, "on"},
      {"att/hdg", "-180", CMD_OK, "-180.000"}, {"att/hdg", "180", CMD_OK, "180.000"},
      {"att/hdg", "180.01", CMD_OUT_OF_RANGE, "180.000"}, {"att/hdg", "1.25", CMD_OK, "1.250"},
      {"att/pitch", "-90", CMD_OK, "-90.000"}, {"att/pitch", "90.5", CMD_OUT_OF_RANGE, "-90.000"},
      {"att/pitch", "up", CMD_WRONG_2ND, "-90.000"},
  };
  runRows(rows, std::size(rows));
  EXPECT_EQ(tPosMode, 0);
  EXPECT_EQ(RcvSet.rtkDistLim, 1);
  EXPECT_EQ(RcvSet.sepAntSol, 0);
  EXPECT_EQ(RcvSet.rtkType1, 1);
  EXPECT_EQ(RcvSet.codeSolAllowed, 0);
  EXPECT_FLOAT_EQ(RcvSet.hdgOffset, 1.25f);
}

// The switch and the smoothing length of the code corrections a rover forms from a base's
// observations; the defaults keep them off and unsmoothed.
TEST_F(PosKeys, CodeCorrectionsFromBaseObservations) {
  // The code-differential stage's keys (pos_setup_keys_test) share the level.
  const std::string stage = ",src=rtcm,mode=near,id=0,timeout={range=30,iono=300},slas={src=0x7F,health=off,"
                            "stations=0xFFFFFFFF},base={sys=0,x=0,y=0,z=0}}";
  EXPECT_EQ(print("pos/cd"), "{obs=off,smooth=0" + stage);
  const Row rows[] = {
      {"cd/obs", "on", CMD_OK, "on"},           {"cd/obs", "1", CMD_WRONG_2ND, "on"},
      {"cd/obs", "", CMD_2ND_MISSED, "on"},      {"cd/smooth", "3600", CMD_OK, "3600"},
      {"cd/smooth", "3601", CMD_OUT_OF_RANGE, "3600"}, {"cd/smooth", "-1", CMD_OUT_OF_RANGE, "3600"},
      {"cd/smooth", "0", CMD_OK, "0"},           {"cd/smooth", "2.5", CMD_WRONG_2ND, "0"},
      {"cd/smooth", "100", CMD_OK, "100"},       {"cd/obs", "off", CMD_OK, "off"},
      {"cd/obs", "yes", CMD_OK, "on"},           {"cd/none", "1", CMD_WRONG_1ST, "ER3"},
  };
  runRows(rows, std::size(rows));
  EXPECT_EQ(RcvSet.codeCorrFromBase, 1);
  EXPECT_EQ(RcvSet.codeSmoothLen, 100);
  // A stored image from elsewhere is brought back within what a set could give.
  RcvSet.codeCorrFromBase = 7;
  RcvSet.codeSmoothLen = 60000;
  posSettingsLoaded();
  EXPECT_EQ(print("pos/cd"), "{obs=on,smooth=3600" + stage);
}

TEST_F(PosKeys, AveragingKeys) {
  const Row rows[] = {
      {"avg/time", "1", CMD_OK, "1"},          {"avg/time", "65535", CMD_OK, "65535"},
      {"avg/time", "0", CMD_OUT_OF_RANGE, "65535"}, {"avg/time", "65536", CMD_OUT_OF_RANGE, "65535"},
      {"avg/time", "-1", CMD_OUT_OF_RANGE, "65535"}, {"avg/time", "3.5", CMD_WRONG_2ND, "65535"},
      {"avg/time", "30", CMD_OK, "30"},        {"avg/start", "on", CMD_OK, "on"},
      {"avg/start", "soon", CMD_WRONG_2ND, "on"}, {"avg/start", "off", CMD_OK, "off"},
  };
  runRows(rows, std::size(rows));
  EXPECT_EQ(RcvSet.baseAvg, 30);
  posAvgPoll();
  EXPECT_EQ(print("pos/avg/start"), "off");
}

TEST_F(PosKeys, ReferencePositionsEnteredInEitherForm) {
  const Row rows[] = {
      {"ref/mode", "shift", CMD_OK, "shift"},   {"ref/mode", "base", CMD_OK, "base"},
      {"ref/mode", "4", CMD_WRONG_2ND, "base"}, {"ref/mode", "calc", CMD_WRONG_2ND, "base"},
      {"ref/mode", "known", CMD_OK, "known"},
      {"ref/known/geo", "{50,10,300}", CMD_OK, kGeo50},
      {"ref/known/xyz", "{4045646.312,713356.5992,4863018.851}", CMD_OK, kXyz50},
      {"ref/known/xyz", "{x=1799264.6541,y=-5011367.1425,z=-3500672.239}", CMD_OK, kXyzS},
      {"ref/known/xyz", "{1,2,3}", CMD_OUT_OF_RANGE, kXyzS},  // at the Earth's centre
      {"ref/known/xyz", "{4045646.312,713356.5992}", CMD_WRONG_2ND, kXyzS},
      {"ref/known/xyz", "{x=4045646.312,y=713356.5992,h=4863018.851}", CMD_WRONG_2ND, kXyzS},
      {"ref/known/xyz", "{a,b,c}", CMD_WRONG_2ND, kXyzS},
      {"ref/known/xyz", "4045646.312", CMD_WRONG_2ND, kXyzS},
      {"ref/known/xyz", "", CMD_2ND_MISSED, kXyzS},
      {"ref/known/geo", "{90.000001,0,0}", CMD_OUT_OF_RANGE, kGeoS},
      {"ref/known/geo", "{0,-180.000001,10}", CMD_OUT_OF_RANGE, kGeoS},
      {"ref/known/geo", "{1,1,20000.01}", CMD_OUT_OF_RANGE, kGeoS},
      {"ref/known/geo", "{1,1,-20000.01}", CMD_OUT_OF_RANGE, kGeoS},
      {"ref/known/geo", "{lat=-33.5,lon=-70.25,alt=612.3}", CMD_OK, kGeoS},
      {"ref/known/geo", "{-90,-180,-20000}", CMD_OK, "{lat=-90.000000000,lon=-180.000000000,alt=-20000.0000}"},
      {"ref/known/geo", "{0,0,0}", CMD_OK, kZeroGeo},
      {"ref/known/xyz", "{50,10,300}", CMD_OUT_OF_RANGE, kZeroXyz},
      {"ref/meas/geo", "{50,10,300}", CMD_OK, kGeo50},
      {"ref/meas/xyz", "{0,0,0}", CMD_OK, kZeroXyz},
      {"ref/meas/geo", "{-33.5,-70.25,612.3}", CMD_OK, kGeoS},
      {"ref/meas/xyz", "", CMD_2ND_MISSED, kXyzS},
  };
  runRows(rows, std::size(rows));
  // The derived form of each pair.
  EXPECT_EQ(print("pos/ref/meas/xyz"), kXyzS);
  EXPECT_EQ(print("pos/ref/known/xyz"), kZeroXyz);
  EXPECT_EQ(RcvSet.refPosMode, 1);
}

TEST_F(PosKeys, PositionSourceKeysFillTheSixDoubles) {
  const Row rows[] = {
      {"src/mode", "fixed", CMD_NO_DATA, "own"},  // no fixed position yet
      {"src/geo", "{50,10,300}", CMD_OK, kGeo50},
      {"src/mode", "fixed", CMD_OK, "fixed"},     {"src/mode", "6", CMD_WRONG_2ND, "fixed"},
      {"src/mode", "board", CMD_WRONG_2ND, "fixed"},
      {"src/xyz", "{1,1,1}", CMD_OUT_OF_RANGE, kXyz50},
      {"src/xyz", "{0,0,0}", CMD_NOT_ALLOWED_NOW, kXyz50},  // while it is the source
      {"src/mode", "own", CMD_OK, "own"},         {"src/xyz", "{0,0,0}", CMD_OK, kZeroXyz},
      {"src/geo", "{50,10,300}", CMD_OK, kGeo50},
  };
  runRows(rows, std::size(rows));
  EXPECT_EQ(RcvSet.posSource, 0);
  ASSERT_EQ(set("pos/src/mode", "fixed"), CMD_OK);
  EXPECT_EQ(RcvSet.posSource, 6);
  EXPECT_NEAR(RcvSet.posSourceData[0], 4045646.3120, 5e-5);
  EXPECT_NEAR(RcvSet.posSourceData[1], 713356.5992, 5e-5);
  EXPECT_NEAR(RcvSet.posSourceData[2], 4863018.8510, 5e-5);
  EXPECT_DOUBLE_EQ(RcvSet.posSourceData[3], 50.0 * M_PI / 180.0);
  EXPECT_DOUBLE_EQ(RcvSet.posSourceData[4], 10.0 * M_PI / 180.0);
  EXPECT_DOUBLE_EQ(RcvSet.posSourceData[5], 300.0);
}

// The base publishes the pair entered last; a pair cleared hands over to the other one.
TEST_F(PosKeys, TheBasePublishesThePairEnteredLast) {
  const struct {
    const char* key;
    const char* value;
    std::uint8_t from;
    double x;  // published X, 0: nothing published
  } rows[] = {
      {"ref/known/geo", "{50,10,300}", kRefPosFromKnown, 4045646.312},
      {"ref/meas/geo", "{-33.5,-70.25,612.3}", kRefPosFromMeasured, 1799264.6541},
      {"ref/known/geo", "{50,10,300}", kRefPosFromKnown, 4045646.312},
      {"ref/known/xyz", "{0,0,0}", kRefPosFromMeasured, 1799264.6541},
      {"ref/known/geo", "{50,10,300}", kRefPosFromKnown, 4045646.312},
      {"ref/meas/xyz", "{0,0,0}", kRefPosFromKnown, 4045646.312},
      {"ref/known/geo", "{0,0,0}", kRefPosFromNone, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.key) + " <- " + r.value);
    ASSERT_EQ(set(std::string("pos/") + r.key, r.value), CMD_OK);
    EXPECT_EQ(RcvSet.refPosFrom, r.from);
    posAvgPoll();  // task MEAT's next step
    double xyz[3];
    EXPECT_EQ(RefPosWgs.getRefPos(ReferencePos::kCartesian, xyz), r.x != 0);
    EXPECT_EQ(RefArpPe9.valid(), r.x != 0);
    if (r.x != 0) {
      EXPECT_NEAR(xyz[0], r.x, 1e-4);
    }
  }
}

TEST_F(PosKeys, OutputDatumGridAndGeoid) {
  const Row rows[] = {
      {"datum", "EUR_F", CMD_OK, "EUR_F"},    {"datum", "P90-R", CMD_OK, "P90-R"},
      {"datum", "W85", CMD_WRONG_2ND, "P90-R"}, {"datum", "", CMD_2ND_MISSED, "P90-R"},
      {"datum", "ABCDEFGHIJKLMNOPQ", CMD_WRONG_2ND, "P90-R"}, {"datum", "GOT", CMD_OK, "GOT"},
      {"datum", "W84", CMD_OK, "W84"},
      {"grid/type", "utm", CMD_OK, "utm"},    {"grid/type", "ups", CMD_OK, "ups"},
      {"grid/type", "nat", CMD_OK, "nat"},    {"grid/type", "loc", CMD_OK, "loc"},
      {"grid/type", "prj", CMD_OK, "prj"},    {"grid/type", "got", CMD_OK, "got"},
      {"grid/type", "lambert", CMD_WRONG_2ND, "got"}, {"grid/type", "none", CMD_OK, "none"},
      {"grid/prj", "{TM,0,9,0.9996,0,500000}", CMD_OK, "{TM,0.000000000,9.000000000,0.999600000,0.0000,500000.0000}"},
      {"grid/prj", "{tm,0,9,0.9996,0}", CMD_WRONG_2ND, "{TM,0.000000000,9.000000000,0.999600000,0.0000,500000.0000}"},
      {"grid/prj", "{XX,0,9,0.9996,0,500000}", CMD_WRONG_2ND,
       "{TM,0.000000000,9.000000000,0.999600000,0.0000,500000.0000}"},
      {"grid/prj", "{TM,90.1,9,0.9996,0,500000}", CMD_OUT_OF_RANGE,
       "{TM,0.000000000,9.000000000,0.999600000,0.0000,500000.0000}"},
      {"grid/prj", "{TM,0,9,0,0,500000}", CMD_OUT_OF_RANGE,
       "{TM,0.000000000,9.000000000,0.999600000,0.0000,500000.0000}"},
      {"grid/prj", "{LCC2SP,46.5,3,1,6600000,700000,49,44}", CMD_OK,
       "{LCC2SP,46.500000000,3.000000000,1.000000000,6600000.0000,700000.0000,49.000000000,44.000000000}"},
      {"grid/prj", "{OM,4,115,53.31582047,53.13010236,0.99984,0,0}", CMD_OK,
       "{OM,4.000000000,115.000000000,53.315820470,53.130102360,0.999840000,0.0000,0.0000}"},
      {"grid/prj", "maybe", CMD_WRONG_2ND,
       "{OM,4.000000000,115.000000000,53.315820470,53.130102360,0.999840000,0.0000,0.0000}"},
      {"grid/prj", "none", CMD_OK, "none"},
      {"grid/loc/prj", "{55,12,1,0,0}", CMD_OK, "{55.000000000,12.000000000,1.000000000,0.0000,0.0000}"},
      {"grid/loc/prj", "{55,12,1,0}", CMD_WRONG_2ND, "{55.000000000,12.000000000,1.000000000,0.0000,0.0000}"},
      {"grid/loc/prj", "{95,12,1,0,0}", CMD_OUT_OF_RANGE, "{55.000000000,12.000000000,1.000000000,0.0000,0.0000}"},
      {"grid/loc/par", "{100,200,1.5,90,0.001,0,10}", CMD_OK,
       "{100.0000,200.0000,1.500000000,90.000000000,0.001000000,0.000000000,10.0000}"},
      {"grid/loc/par", "{100,200,0,90,0,0,10}", CMD_OUT_OF_RANGE,
       "{100.0000,200.0000,1.500000000,90.000000000,0.001000000,0.000000000,10.0000}"},
      {"grid/zone", "0", CMD_OK, "0"},        {"grid/zone", "1", CMD_OK, "1"},
      {"grid/zone", "3", CMD_OK, "3"},        {"grid/zone", "117", CMD_OK, "117"},
      {"grid/zone", "4", CMD_OUT_OF_RANGE, "117"}, {"grid/zone", "118", CMD_OUT_OF_RANGE, "117"},
      {"grid/zone", "-1", CMD_OUT_OF_RANGE, "117"}, {"grid/zone", "two", CMD_WRONG_2ND, "117"},
      {"geoid/fixed", "on", CMD_OK, "on"},    {"geoid/fixed", "x", CMD_WRONG_2ND, "on"},
      {"geoid/und", "-200", CMD_OK, "-200.000"}, {"geoid/und", "200", CMD_OK, "200.000"},
      {"geoid/und", "200.001", CMD_OUT_OF_RANGE, "200.000"}, {"geoid/und", "47.25", CMD_OK, "47.250"},
      {"geoid/und", "high", CMD_WRONG_2ND, "47.250"},
  };
  runRows(rows, std::size(rows));
  EXPECT_EQ(RcvSet.grid.prjType, 0);
  EXPECT_EQ(RcvSet.gridZone, 117);
  EXPECT_EQ(RcvSet.fixedUndOn, 1);
}

class GeoidFileKey : public TempRunDir {
 protected:
  static void SetUpTestSuite() { registerPosArea(); }
};

TEST_F(GeoidFileKey, LoadsAGeoidFileOfTheStoreAndRefusesWhatItCannotLoad) {
  rcvSetDefaults(RcvSet);
  GeoidTestAccess::reset();
  GeoidGPS::useBuiltIn();
  const std::string fixture = readFile(std::string(RX_SHARED_DIR) + "/testdata/geoid/egm96_05deg_fixture.gemo");
  ASSERT_GT(fixture.size(), 1000u);
  writeFile(".gnss.log/egm96.gemo", fixture);
  writeFile(".gnss.log/cut.gemo", fixture.substr(0, fixture.size() / 2));
  writeFile(".gnss.log/notes.txt", "not a geoid\n");
  double h = 0;
  const double lat = 50.0 * M_PI / 180, lon = 10.0 * M_PI / 180;
  ASSERT_TRUE(GeoidGPS::getHeight(lat, lon, &h));
  const double builtIn = h;
  static const std::string tooLong(64, 'g');
  const Row rows[] = {
      {"geoid/file", "missing.gemo", CMD_FILE_NOT_FOUND, ""},
      {"geoid/file", "notes.txt", CMD_FILE_ERROR, ""},
      {"geoid/file", "../egm96.gemo", CMD_WRONG_NAME, ""},
      {"geoid/file", "egm96.gemo", CMD_OK, "egm96.gemo"},
      {"geoid/file", "cut.gemo", CMD_FILE_ERROR, "egm96.gemo"},
      {"geoid/file", tooLong.c_str(), CMD_OUT_OF_RANGE, "egm96.gemo"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.value);
    EXPECT_EQ(set("pos/geoid/file", r.value), r.rc);
    EXPECT_EQ(print("pos/geoid/file"), r.after);
    ASSERT_TRUE(GeoidGPS::getHeight(lat, lon, &h));
    // The grid named is the grid in use: a refused file leaves the one before (the fixture's
    // node at 50 N, 10 E holds 48.03 m).
    if (std::string(r.after).empty()) {
      EXPECT_DOUBLE_EQ(h, builtIn);
    } else {
      EXPECT_NEAR(h, 48.03, 1e-9);
    }
  }
  ASSERT_EQ(set("pos/geoid/file", ""), CMD_OK);
  ASSERT_TRUE(GeoidGPS::getHeight(lat, lon, &h));
  EXPECT_DOUBLE_EQ(h, builtIn);
  EXPECT_NE(builtIn, 48.03);
}

}  // namespace
