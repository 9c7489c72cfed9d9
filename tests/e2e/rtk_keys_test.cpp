// The RTK settings keys on a serial port: the listing in table order with every factory
// default, the edges the keys are known by, the legacy rtk branch, and every stored key kept
// across the restart key, a kill after the periodic save and SIGTERM.
#include <csignal>

#include "e2e/harness.h"

namespace e2e {
namespace {

using RtkKeysE2e = Rx;

std::string er(int code, const char* text) { return frame("ER", "%%{" + std::to_string(code) + ",," + text + "}"); }

// The factory defaults in print-table order.
const std::string kDefaults =
    "{ver=2,reset=off,fullres=off,dblchk=on,numeng=2,mrtk={0=on,1=on},resetfix=off,"
    "meas={ca=on,p1=on,p2=on,c2=on,l5=on,l1c=on},aflevel=medium,dyn=1.0000,fixpos=off,fixins=off,pen=1.0000,"
    "mode=extrap,se=off,crpc=on,smr=off,averr=off,period=1.000,afperiod=1.000,experiod=0.100,usebasedop=off,"
    "fixwait=-1,timegap=-1,check=7,qcheck=on,env=open,rtkplus=stop,catcher=normal,delay=last,scale=1,"
    "si={off,off},mem=0.99970,tempc=20.0,humid=50.0,press=1010.0,tropom={model=waasdef,meteo={user={mode=off}}},"
    "wl=on,wlmult=0,ion=on,vrs=off,mac=off,gpsfirst=off,tgpsfirst=30,resvrs=act,resmode=on,fkp=off,ionf=2.0,"
    "ionr=4000.0,iont=600.0,textr=30.0,textrse=3.0,diffext=on,maxit=1,maxitf=1,l1only=off,minpot=36,"
    "minpotp=28,rmsc=5.00000,rmsp=0.05000,tolthr=0.080,range=1000000.0,mbtimeout=1,minsat=6,maxsat=20,"
    "input={0={id=-1}},ref={keep=off,clean=off,id=0,pos={xyz={x=nan,y=nan,z=nan},geo={lat=nan,lon=nan,alt=nan}},"
    "ant={m_offs={type=l1pc,val={e=0.0000,n=0.0000,u=0.0000}},l2_l1={e=0.0000,n=0.0000,u=0.0000},"
    "l1_arp={e=0.0000,n=0.0000,u=0.0000}}},port=any,inuse=-1,nrs={mode=off,lim=25.0,cnt=10},"
    "hd={mode=off,half=off,naver=1,uselen=off,pen=1.0000,memf=0.99900,len={0=0.000},"
    "aoff={0=0.0000,1=0.0000,2=0.0000}},"
    "hist={mode=off,pr={x=0.0000,y=0.0000,z=0.0000},reset=off,rtkreset=0,num=0,bad=0.000,out={}},var={diff=off}}";

// Every stored key at a value other than its default, and how it prints.
struct Stored {
  const char *key, *value, *printed;
};
const Stored kStored[] = {
    {"dblchk", "off", "off"},      {"mrtk/0", "off", "off"},      {"mrtk/1", "off", "off"},
    {"meas/ca", "off", "off"},     {"meas/p1", "off", "off"},     {"meas/p2", "off", "off"},
    {"meas/c2", "off", "off"},     {"meas/l5", "off", "off"},     {"meas/l1c", "off", "off"},
    {"aflevel", "low", "low"},     {"dyn", "0.25", "0.2500"},     {"fixpos", "on", "on"},
    {"fixins", "on", "on"},        {"pen", "12.5", "12.5000"},    {"offt", "4.5", "4.5000"},
    {"mode", "delay", "delay"},    {"se", "on", "on"},            {"crpc", "off", "off"},
    {"smr", "on", "on"},           {"averr", "on", "on"},         {"period", "0.2", "0.200"},
    {"afperiod", "2", "2.000"},    {"experiod", "1.5", "1.500"},  {"usebasedop", "on", "on"},
    {"fixwait", "60", "60"},       {"timegap", "5", "5"},         {"check", "99", "99"},
    {"qcheck", "off", "off"},      {"env", "forest", "forest"},   {"rtkplus", "start", "start"},
    {"catcher", "coarse", "coarse"}, {"delay", "every", "every"}, {"scale", "2", "2"},
    {"si", "{on,on}", "{on,on}"},  {"mem", "0.9", "0.90000"},     {"tempc", "-5", "-5.0"},
    {"humid", "70", "70.0"},       {"press", "990.5", "990.5"},   {"tropom/model", "niell", "niell"},
    {"tropom/meteo/user/mode", "on", "on"}, {"wl", "off", "off"}, {"wlmult", "2", "2"},
    {"ion", "off", "off"},         {"vrs", "on", "on"},           {"mac", "on", "on"},
    {"gpsfirst", "on", "on"},      {"tgpsfirst", "120", "120"},   {"resvrs", "virt", "virt"},
    {"resmode", "off", "off"},     {"fkp", "on", "on"},           {"ionf", "3.5", "3.5"},
    {"ionr", "123.4", "123.4"},    {"iont", "900", "900.0"},      {"textr", "45", "45.0"},
    {"textrse", "6", "6.0"},       {"diffext", "off", "off"},     {"maxit", "5", "5"},
    {"maxitf", "6", "6"},          {"l1only", "on", "on"},        {"minpot", "20", "20"},
    {"minpotp", "21", "21"},       {"rmsc", "2.5", "2.50000"},    {"rmsp", "0.02", "0.02000"},
    {"tolthr", "0.5", "0.500"},    {"range", "5000", "5000.0"},   {"mbtimeout", "3", "3"},
    {"minsat", "5", "5"},          {"maxsat", "30", "30"},        {"input/0/id", "77", "77"},
    {"ref/keep", "on", "on"},      {"port", "/dev/ser/b", "/dev/ser/b"}, {"inuse", "12", "12"},
    {"nrs/mode", "on", "on"},      {"nrs/lim", "40", "40.0"},     {"nrs/cnt", "20", "20"},
    {"hd/mode", "on", "on"},       {"hd/half", "on", "on"},       {"hd/naver", "10", "10"},
    {"hd/uselen", "on", "on"},     {"hd/pen", "2", "2.0000"},     {"hd/memf", "0.5", "0.50000"},
    {"hd/len/0", "1.25", "1.250"}, {"hd/aoff/0", "1", "1.0000"},  {"hd/aoff/1", "-2", "-2.0000"},
    {"hd/aoff/2", "3", "3.0000"},  {"hist/mode", "on", "on"},     {"hist/pr/x", "1.5", "1.5000"},
    {"hist/pr/y", "2.5", "2.5000"}, {"hist/pr/z", "-3.5", "-3.5000"}, {"var/diff", "on", "on"},
};

TEST_F(RtkKeysE2e, ListingDefaultsAndEdges) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/pos/pd"), re(kDefaults));
  const struct {
    const char* line;
    std::string reply;
  } rows[] = {
      {"set,/par/pos/pd/mrtk/2,on", er(3, "wrong 1st parameter")},
      {"set,/par/pos/pd/mrtk/x,on", er(3, "wrong 1st parameter")},
      {"%1%set,/par/pos/pd/mrtk/1,off", re("%1%")},
      {"print,/par/pos/pd/mrtk", re("{0=on,1=off}")},
      {"set,/par/pos/pd/mrtk,{on,on,on}", er(7, "wrong 2nd parameter")},
      {"set,/par/pos/pd/period,0.0049", er(5, "value out of range")},
      {"%2%set,/par/pos/pd/period,0.0126", re("%2%")},
      {"print,/par/pos/pd/period", re("0.013")},
      {"%3%set,/par/pos/pd/port,/dev/ser/a", re("%3%")},
      {"print,/par/pos/pd/port", re("/dev/ser/a")},
      {"set,/par/pos/pd/port,/dev/udp/a", er(7, "wrong 2nd parameter")},
      {"print,/par/pos/pd/port", re("/dev/ser/a")},
      {"%4%set,/par/pos/pd/ref/clean,off", re("%4%")},
      {"print,/par/pos/pd/ref/clean", re("off")},
      {"print,/par/pos/pd/offt", re("3.0000")},
      {"%5%set,/par/pos/pd/dyn,1", re("%5%")},
      {"print,/par/pos/pd/dyn", re("1.0000")},
      {"set,/par/pos/pd/nokey,1", er(3, "wrong 1st parameter")},
      {"%6%set,/par/pos/pd/tropom/model,niell", re("%6%")},
      {"print,/par/pos/pd/tropom/model", re("niell")},
      {"%7%set,/par/pos/pd/fullres,on", re("%7%")},
      {"print,/par/pos/pd/fullres", re("off")},
      {"%r%set,/par/pos/pd/reset,on", re("%r%")},
      {"print,/par/pos/pd/reset", re("off")},
      {"set,/par/pos/pd/reset,maybe", er(7, "wrong 2nd parameter")},
      {"set,/par/pos/pd/hd/aoff/1,170", er(5, "value out of range")},
      {"set,/par/pos/pd/hd/aoff/3,0", er(3, "wrong 1st parameter")},
      {"%8%set,/par/pos/pd/hd/aoff,{10,20}", re("%8%")},
      {"print,/par/pos/pd/hd/aoff", re("{0=10.0000,1=20.0000,2=0.0000}")},
      {"print,/par/pos/pd/hist/num", re("0")},
      {"print,/par/pos/pd/hist/bad", re("0.000")},
      // The reset empties the stored statistics and prints off again.
      {"%h%set,/par/pos/pd/hist/reset,on", re("%h%")},
      {"print,/par/pos/pd/hist/reset", re("off")},
      {"print,/par/pos/pd/hist/num", re("0")},
      {"set,/par/pos/pd/hist/reset,maybe", er(7, "wrong 2nd parameter")},
      // The legacy branch: set only, whole names, not stored.
      {"%9%set,/par/rtk,1", re("%9%")},
      {"set,/par/rtkx/dbi/cpd,1", er(3, "wrong 1st parameter")},
      {"%a%set,/par/rtk/dbi/cmr,-4", re("%a%")},
      {"set,/par/rtk/dbi/cmr,-5", er(5, "value out of range")},
      {"%b%set,/par/rtk/alp,50", re("%b%")},
      // The global debug selector: printed when named, any 32-bit value.
      {"print,/par/dbi", re("0")},
      {"%c%set,/par/dbi,-2147483648", re("%c%")},
      {"print,/par/dbi", re("-2147483648")},
      {"set,/par/dbi,2147483648", er(5, "value out of range")},
      {"set,/par/dbi,7000x", er(7, "wrong 2nd parameter")},
      {"set,/par/dbi/x,1", er(3, "wrong 1st parameter")},
      {"print,/par/dbi", re("-2147483648")},
      {"%d%set,/par/dbi,0", re("%d%")},
  };
  for (const auto& r : rows) EXPECT_EQ(ask(r.line), r.reply) << r.line;
  EXPECT_EQ(ask("print,/par/rtk").rfind("ER", 0), 0u);
  EXPECT_EQ(ask("print,/par/pos/pd").find("offt"), std::string::npos);
}

TEST_F(RtkKeysE2e, StoredKeysSurviveRestartKillAndTerm) {
  ASSERT_NO_FATAL_FAILURE(start());
  for (const Stored& s : kStored) {
    EXPECT_EQ(ask(std::string("%s%set,/par/pos/pd/") + s.key + "," + s.value), re("%s%")) << s.key;
  }
  // A refused value changes nothing.
  EXPECT_EQ(ask("set,/par/pos/pd/maxsat,45"), er(5, "value out of range"));
  const std::string listing = ask("print,/par/pos/pd");
  // The debug selector lives for the process only.
  EXPECT_EQ(ask("%g%set,/par/dbi,7000"), re("%g%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/dbi"), re("0"));
  for (const Stored& s : kStored) {
    EXPECT_EQ(ask(std::string("print,/par/pos/pd/") + s.key), re(s.printed)) << s.key;
  }
  EXPECT_EQ(ask("print,/par/pos/pd"), listing);
  // After the periodic save a kill loses nothing; SIGTERM saves at once.
  EXPECT_EQ(ask("%k%set,/par/pos/pd/minsat,7"), re("%k%"));
  EXPECT_EQ(ask("%k%set,/par/pos/pd/hd/naver,11"), re("%k%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/pd/minsat"), re("7"));
  EXPECT_EQ(ask("print,/par/pos/pd/hd/naver"), re("11"));
  EXPECT_EQ(ask("%t%set,/par/pos/pd/maxsat,8"), re("%t%"));
  EXPECT_EQ(ask("%t%set,/par/pos/pd/nrs/cnt,33"), re("%t%"));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/pd/maxsat"), re("8"));
  EXPECT_EQ(ask("print,/par/pos/pd/nrs/cnt"), re("33"));
  // init,/par/ brings every key back to its default, stored as well.
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/pos/pd"), re(kDefaults));
}

}  // namespace
}  // namespace e2e
