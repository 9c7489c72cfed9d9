// Transducer sentences: which lines are taken, what is kept of them and which buffer each
// reading reaches. Published sentences carry their own checksums (checked with python3); the
// others get theirs from the NMEA 0183 rule written here: XOR of the characters between "$" and "*".
#include "gnss_link/sensor/nmea_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "gnss_link/sensor/transducer.h"

namespace {

std::string ck(const std::string& body) {
  unsigned x = 0;
  for (unsigned char c : body) x ^= c;
  char h[4];
  std::snprintf(h, sizeof h, "%02X", x);
  return "$" + body + "*" + h + "\r\n";
}

constexpr int kSame = -1;  // the buffer is not updated
struct Row {
  const char* name;
  std::string line;
  bool taken;
  const char* kept;  // the last sentence afterwards; null: not replaced
  int meteoFlags;
  float meteo[3];  // temperature C, humidity %, pressure bar
  int tiltFlags;
  float tilt[3];  // north deg, east deg, temperature C
};

const std::string kLong = "IIXDR" + [] {
  std::string s;
  while (s.size() < 1030) s += ",G,1,,X";
  return s;
}();

const Row kRows[] = {
    {"temperature and pressure", ck("IIXDR,C,21.5,C,T,P,1.013,B,P"), true, "IIXDR,C,21.5,C,T,P,1.013,B,P", 5, {21.5f, 0, 1.013f}, kSame, {}},
    {"published AirTemp", "$IIXDR,C,19.8,C,AirTemp*26\r\n", true, "IIXDR,C,19.8,C,AirTemp", 1, {19.8f, 0, 0}, kSame, {}},
    {"published Barometer", "$IIXDR,P,1.01408,B,Barometer*2B\r\n", true, "IIXDR,P,1.01408,B,Barometer", 4, {0, 0, 1.01408f}, kSame, {}},
    {"pascal to bar", ck("IIXDR,P,101325,P,B"), true, "IIXDR,P,101325,P,B", 4, {0, 0, 1.01325f}, kSame, {}},
    {"humidity", ck("WIXDR,H,55.2,P,RH"), true, "WIXDR,H,55.2,P,RH", 2, {0, 55.2f, 0}, kSame, {}},
    {"gpsd's attitude example: kept, no reading",
     "$HCXDR,A,171,D,PITCH,A,-37,D,ROLL,G,367,,MAGX,G,2420,,MAGY,G,-8984,,MAGZ*41\r\n", true,
     "HCXDR,A,171,D,PITCH,A,-37,D,ROLL,G,367,,MAGX,G,2420,,MAGY,G,-8984,,MAGZ", kSame, {}, kSame, {}},
    // 803.924 microradians = 803.924e-6 * 180 / pi degrees
    {"tilt in microradians and degrees with the sensor's temperature",
     ck("IIXDR,A,803.924,M,N,A,-1.50,D,E,C,17.09,C,T"), true, "IIXDR,A,803.924,M,N,A,-1.50,D,E,C,17.09,C,T", kSame, {},
     7, {static_cast<float>(803.924e-6 * 180 / M_PI), -1.5f, 17.09f}},
    {"north tilt alone", ck("IIXDR,A,1.25,D,N"), true, "IIXDR,A,1.25,D,N", kSame, {}, 1, {1.25f, 0, 0}},
    {"tilt and humidity: the humidity stays meteo", ck("IIXDR,A,2,D,E,H,40,P,RH"), true, "IIXDR,A,2,D,E,H,40,P,RH", 2,
     {0, 40, 0}, 2, {0, 2, 0}},
    {"wrong checksum", "$IIXDR,C,19.8,C,AirTemp*27\r\n", false, nullptr, kSame, {}, kSame, {}},
    {"lower-case checksum", "$IIXDR,P,1.01408,B,Barometer*2b\r\n", true, "IIXDR,P,1.01408,B,Barometer", 4, {0, 0, 1.01408f}, kSame, {}},
    {"no checksum", "$IIXDR,C,5.5,C,T\n", true, "IIXDR,C,5.5,C,T", 1, {5.5f, 0, 0}, kSame, {}},
    {"proprietary form", ck("PASHS,XDR,C,22.0,C,TEMP,H,45.5,P,HUM"), true, "WIXDR,C,22.0,C,TEMP,H,45.5,P,HUM", 3, {22, 45.5f, 0}, kSame, {}},
    {"proprietary query: taken, ignored", ck("PASHQ,XDR"), true, nullptr, kSame, {}, kSame, {}},
    {"proprietary other sentence", ck("PASHS,POS,1"), false, nullptr, kSame, {}, kSame, {}},
    {"other maker", ck("PXYZS,XDR,C,1,C,T"), false, nullptr, kSame, {}, kSame, {}},
    {"other formatter", ck("GPGGA,1,2,3,4"), false, nullptr, kSame, {}, kSame, {}},
    {"no line end (a run cut at its bound)", "$IIXDR,C,19.8,C,AirTemp*26", false, nullptr, kSame, {}, kSame, {}},
    {"seven characters", "$IIXDR\n", false, nullptr, kSame, {}, kSame, {}},
    {"no comma after the formatter", ck("IIXDRS,C,1,C,T"), false, nullptr, kSame, {}, kSame, {}},
    {"no dollar", "!IIXDR,C,1,C,T\r\n", false, nullptr, kSame, {}, kSame, {}},
    {"value missing", ck("IIXDR,C,,C,T"), false, nullptr, kSame, {}, kSame, {}},
    {"value not a number", ck("IIXDR,C,1.2.3,C,T"), false, nullptr, kSame, {}, kSame, {}},
    {"value out of a float's range", ck("IIXDR,C,1e300,C,T"), false, nullptr, kSame, {}, kSame, {}},
    {"quadruplet cut short", ck("IIXDR,C,19.8,C"), false, nullptr, kSame, {}, kSame, {}},
    {"second quadruplet cut short", ck("IIXDR,C,19.8,C,T,P,1.0"), false, nullptr, kSame, {}, kSame, {}},
    {"no fields", ck("IIXDR,"), false, nullptr, kSame, {}, kSame, {}},
    {"unknown unit: kept, no reading", ck("IIXDR,P,3,X,P"), true, "IIXDR,P,3,X,P", kSame, {}, kSame, {}},
    {"angle named other than N or E", ck("IIXDR,A,3,D,NE"), true, "IIXDR,A,3,D,NE", kSame, {}, kSame, {}},
    {"too long to keep: readings still taken", ck(kLong + ",C,3,C,T"), true, nullptr, 1, {3, 0, 0}, kSame, {}},
};

TEST(NmeaDecoder, TransducerSentenceTable) {
  NmeaDecoder dec;
  for (const Row& r : kRows) {
    const std::int32_t issue = Transducer::data().issue();
    const SensorData m0 = meteoDataBuf.get(), t0 = tiltDataBuf.get();
    const int term = r.line.empty() || (r.line.back() != '\n' && r.line.back() != '\r') ? -1 : r.line.back();
    EXPECT_EQ(dec.process(r.line.data(), static_cast<int>(r.line.size()), term), r.taken) << r.name;
    char buf[Transducer::kMaxLen];
    int len = 0;
    const std::int32_t got = Transducer::data().getNewData(issue, buf, sizeof buf, len);
    if (r.kept == nullptr) {
      EXPECT_EQ(got, issue) << r.name;
      EXPECT_EQ(len, 0) << r.name;
    } else {
      EXPECT_EQ(got, issue + 2) << r.name;
      EXPECT_EQ(std::string(buf, static_cast<std::size_t>(len)), r.kept) << r.name;
    }
    const SensorData m = meteoDataBuf.get(), t = tiltDataBuf.get();
    if (r.meteoFlags == kSame) {
      EXPECT_EQ(m.issue, m0.issue) << r.name;
    } else {
      EXPECT_EQ(m.issue, m0.issue + 1) << r.name;
      EXPECT_EQ(m.flags, static_cast<std::uint32_t>(r.meteoFlags)) << r.name;
      for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(m.v[i], r.meteo[i]) << r.name << " meteo " << i;
    }
    if (r.tiltFlags == kSame) {
      EXPECT_EQ(t.issue, t0.issue) << r.name;
    } else {
      EXPECT_EQ(t.issue, t0.issue + 1) << r.name;
      EXPECT_EQ(t.flags, static_cast<std::uint32_t>(r.tiltFlags)) << r.name;
      for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(t.v[i], r.tilt[i]) << r.name << " tilt " << i;
    }
  }
}

TEST(NmeaDecoder, RandomAndTruncatedLines) {
  NmeaDecoder dec;
  const std::string good = ck("IIXDR,A,803.924,M,N,A,-1.50,D,E,C,17.09,C,T");
  // Every prefix: only the whole line (with its line end) is taken.
  for (std::size_t n = 0; n < good.size(); ++n) {
    const std::string cut = good.substr(0, n);
    const bool whole = n + 1 == good.size();  // up to CR: the line end is there, LF is not needed
    EXPECT_EQ(dec.process(cut.data(), static_cast<int>(cut.size()), -1), whole) << n;
  }
  std::mt19937 rng(85);
  const char alphabet[] = "$IXDR,*0123456789.-+ACHPBMNE\r\nQSW";
  for (int i = 0; i < 20000; ++i) {
    std::string s = i % 2 ? good : ck("PASHS,XDR,C,22.0,C,TEMP,H,45.5,P,HUM");
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int f = 0; f < flips; ++f) {
      const std::size_t at = rng() % s.size();
      s[at] = (i % 3 == 0) ? static_cast<char>(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
    }
    s.resize(rng() % (s.size() + 1));
    dec.process(s.data(), static_cast<int>(s.size()), s.empty() ? -1 : static_cast<unsigned char>(s.back()));
    std::string noise(rng() % 64, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    dec.process(noise.data(), static_cast<int>(noise.size()), -1);
  }
  const SensorData t = tiltDataBuf.get();
  EXPECT_LE(t.flags, 7u);
}

}  // namespace
