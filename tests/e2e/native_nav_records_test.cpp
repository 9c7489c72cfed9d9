// Navigation records in native messages on a serial port in native mode: a GPS ephemeris of a
// public RINEX file reaches the satellite data store, which keeps it in the settings image; the
// satellite position from what the store kept equals the one from the RINEX values.
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

}  // namespace
}  // namespace e2e
