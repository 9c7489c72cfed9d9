// The engine setups' keys below /par/pos/ on a serial port: the listing of every one at the
// factory values of the setup records, edges taken and refused (an "ER" changes nothing), every
// kind of key kept across the restart key, a kill after the periodic save and SIGTERM, init,/par/
// bringing the factory values back; the navigation-data and almanac sources reaching the board
// when set and again at every start.
#include <csignal>

#include "e2e/harness.h"

namespace e2e {
namespace {

using PosSetupKeysE2e = Rx;

std::string er(int code, const char* text) { return frame("ER", "%s%{" + std::to_string(code) + ",," + text + "}"); }

// The listing of the setups' keys at the factory values of the records.
const std::string kFactory =
    "elmode=astrohor,elm=5.00,minsnr=30.0,sys={gps=on,glo=on,gal=on,sbas=off,qzss=off,comp=on,irnss=off},meas=any,"
    "systime={gps=gps,glo=glo,gal=gal,sbas=gps,qzss=gps,comp=comp,irnss=irnss},almdata=off,almdata/source=sat,"
    "navdata={gps=any,glo=any,gal=any,sbas=any,qzss=any,comp=any,irnss=any,source=sat},datum/gps=W84,datum/glo=P90,"
    "datum/gal=W84,datum/sbas=W84,datum/qzss=W84,datum/comp=W84,datum/irnss=W84,eph={dblchk=off},"
    "alm={maxage={gps=30,glo=30,gal=30,sbas=30,qzss=30,comp=30,irnss=30},"
    "wait={gps=0xFFFFFFFF,glo=0x3FFFFFFF,gal=0xFFFFFFFFF,sbas=0xFFFFFFF,qzss=0x7F,comp=0x7FFFFFFFFFFFFFFF,irnss=0x3FFF}},"
    "ura={mask={gps=10.0,glo=10.0,gal=10.0,sbas=10.0,qzss=10.0,comp=10.0,irnss=10.0},"
    "check={gps=0xFFFFFFFF,glo=0x3FFFFFFF,gal=0xFFFFFFFFF,sbas=0xFFFFFFF,qzss=0x7F,comp=0x7FFFFFFFFFFFFFFF,irnss=0x3FFF},screen=off},"
    "dvs={check={gps=0xFFFFFFFF,glo=0x3FFFFFFF,gal=0xFFFFFFFFF,sbas=0xFFFFFFF,qzss=0x7F,comp=0x7FFFFFFFFFFFFFFF,"
    "irnss=0x3FFF}},health={check={gps=0xFFFFFFFF,glo=0x3FFFFFFF,gal=0xFFFFFFFFF,sbas=0xFFFFFFF,qzss=0x7F,"
    "comp=0x7FFFFFFFFFFFFFFF,irnss=0x3FFF}},wgt={mode=off,mode2=0},dbg={inv=0},bei={cnav3={dec=I}},hold={alt=on,clkdft=on,priority=clkdft,maxnum=1},gpsglo=0.000,gpsgal=0.000,"
    "gpssbas=0.000,gpsqzss=0.000,gpscomp=0.000,gpsirnss=0.000,"
    "fix={gpsglo=off,gpsgal=off,gpssbas=off,gpsqzss=off,gpscomp=off,gpsirnss=off,alt=off,clkdft=off},alt=0.000,"
    "clkdft=0.000,clkref=auto,pdop=30.0,hrms=100.00,vrms=150.00,trms=150.00,vhrms=1.00,vvrms=1.50,vtrms=1.50,"
    "iono={model=klob,klob=gps,nequick=off,glo=off,glosrc=glo,user=off,wd=off},tec={calib=off},smooth={comb=off},"
    "tropo={map={user=off,type=black}},"
    "wd={sel=sbas,rule=best,prn=120,elm=5,smooth={range=6,iono=60},sbas={mode=user},timeout={data=360,iono=1200},"
    "mask={sbas=0xFFFFFFF,prov=0xFFFF,qzss=0x7F,comp=0x1F,irnss=0x3FFF},dfmc={dnu=off}}";
// The code-differential stage's keys share their level with the code corrections from base
// observations: one cd/ level, listed once.
const std::string kFactoryCd =
    "{obs=off,smooth=0,src=rtcm,mode=near,id=0,timeout={range=30,iono=300},"
    "slas={src=0x7F,health=off,stations=0xFFFFFFFF},base={sys=0,x=0,y=0,z=0}}";

// The setups' part of the pos/ listing: from its first key to the filter's subtree.
std::string setupKeys(const std::string& reply) {
  const std::size_t from = reply.find("elmode=");
  const std::size_t to = reply.find(",filt={");
  return from == std::string::npos || to == std::string::npos || to < from ? reply : reply.substr(from, to - from);
}

TEST_F(PosSetupKeysE2e, FactoryValuesEdgesAndInit) {
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string all = ask("print,/par/pos");
  EXPECT_LE(all.size(), 4095u + 7u) << "one message";
  EXPECT_EQ(setupKeys(all), kFactory);
  EXPECT_EQ(ask("print,/par/pos/cd"), re(kFactoryCd));
  EXPECT_EQ(all.find("cd={"), all.rfind("cd={")) << "one cd/ level";
  EXPECT_NE(all.find("cd=" + kFactoryCd), std::string::npos);
  const struct {
    const char *key, *value;
    std::string reply;
    const char* after;
  } rows[] = {
      {"elm", "90", re("%s%"), "90.00"},
      {"elm", "90.5", er(5, "value out of range"), "90.00"},
      {"elm", "high", er(7, "wrong 2nd parameter"), "90.00"},
      {"sys/sbas", "on", re("%s%"), "on"},
      {"sys/bds", "on", er(3, "wrong 1st parameter"), nullptr},
      {"meas", "ionofree", re("%s%"), "ionofree"},
      {"meas", "l7", er(7, "wrong 2nd parameter"), "ionofree"},
      {"navdata/glo", "1", re("%s%"), "1"},
      {"navdata/glo", "2", er(5, "value out of range"), "1"},
      {"datum/glo", "P90-R", re("%s%"), "P90-R"},
      {"datum/glo", "XYZ", er(7, "wrong 2nd parameter"), "P90-R"},
      {"ura/check/gal", "0x1000000000", er(5, "value out of range"), "0xFFFFFFFFF"},
      {"ura/check/gal", "0x3", re("%s%"), "0x3"},
      {"alm/maxage/comp", "0", er(5, "value out of range"), "30"},
      {"hold/maxnum", "256", er(5, "value out of range"), "1"},
      {"clkref", "glo", re("%s%"), "glo"},
      {"pdop", "0", er(5, "value out of range"), "30.0"},
      {"iono/model", "nequick", re("%s%"), "nequick"},
      {"iono/klob", "off", re("%s%"), "off"},
      {"iono/klob", "gal", er(7, "wrong 2nd parameter"), "off"},
      {"wd/sel", "ssr", re("%s%"), "ssr"},
      {"wd/sel", "5", er(7, "wrong 2nd parameter"), "ssr"},
      {"wd/sbas/mode", "pa", re("%s%"), "pa"},
      {"cd/mode", "fixed", re("%s%"), "fixed"},
      {"wd/sbas/mode", nullptr, "", "pa"},  // the station mode left it as it was
      {"cd/id", "65535", er(5, "value out of range"), "0"},
      {"cd/slas/src", "0x80", er(5, "value out of range"), "0x7F"},
      {"cd/slas/src", "0x2", re("%s%"), "0x2"},
      {"tec/calib", "on", re("%s%"), "on"},
      {"smooth/comb", "on", re("%s%"), "on"},
      {"smooth/comb", "2", er(7, "wrong 2nd parameter"), "on"},
  };
  for (const auto& r : rows) {
    if (r.value != nullptr) {
      EXPECT_EQ(ask(std::string("%s%set,/par/pos/") + r.key + "," + r.value), r.reply) << r.key << " " << r.value;
    }
    if (r.after) {
      EXPECT_EQ(ask(std::string("print,/par/pos/") + r.key), re(r.after)) << r.key;
    }
  }
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(setupKeys(ask("print,/par/pos")), kFactory);
}

// One key of each kind and record at a value other than the factory one, and how it prints (the
// sources, which the board shares, below with the board).
struct Stored {
  const char *key, *value, *printed;
};
const Stored kStored[] = {
    {"elmode", "truehor", "truehor"},      {"elm", "12.5", "12.50"},          {"sys/qzss", "on", "on"},
    {"meas", "l2c", "l2c"},                {"systime/gal", "gps", "gps"},     {"almdata", "on", "on"},
    {"navdata/gps", "1", "1"},             {"datum/comp", "EUR_F", "EUR_F"},  {"eph/dblchk", "on", "on"},
    {"alm/maxage/gal", "3650", "3650"},    {"ura/mask/gps", "24.5", "24.5"},  {"dvs/check/glo", "0x5", "0x5"},
    {"bei/cnav3/dec", "all", "all"},       {"hold/alt", "off", "off"},        {"hold/priority", "alt", "alt"},
    {"gpsgal", "-7.25", "-7.250"},         {"fix/gpsgal", "on", "on"},        {"alt", "1234.5", "1234.500"},
    {"clkref", "gal", "gal"},              {"vtrms", "9.75", "9.75"},         {"iono/model", "glo", "glo"},
    {"iono/nequick", "on", "on"},          {"iono/glo", "on", "on"},          {"iono/glosrc", "nequick", "nequick"},
    {"iono/wd", "on", "on"},               {"tec/calib", "on", "on"},         {"wd/sel", "comp", "comp"},
    {"wd/rule", "blend", "blend"},         {"wd/prn", "129", "129"},          {"wd/smooth/range", "0", "0"},
    {"wd/sbas/mode", "npa", "npa"},        {"wd/timeout/data", "30", "30"},   {"wd/mask/sbas", "0x200", "0x200"},
    {"cd/src", "slas", "slas"},            {"cd/mode", "blend", "blend"},     {"cd/slas/src", "0x2", "0x2"},
    {"cd/timeout/range", "120", "120"},    {"cd/timeout/iono", "600", "600"},  {"wd/mask/prov", "0x3", "0x3"},
    {"health/check/gps", "0x3", "0x3"},    {"alm/wait/glo", "0x7", "0x7"},    {"wgt/mode", "acc", "acc"},
    {"wgt/mode2", "9", "9"},               {"ura/screen", "on", "on"},        {"dbg/inv", "5", "5"},
    {"cd/base/sys", "33", "33"},           {"cd/base/x", "-1200", "-1200"},   {"cd/base/z", "745", "745"},
    {"smooth/comb", "on", "on"},
};

TEST_F(PosSetupKeysE2e, SettingsSurviveRestartKillAndTerm) {
  ASSERT_NO_FATAL_FAILURE(start());
  for (const Stored& s : kStored)
    EXPECT_EQ(ask(std::string("%1%set,/par/pos/") + s.key + "," + s.value), re("%1%")) << s.key;
  const auto check = [&](const char* when) {
    for (const Stored& s : kStored) EXPECT_EQ(ask(std::string("print,/par/pos/") + s.key), re(s.printed)) << s.key << " after " << when;
  };
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  check("the restart key");
  // A kill after the periodic save (at most 10 s later) keeps what was set before it.
  EXPECT_EQ(ask("%2%set,/par/pos/minsnr,42"), re("%2%"));
  EXPECT_EQ(ask("%2%set,/par/pos/cd/id,77"), re("%2%"));
  EXPECT_EQ(ask("%2%set,/par/pos/hold/maxnum,9"), re("%2%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  check("a kill");
  EXPECT_EQ(ask("print,/par/pos/minsnr"), re("42.0"));
  EXPECT_EQ(ask("print,/par/pos/cd/id"), re("77"));
  EXPECT_EQ(ask("print,/par/pos/hold/maxnum"), re("9"));
  // SIGTERM stores at once; a refused value changed nothing.
  EXPECT_EQ(ask("%3%set,/par/pos/wd/elm,15"), re("%3%"));
  EXPECT_EQ(ask("%3%set,/par/pos/fix/alt,on"), re("%3%"));
  EXPECT_EQ(ask("%4%set,/par/pos/wd/elm,91").substr(0, 2), "ER");
  EXPECT_EQ(ask("%4%set,/par/pos/fix/alt,maybe").substr(0, 2), "ER");
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  check("SIGTERM");
  EXPECT_EQ(ask("print,/par/pos/wd/elm"), re("15"));
  EXPECT_EQ(ask("print,/par/pos/fix/alt"), re("on"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(setupKeys(ask("print,/par/pos")), kFactory);
}

// The board takes its navigation data and almanacs from where the setup says: a set goes on to
// it at once, and every start sends the stored sources again.
TEST_F(PosSetupKeysE2e, TheSourcesReachTheBoardWhenSetAndAtEveryStart) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(boardGets("%$EOSA$%\n"));
  EXPECT_NE(transcript().find("set,pos/navdata/source,sat\nset,pos/almdata/source,sat\n"), std::string::npos);
  std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%1%set,/par/pos/navdata/source,ext"), re("%1%"));
  EXPECT_TRUE(boardGets("set,pos/navdata/source,ext\n", mark));
  EXPECT_EQ(ask("%2%set,/par/pos/almdata/source,off"), re("%2%"));
  EXPECT_TRUE(boardGets("set,pos/almdata/source,off\n", mark));
  mark = transcript().size();
  EXPECT_EQ(ask("%3%set,/par/pos/almdata/source,never").substr(0, 2), "ER");
  restart();
  const std::size_t restartMark = transcript().size();
  EXPECT_EQ(transcript().find("never", mark), std::string::npos) << "a refused set is not forwarded";
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_TRUE(boardGets("set,pos/navdata/source,ext\nset,pos/almdata/source,off\n", restartMark));
}

}  // namespace
}  // namespace e2e
