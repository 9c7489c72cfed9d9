// The antenna database printed on a serial port of the running program, and a settings image
// naming antennas the database does not hold.
#include <cstddef>
#include <cstring>

#include "../../src/settings/rcv_settings.h"
#include "e2e/harness.h"

namespace e2e {
namespace {

using AntDbRoad = Rx;

// TRM41249.00 with radome TZGD in igs05.atx: G01 north 0.90, east 0.14, up 52.74 mm; G02 north
// -0.50, east -0.82, up 59.46 mm. CMR antenna number 123 in the public number list.
TEST_F(AntDbRoad, PrintsOnASerialPort) {
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string tz = "TRM41249.00     TZGD";
  const struct {
    std::string line;
    std::string reply;
  } rows[] = {
      {"print,/par/antdb/ver", re("1.0.0")},
      {"%v%print,/par/antdb/ver", re("%v%1.0.0")},
      {"print,/par/antdb/id&count", re("287")},
      {"print,/par/antdb/cmr&count", re("165")},
      {"print,/par/antdb/id/" + tz + "/l1_arp", re("{e=0.0001,n=0.0009,u=0.0527}")},
      {"print,/par/antdb/id/" + tz + "/l2_l1/u", re("0.0067")},
      {"print,/par/antdb/id/" + tz + "/cmr", re("123")},
      {"print,/par/antdb/cmr/123/id", re(tz)},
      {"print,/par/antdb/cmr/300/id", re("ASH700718A")},
      {"print,/par/antdb/ids/cmr/123", re("{" + tz + ",123}")},
      {"print,/par/antdb/ids/id/AOAD/M_T        NONE", re("{AOAD/M_T,23}")},
      {"print,/par/antdb/id", frame("ER", "%%{14,,reply too long}")},
      {"print,/par/antdb/cmr", frame("ER", "%%{14,,reply too long}")},
      {"print,/par/antdb/ids/id", frame("ER", "%%{14,,reply too long}")},  // 287 pairs
      {"print,/par/antdb/id/ZEPHYR", frame("ER", "%%{3,,wrong 1st parameter}")},
      {"print,/par/antdb/cmr/0", frame("ER", "%%{3,,wrong 1st parameter}")},
      {"set,/par/antdb/ver,x", frame("ER", "%%{12,,read only}")},
      {"print,/par/antdb/ver", re("1.0.0")},
  };
  for (const auto& r : rows) EXPECT_EQ(ask(r.line), r.reply) << r.line;
  const std::string pairs = ask("print,/par/antdb/ids/cmr");
  EXPECT_EQ(pairs.rfind("RE", 0), 0u) << pairs;
  EXPECT_NE(pairs.find(",123={" + tz + ",123},"), std::string::npos) << pairs;
  // The print of every setting leaves the table out, and fits.
  const std::string all = ask("print,/par/");
  EXPECT_EQ(all.rfind("RE", 0), 0u) << all;
  EXPECT_NE(all.find("rcv={ver="), std::string::npos) << all;
  EXPECT_EQ(all.find("antdb"), std::string::npos) << all;
  EXPECT_TRUE(rx_->running());
}

// Antenna names written into the stored receiver settings (the block's XOR byte mended): one the
// database does not hold, one it does. The program starts, finds nothing for the first and
// answers as before.
TEST_F(AntDbRoad, UnknownStoredAntennaNameStartsAndRunsOn) {
  ASSERT_NO_FATAL_FAILURE(start());
  restart();
  std::string img = dir_.read(".gnss.nvm");
  const long off = blockOffset(img, 30001);
  ASSERT_GT(off, 0);
  const std::size_t at = static_cast<std::size_t>(off) + 6, len = le32(img, at - 4) & 0xFFFFFF;
  ASSERT_EQ(len, sizeof(RCV_SETTINGS));
  ASSERT_TRUE(img[at - 1] & 1);
  const char* names[2] = {"NOSUCHANT       XXXX", "TRM41249.00     TZGD"};
  for (int a = 0; a < 2; ++a) {
    char field[sizeof RCV_SETTINGS::antName[0]] = {};
    std::strncpy(field, names[a], sizeof field - 1);
    const std::size_t base = at + offsetof(RCV_SETTINGS, antName) + static_cast<std::size_t>(a) * sizeof field;
    for (std::size_t i = 0; i < sizeof field; ++i) {
      img[at + len] = static_cast<char>(img[at + len] ^ img[base + i] ^ field[i]);
      img[base + i] = field[i];
    }
  }
  ASSERT_TRUE(dir_.write(".gnss.nvm", img));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/antdb/ver"), re("1.0.0"));
  EXPECT_EQ(ask("print,/par/rcv/power"), re("on"));
  EXPECT_EQ(rx_->out().find("damaged"), std::string::npos) << rx_->out();
  restart();
  // The names stay as they were stored.
  img = dir_.read(".gnss.nvm");
  EXPECT_EQ(img.compare(at + offsetof(RCV_SETTINGS, antName), std::strlen(names[0]), names[0]), 0);
}

}  // namespace
}  // namespace e2e
