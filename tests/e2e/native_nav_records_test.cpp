// Navigation records in native messages on a serial port in native mode: a GPS ephemeris of a
// public RINEX file reaches the satellite data store, which keeps it in the settings image; the
// satellite position from what the store kept equals the one from the RINEX values.
#include <csignal>
#include <cstring>

#include "e2e/harness.h"
#include "unit/gnss_link/ge_reference.h"

namespace e2e {
namespace {

using NativeNavRecords = Rx;

// A native message with its binary checksum (each byte XORed in, then rotated left by two).
std::string withCk(const char* id, const std::string& payload) {
  char h[8];
  std::snprintf(h, sizeof h, "%.2s%03X", id, static_cast<unsigned>(payload.size() + 1));
  std::string m = h + payload;
  unsigned c = 0;
  for (unsigned char b : m) c = (((c ^ b) << 2) | ((c ^ b) >> 6)) & 0xFFu;
  return m + static_cast<char>(c);
}

TEST_F(NativeNavRecords, GeFromRinexOnASerialPortIsKeptByTheStore) {
  gegen::Rinex r;
  ASSERT_TRUE(gegen::firstRecord(r));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,zrt"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());
  // The almanac after the ephemeris is answered on the port: the ephemeris was worked before it.
  const std::string ga = std::string(1, '\x02') + std::string(45, '\0');
  ASSERT_TRUE(serB.sendRaw(withCk("GE", gegen::geFromRinex(r)) + withCk("GA", ga)));
  EXPECT_TRUE(serB.fill([](const std::string& h) { return h.find("RE002%%") != std::string::npos; })) << serB.held;
  restart();

  const std::string img = dir_.read(".gnss.nvm");
  const long off = blockOffset(img, 398);  // GPS PRN 1's ephemeris block
  ASSERT_GE(off, 0);
  ASSERT_GE(img.size(), static_cast<std::size_t>(off + 6 + 183));
  const auto* rec = reinterpret_cast<const unsigned char*>(img.data() + off + 6);
  const gegen::Rinex kept = gegen::fromStored(rec);
  EXPECT_EQ(kept.prn, 1);
  for (double dt : {-7200.0, 0.0, 7200.0}) {
    double ref[3], got[3];
    gegen::isgps200(r, 345600 + dt, ref);
    gegen::isgps200(kept, 345600 + dt, got);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], ref[k], 2e-3) << "dt " << dt << " axis " << k;
  }
}

// A Klobuchar model in a native "IO" message reaches the ionosphere stage, which keeps it in the
// settings image (the GPS model's block, the first of id 2446): the block holds the model after
// the save, and a restart restores it without writing it over.
TEST_F(NativeNavRecords, IonosphereModelFromAPortIsKeptInTheSettingsImage) {
  auto lef = [](float f) {
    char b[4];
    std::memcpy(b, &f, 4);
    return std::string(b, 4);
  };
  const float v[8] = {0.4657e-8f, 0.149e-7f, -0.596e-7f, -0.1192e-6f, 81920, 81920, -65540, -524300};
  std::string io = std::string("\x00\x46\x05\x00", 4) + std::string("\x36\x06", 2);  // tow 345600, week 1590
  for (float f : v) io += lef(f);
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,zrt"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());
  ASSERT_TRUE(serB.sendRaw(withCk("IO", io)));
  // The stage takes a waiting model once a second.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  auto modelInImage = [&](const char* when) {
    const std::string img = dir_.read(".gnss.nvm");
    const long off = blockOffset(img, 2446);
    ASSERT_GE(off, 0) << when;
    ASSERT_GE(img.size(), static_cast<std::size_t>(off + 6 + 48)) << when;
    const char* rec = img.data() + off + 6;
    std::uint32_t tow = 0;
    std::uint16_t week = 0;
    std::memcpy(&tow, rec, 4);
    std::memcpy(&week, rec + 4, 2);
    EXPECT_EQ(tow, 345600u) << when;
    EXPECT_EQ(week, 1590) << when;
    for (int k = 0; k < 8; ++k) {
      float f = 0;
      std::memcpy(&f, rec + 8 + 4 * k, 4);
      EXPECT_EQ(f, v[k]) << when << " coefficient " << k;
    }
  };
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  modelInImage("after the save");
  ASSERT_NO_FATAL_FAILURE(start());
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  modelInImage("after a restart");
}

}  // namespace
}  // namespace e2e
