// Receiver settings seen from a port of the running program: what a restart, a kill and init
// leave, refused values, echo mode, and a corrupted settings block in the image file.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "e2e/harness.h"
#include "e2e/port_reader.h"

namespace {

std::string frame(const char* id2, const std::string& body) {
  char head[8];
  std::snprintf(head, sizeof head, "%s%03X", id2, static_cast<unsigned>(body.size()));
  return head + body + "\r\n";
}
std::string re(const std::string& body) { return frame("RE", body); }

// Offset of block `id` in an image file, walking the block headers from the image header on
// (id 16 bits, length 24 bits, flags with bit 0 the checksum byte, all little-endian); -1 when
// the block is not there.
long blockOffset(const std::string& img, unsigned id) {
  std::size_t off = 16;
  while (off + 6 <= img.size()) {
    auto b = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(img[off + i])); };
    unsigned bid = b(0) | (b(1) << 8);
    unsigned len = b(2) | (b(3) << 8) | (b(4) << 16);
    if (bid == 0 && len == 0) return -1;
    if (bid == id) return static_cast<long>(off);
    off += 6 + len + (b(5) & 1u);
  }
  return -1;
}

class Settings : public ::testing::Test {
 protected:
  // Starts the program and opens dev/ser/a.
  void start() {
    rx_ = std::make_unique<e2e::Rxengine>(dir_);
    ASSERT_TRUE(rx_->start());
    ASSERT_TRUE(rx_->waitReady()) << rx_->stderrText();
    port_ = std::make_unique<e2e::PortReader>(dir_.file("dev/ser/a"));
    ASSERT_TRUE(port_->ok());
  }
  std::string ask(const std::string& line) { return port_->ask(line); }
  // Ends the run through the restart key (exit 0, the image stored on the way out).
  void restartViaCommand() {
    EXPECT_EQ(ask("%r%set,/par/rcv/restart,yes"), re("%r%"));
    e2e::ExitStatus st;
    ASSERT_TRUE(rx_->waitExit(st));
    EXPECT_TRUE(st.exited);
    EXPECT_EQ(st.code, 0);
    stop();
  }
  void stop() {
    port_.reset();
    if (rx_) {
      const std::string err = rx_->stderrText();
      EXPECT_EQ(err.find("AddressSanitizer"), std::string::npos) << err;
      EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
    }
    rx_.reset();
  }
  void TearDown() override { stop(); }

  e2e::RunDir dir_;
  std::unique_ptr<e2e::Rxengine> rx_;
  std::unique_ptr<e2e::PortReader> port_;
};

TEST_F(Settings, RateAndAnotherSettingSurviveARestart) {
  start();
  EXPECT_EQ(ask("print,/par/dev/ser/b/rate"), re("115200"));
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/rate,9600"), re("%1%"));
  EXPECT_EQ(ask("%2%set,/par/cpu/num,3"), re("%2%"));
  EXPECT_EQ(ask("%3%set,/par/dev/ser/c/imode,rtcm3"), re("%3%"));
  restartViaCommand();
  start();
  EXPECT_EQ(ask("print,/par/dev/ser/b/rate"), re("9600"));
  EXPECT_EQ(ask("print,/par/cpu/num"), re("3"));
  EXPECT_EQ(ask("print,/par/dev/ser/c/imode"), re("rtcm3"));
}

// The image reaches storage by the periodic save (at most 10 s after a change), so a kill 11 s
// after the set finds it stored. The wait is the requirement itself.
TEST_F(Settings, KillElevenSecondsAfterASetKeepsIt) {
  start();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/d/rate,57600"), re("%1%"));
  EXPECT_EQ(ask("%2%set,/par/lband/mode,on"), re("%2%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  e2e::ExitStatus st = rx_->kill();
  EXPECT_TRUE(st.signaled);
  stop();
  start();
  EXPECT_EQ(ask("print,/par/dev/ser/d/rate"), re("57600"));
  EXPECT_EQ(ask("print,/par/lband/mode"), re("on"));
}

TEST_F(Settings, InitBringsBackTheDefaults) {
  start();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/rate,4800"), re("%1%"));
  EXPECT_EQ(ask("%2%set,/par/cpu/num,0"), re("%2%"));
  EXPECT_EQ(ask("%3%set,/par/dev/ser/b/imode,cmr"), re("%3%"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/dev/ser/b/rate"), re("115200"));
  EXPECT_EQ(ask("print,/par/cpu/num"), re("auto"));
  EXPECT_EQ(ask("print,/par/dev/ser/b/imode"), re("cmd"));
  restartViaCommand();
  start();
  EXPECT_EQ(ask("print,/par/dev/ser/b/rate"), re("115200"));
  EXPECT_EQ(ask("print,/par/cpu/num"), re("auto"));
}

TEST_F(Settings, RefusedValuesLeaveTheStoredOne) {
  start();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/rate,19200"), re("%1%"));
  const struct {
    const char* line;
    const char* text;
  } rows[] = {
      {"%e%set,/par/dev/ser/b/rate,19201", ",value out of range"},
      {"%e%set,/par/dev/ser/b/rate,-9600", ",value out of range"},
      {"%e%set,/par/dev/ser/b/rate", ",2nd parameter missed"},
      {"%e%set,/par/dev/ser/b/imode", ",2nd parameter missed"},
      {"%e%set,/par/cpu/num", ",2nd parameter missed"},
  };
  for (const auto& r : rows) {
    std::string got = ask(r.line);
    EXPECT_EQ(got.rfind("ER", 0), 0u) << r.line << ": " << got;
    EXPECT_NE(got.find("%e%"), std::string::npos) << got;
    EXPECT_NE(got.find(r.text), std::string::npos) << r.line << ": " << got;
  }
  EXPECT_EQ(ask("print,/par/dev/ser/b/rate"), re("19200"));
  EXPECT_EQ(ask("print,/par/dev/ser/b/imode"), re("cmd"));
  EXPECT_EQ(ask("print,/par/cpu/num"), re("auto"));
}

// The GNSS board takes 0, 3 or 4 processors, or "auto"; 1 and 2 are refused and change nothing,
// in the running program or in what the next run reads.
TEST_F(Settings, CpuNumRefusesOneAndTwo) {
  start();
  const struct {
    const char* value;
    bool taken;
    const char* after;  // what a print shows next
  } rows[] = {
      {"1", false, "auto"}, {"0", true, "0"},       {"2", false, "0"}, {"3", true, "3"},
      {"1", false, "3"},    {"auto", true, "auto"}, {"4", true, "4"},  {"2", false, "4"},
  };
  for (const auto& r : rows) {
    const std::string got = ask(std::string("%c%set,/par/cpu/num,") + r.value);
    if (r.taken) {
      EXPECT_EQ(got, re("%c%")) << r.value;
    } else {
      EXPECT_EQ(got.rfind("ER", 0), 0u) << r.value << ": " << got;
      EXPECT_NE(got.find(",wrong 1st parameter"), std::string::npos) << r.value << ": " << got;
    }
    EXPECT_EQ(ask("print,/par/cpu/num"), re(r.after)) << r.value;
  }
  restartViaCommand();
  start();
  EXPECT_EQ(ask("print,/par/cpu/num"), re("4"));
}

// A fresh image holds WGS 84 as the output datum of the navigation settings (block 30002, the
// datum record at offset 8: its name, then the ellipsoid's a, b and 1/f), checked against the
// defining parameters of WGS 84.
TEST_F(Settings, FactoryNavigationSettingsHoldWgs84) {
  start();
  const std::string img = dir_.read(".gnss.nvm");
  const long nav = blockOffset(img, 30002);
  ASSERT_GT(nav, 0);
  const std::size_t datum = static_cast<std::size_t>(nav) + 6 + 8;
  ASSERT_LT(datum + 40, img.size());
  EXPECT_STREQ(img.c_str() + datum, "W84");
  double ell[3];  // a, b, 1/f
  std::memcpy(ell, img.data() + datum + 16, sizeof ell);
  EXPECT_DOUBLE_EQ(ell[0], 6378137.0);
  EXPECT_NEAR(ell[1], 6356752.3142, 1e-4);
  EXPECT_DOUBLE_EQ(ell[2], 298.257223563);
}

TEST_F(Settings, EchoModeSendsBytesBack) {
  start();
  e2e::PortReader b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,echo"), re("%1%"));
  const std::string bytes = std::string("any bytes\x01\xFF\r\nset,/par/cpu/num,0\r\n", 32);
  ASSERT_TRUE(b.sendRaw(bytes));
  std::string back;
  e2e::waitUntil([&] {
    back += b.pending(10);
    return back.size() >= bytes.size();
  });
  EXPECT_EQ(back, bytes);
  // Nothing of it was taken as a command.
  EXPECT_EQ(ask("print,/par/cpu/num"), re("auto"));
  // The port's own command turns it back.
  EXPECT_EQ(ask("%2%set,/par/dev/ser/b/imode,cmd"), re("%2%"));
  EXPECT_EQ(b.ask("%3%print,/par/cur/term/imode"), re("%3%cmd"));
}

// One byte flipped in the receiver settings block of the stored image: that block comes back
// with its factory defaults, the port settings in their own block keep what was set.
TEST_F(Settings, CorruptedBlockRestoresOnlyItsDefaults) {
  start();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/rate,9600"), re("%1%"));
  EXPECT_EQ(ask("%2%set,/par/cpu/num,3"), re("%2%"));
  EXPECT_EQ(ask("%3%set,/par/lband/mode,on"), re("%3%"));
  restartViaCommand();
  std::string img = dir_.read(".gnss.nvm");
  ASSERT_EQ(img.size(), 524288u);
  const long rcv = blockOffset(img, 30001);
  ASSERT_GT(rcv, 0);
  ASSERT_GT(blockOffset(img, 30000), 0);
  img[static_cast<std::size_t>(rcv) + 6 + 100] ^= 0x04;
  ASSERT_TRUE(dir_.write(".gnss.nvm", img));
  start();
  EXPECT_EQ(ask("print,/par/cpu/num"), re("auto"));
  EXPECT_EQ(ask("print,/par/lband/mode"), re("off"));
  EXPECT_EQ(ask("print,/par/dev/ser/b/rate"), re("9600"));
}

}  // namespace
