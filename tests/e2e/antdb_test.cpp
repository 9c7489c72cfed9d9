// The antenna database printed on a serial port of the running program, and a settings image
// naming antennas the database does not hold.
#include <cstddef>
#include <cstring>

#include "../../src/settings/rcv_settings.h"
#include "e2e/harness.h"

namespace e2e {
namespace {

using AntDbRoad = Rx;

// A print that may come as consecutive replies, each with the id "%l%": their texts joined (up to
// the brace that closes the first), and how many replies carried them.
std::pair<std::string, int> joined(Port& port, const std::string& line) {
  std::string text;
  int replies = 0, depth = 0;
  if (!port.send("%l%" + line)) return {"", 0};
  do {
    const std::string m = port.next();
    if (m.size() < 8 || m.substr(0, 2) != "RE" || m.substr(5, 3) != "%l%") return {m, -1};
    const std::string t = m.substr(8, std::stoul(m.substr(2, 3), nullptr, 16) - 3);
    for (char c : t) depth += c == '{' ? 1 : c == '}' ? -1 : 0;
    text += t;
    ++replies;
  } while (depth > 0 && replies < 40);
  return {text, replies};
}

// The entries at the top level of a listing "{a=...,b=...}".
int entries(const std::string& listing) {
  int n = 0, depth = 0;
  for (char c : listing) {
    if (c == '{') ++depth;
    if (c == '}') --depth;
    if ((c == ',' && depth == 1) || (c == '}' && depth == 0 && listing.size() > 2)) ++n;
  }
  return n;
}

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
      {"print,/par/antdb/id/ZEPHYR", frame("ER", "%%{3,,wrong 1st parameter}")},
      {"print,/par/antdb/cmr/0", frame("ER", "%%{3,,wrong 1st parameter}")},
      {"set,/par/antdb/ver,x", frame("ER", "%%{12,,read only}")},
      {"print,/par/antdb/ver", re("1.0.0")},
  };
  for (const auto& r : rows) EXPECT_EQ(ask(r.line), r.reply) << r.line;
  // The listings of every entry come whole, as consecutive replies where one does not hold them.
  const struct {
    std::string path;
    int entries;
    std::string has;
    bool several;
  } lists[] = {
      {"id", 287, tz + "={cmr=123,l1_arp={e=0.0001,n=0.0009,u=0.0527},l2_l1={", true},
      {"id/", 287, ",AOAD/M_T            ={cmr=23,", true},
      {"cmr", 165, ",123={id=" + tz + ",l1_arp={e=0.0001,n=0.0009,u=0.0527},", true},
      {"ids/id", 287, "," + tz + "={" + tz + ",123},", true},
      {"ids/id/", 287, ",AOAD/M_T            ={AOAD/M_T,23},", true},
      {"ids/cmr", 165, ",123={" + tz + ",123},", false},
  };
  for (const auto& l : lists) {
    const auto [text, replies] = joined(*port_, "print,/par/antdb/" + l.path);
    ASSERT_GT(replies, 0) << l.path << ": " << text;
    EXPECT_EQ(replies > 1, l.several) << l.path;
    EXPECT_EQ(entries(text), l.entries) << l.path;
    EXPECT_NE(text.find(l.has), std::string::npos) << l.path << ": " << text.substr(0, 300);
  }
  EXPECT_EQ(ask("%e%"), re("%e%")) << "nothing follows the last reply";
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
