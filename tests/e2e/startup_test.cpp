// The program's start, its settings image across every way of ending, and the files it reads.
#include <sys/stat.h>

#include <cstring>

#include "e2e/harness.h"

namespace e2e {
namespace {

using Startup = Rx;
using Settings = Rx;
const std::string kBlank = ", starting with a blank settings image\n";

// In an empty run directory: the banner names the identity files or "-", the first start says it
// has no image and stores one, the ports are published by the banner, the tasks run, and the
// navigation settings hold WGS 84 as datum (its defining a, b and 1/f).
TEST_F(Startup, BannerImagePortsAndTasksInAnEmptyDirectory) {
  char host[64] = {};
  gethostname(host, sizeof host - 1);
  const struct {
    const char *sn, *id, *who;
  } rows[] = {{nullptr, nullptr, "receiver ID -, serial number -"},
              {"SN0042\n", "0A1B2C3D\n", "receiver ID 0A1B2C3D, serial number SN0042"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.who);
    fresh();
    if (r.sn) {
      ASSERT_TRUE(dir_.write("host/etc/rxengine/serial-number", r.sn) && dir_.write("host/etc/rxengine/receiver-id", r.id));
    }
    ASSERT_NO_FATAL_FAILURE(start());
    for (const char* link : {"dev/ser/a", "dev/ser/b", "dev/ser/c", "dev/ser/d", "dev/usb/a"})
      EXPECT_EQ(std::filesystem::read_symlink(dir_.file(link)).string().rfind("/dev/pts/", 0), 0u) << link;
    EXPECT_NE(rx_->out().find(std::string("rxengine 0.1.0 on ") + host + ", " + r.who + kReady), std::string::npos) << rx_->out();
    EXPECT_NE(rx_->out().find(kBlank), std::string::npos);
    EXPECT_EQ(rx_->out().find("CmdBuf"), std::string::npos) << "no record yet is nothing to say";
    std::string threads;
    for (const auto& t : std::filesystem::directory_iterator("/proc/" + std::to_string(rx_->pid()) + "/task"))
      threads += readFile(t.path() / "comm");
    EXPECT_NE(threads.find("PART\n"), std::string::npos) << threads;
    EXPECT_NE(threads.find("APPX\n"), std::string::npos) << threads;
    const std::string img = dir_.read(".gnss.nvm");
    ASSERT_EQ(img.size(), kImageSize);
    EXPECT_EQ(img.substr(0, 4), "RXNV");
    EXPECT_FALSE(dir_.exists(".gnss.nvm.tmp"));
    const long nav = blockOffset(img, 30002);
    ASSERT_GT(nav, 0);
    const std::size_t datum = static_cast<std::size_t>(nav) + 6 + 8;
    EXPECT_STREQ(img.c_str() + datum, "W84");
    double ell[3];
    std::memcpy(ell, img.data() + datum + 16, sizeof ell);
    EXPECT_DOUBLE_EQ(ell[0], 6378137.0);
    EXPECT_NEAR(ell[1], 6356752.3142, 1e-4);
    EXPECT_DOUBLE_EQ(ell[2], 298.257223563);
  }
}

// SIGKILL right after the image was forced to storage, then as soon as a save is under way: the
// image stays whole, the one saved first.
TEST_F(Startup, KillAtAnyMomentLeavesTheImageWhole) {
  std::string good;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    rx_ = std::make_unique<Proc>(dir_.path, std::vector<std::string>{RXENGINE_PATH});
    waitUntil([&] { return (round > 0 && dir_.exists(".gnss.nvm.tmp")) || rx_->out().find(kReady) != std::string::npos; });
    rx_->signal(SIGKILL);
    EXPECT_EQ(end(), -SIGKILL);
    if (round == 0) good = dir_.read(".gnss.nvm");
    ASSERT_EQ(good.size(), kImageSize);
    EXPECT_TRUE(dir_.read(".gnss.nvm") == good);
  }
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(rx_->out().find(kBlank), std::string::npos) << rx_->out();
  EXPECT_FALSE(dir_.exists(".gnss.nvm.tmp"));
}

// A FIFO, a directory or a link loop where a file is read: no wait, one "$$" line, on as for a
// missing file (a blank image is no damage); a save that cannot be made is said at the exit.
TEST_F(Startup, WhatIsNotARegularFileIsRefusedAndSaid) {
  const std::string kIgnored = " not a regular file: ignored\n";
  const struct {
    const char* path;
    char kind;  // FIFO, directory, link loop
    std::string line;
    bool lost;  // no save can succeed
  } rows[] = {{".gnss.nvm", 'f', "$$NV: .gnss.nvm not a regular file" + kBlank, false},
              {".gnss.nvm", 'd', "$$NV: .gnss.nvm not a regular file" + kBlank, true},
              {".gnss.nvm", 'l', "$$NV: .gnss.nvm unreadable (Too many levels of symbolic links)" + kBlank, false},
              {".gnss.nvm.tmp", 'd', "$$NV: cannot remove .gnss.nvm.tmp (Is a directory): the settings image can", true},
              {".gnss.set", 'f', "$$CmdBuf: .gnss.set" + kIgnored, false},
              {"host/etc/rxengine/receiver-id", 'f', "$$ID: host/etc/rxengine/receiver-id" + kIgnored, false},
              {"host/sys/class/rtc/rtc0/since_epoch", 'f', "$$RTC: host/sys/class/rtc/rtc0/since_epoch" + kIgnored, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.line);
    fresh();
    const std::string p = dir_.file(r.path);
    ASSERT_TRUE(dir_.write(r.path, "") && unlink(p.c_str()) == 0);  // its folders only
    ASSERT_EQ(r.kind == 'f' ? mkfifo(p.c_str(), 0644) : r.kind == 'd' ? mkdir(p.c_str(), 0755) : symlink(r.path, p.c_str()), 0);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(rx_->signal(SIGTERM));
    EXPECT_EQ(end(), 0);  // the exit asked for, saved or not
    EXPECT_NE(out_.find(r.line), std::string::npos) << out_;
    EXPECT_EQ(out_.find(r.line), out_.rfind(r.line)) << out_;
    EXPECT_EQ(out_.find("$$NV: settings image not saved on exit") != std::string::npos, r.lost) << out_;
    EXPECT_EQ(out_.find("damaged"), std::string::npos) << out_;
  }
}

// Whatever way the program ends, what was answered before is there at the next start: the
// restart key, SIGTERM (a service manager) and SIGINT (a terminal) store it on the way out,
// SIGKILL finds it stored by the periodic save (at most 10 s after a change: the wait is the
// requirement). Then one byte flipped in the receiver settings block brings back that block's
// factory values only, said once.
TEST_F(Settings, EveryWayOfEndingKeepsWhatWasSetAndADamagedBlockOnlyItsOwn) {
  const struct {
    int sig;  // 0: the restart key
    const char *rate, *cpu, *lband;
  } rows[] = {{0, "19200", "3", "on"}, {SIGTERM, "38400", "0", "off"}, {SIGINT, "57600", "4", "on"}, {SIGKILL, "9600", "3", "on"}};
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%e%em,,zrt/{RT,ET}:1"), re("%e%"));
  for (const auto& r : rows) {
    SCOPED_TRACE(r.sig);
    EXPECT_EQ(ask(std::string("%1%set,/par/dev/ser/c/rate,") + r.rate), re("%1%"));
    EXPECT_EQ(ask(std::string("%2%set,/par/cpu/num,") + r.cpu), re("%2%"));
    EXPECT_EQ(ask(std::string("%3%set,/par/lband/mode,") + r.lband), re("%3%"));
    if (r.sig == 0) {
      restart();
    } else {
      if (r.sig == SIGKILL) std::this_thread::sleep_for(std::chrono::seconds(11));
      ASSERT_TRUE(rx_->signal(r.sig));
      EXPECT_EQ(end(), r.sig == SIGKILL ? -SIGKILL : 0);
    }
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(ask("print,/par/dev/ser/c/rate"), re(r.rate));
    EXPECT_EQ(ask("print,/par/cpu/num"), re(r.cpu));
    EXPECT_EQ(ask("print,/par/lband/mode"), re(r.lband));
  }
  EXPECT_EQ(ask("print,/msg/dev/ser/a"), re("{zrt={RT=1,ET=1}}"));
  restart();
  std::string img = dir_.read(".gnss.nvm");
  const long rcv = blockOffset(img, 30001);
  ASSERT_TRUE(rcv > 0 && blockOffset(img, 30000) > 0);
  img[static_cast<std::size_t>(rcv) + 6 + 100] ^= 0x04;
  ASSERT_TRUE(dir_.write(".gnss.nvm", img));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/cpu/num"), re("auto"));
  EXPECT_EQ(ask("print,/par/lband/mode"), re("off"));
  EXPECT_EQ(ask("print,/par/dev/ser/c/rate"), re("9600"));
  const std::string out = rx_->out();
  EXPECT_NE(out.find("$$NV: receiver settings (block 30001) damaged: factory defaults restored\n"), std::string::npos);
  EXPECT_EQ(out.find("damaged"), out.rfind("damaged")) << out;
}

// The GNSS board takes 0, 3 or 4 processors, or "auto"; 1 and 2 are refused, and 4 while the
// L-band service runs (it takes a processor of its own). A refusal changes nothing, in the running
// program or in what the next run reads.
TEST_F(Settings, CpuNumRefusesOneAndTwoAndFourBesideLband) {
  const struct {
    const char* value;
    bool lband;
    int rc;             // 0: taken
    const char* after;  // what a print shows next
  } rows[] = {{"1", false, 3, "auto"}, {"0", false, 0, "0"},    {"2", false, 3, "0"},     {"3", false, 0, "3"},
              {"1", false, 3, "3"},    {"auto", false, 0, "auto"}, {"4", false, 0, "4"}, {"2", false, 3, "4"},
              {"4", true, 5, "4"},     {"auto", true, 0, "auto"}, {"4", true, 5, "auto"}, {"3", true, 0, "3"}};
  ASSERT_NO_FATAL_FAILURE(start());
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.value) + (r.lband ? " beside L-band" : ""));
    EXPECT_EQ(ask(std::string("%l%set,/par/lband/mode,") + (r.lband ? "on" : "off")), re("%l%"));
    const std::string got = ask(std::string("%c%set,/par/cpu/num,") + r.value);
    EXPECT_EQ(got, r.rc == 0   ? re("%c%")
                   : r.rc == 3 ? frame("ER", "%c%{3,,wrong 1st parameter}")
                               : frame("ER", "%c%{5,,value out of range}"));
    EXPECT_EQ(ask("print,/par/cpu/num"), re(r.after));
  }
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/cpu/num"), re("3"));
  EXPECT_EQ(ask("print,/par/lband/mode"), re("on"));
}

}  // namespace
}  // namespace e2e
