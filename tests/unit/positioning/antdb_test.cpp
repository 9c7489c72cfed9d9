// The antenna database against the two public calibration files it is built from, parsed here
// on their own (ANTEX: NORTH / EAST / UP of G01 and G02 in mm; NGS ant_info: north, east, up
// lines of L1 and L2 in mm), the look-up rules on the real table and on a small table of the
// receiver's own shape (entries stored with radome NONE), and the /par/antdb/ keys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "positioning/antdb/ant_db.h"
#include "positioning/antdb/antdb_params.h"

namespace {

const std::string kDir = std::string(RX_SHARED_DIR) + "/data/antennas/";

struct SourceOffsets {
  double l1[3];  // north, east, up (mm) as the files give them
  double l2[3];
};

// IGS naming: type in columns 1-16, radome in 17-20; radome NONE or blank is the bare type.
std::string igsName(const std::string& field20) {
  std::string type = field20.substr(0, 16), radome = field20.size() > 16 ? field20.substr(16, 4) : "";
  while (!type.empty() && type.back() == ' ') type.pop_back();
  while (!radome.empty() && radome.back() == ' ') radome.pop_back();
  while (!radome.empty() && radome.front() == ' ') radome.erase(0, 1);
  if (radome.empty() || radome == "NONE") return type;
  type.resize(16, ' ');
  return type + radome;
}

bool threeNumbers(const std::string& line, double v[3]) {
  char rest[2];
  return std::sscanf(line.c_str(), "%lf %lf %lf %1s", &v[0], &v[1], &v[2], rest) == 3;
}

// Receiver antennas of the ANTEX file (blank serial number) that give both G01 and G02.
std::map<std::string, SourceOffsets> readAntex() {
  std::map<std::string, SourceOffsets> out;
  std::ifstream f(kDir + "igs05.atx");
  std::string line, name, freq;
  bool receiver = false, has1 = false, has2 = false;
  SourceOffsets o{};
  while (std::getline(f, line)) {
    if (line.size() < 61) continue;
    const std::string label = line.substr(60);
    if (label.rfind("START OF ANTENNA", 0) == 0) {
      has1 = has2 = false;
    } else if (label.rfind("TYPE / SERIAL NO", 0) == 0) {
      name = igsName(line.substr(0, 20));
      receiver = line.substr(20, 20).find_first_not_of(' ') == std::string::npos;
    } else if (label.rfind("START OF FREQUENCY", 0) == 0) {
      freq = line.substr(3, 3);
    } else if (label.rfind("NORTH / EAST / UP", 0) == 0) {
      double v[3];
      if (!threeNumbers(line.substr(0, 30), v)) continue;
      if (freq == "G01") std::memcpy(o.l1, v, sizeof v), has1 = true;
      if (freq == "G02") std::memcpy(o.l2, v, sizeof v), has2 = true;
    } else if (label.rfind("END OF ANTENNA", 0) == 0 && receiver && has1 && has2) {
      out[name] = o;
    }
  }
  return out;
}

// NGS blocks: the name line, the L1 offset line, two lines of L1 values, the L2 offset line.
std::map<std::string, SourceOffsets> readNgs() {
  std::map<std::string, SourceOffsets> out;
  std::ifstream f(kDir + "ngs_abs.pcv");
  std::vector<std::string> lines;
  for (std::string l; std::getline(f, l);) lines.push_back(l);
  for (std::size_t i = 0; i + 4 < lines.size(); ++i) {
    const std::string& l = lines[i];
    SourceOffsets o{};
    if (l.size() < 20 || !(std::isupper(static_cast<unsigned char>(l[0])) || std::isdigit(static_cast<unsigned char>(l[0]))))
      continue;
    if (!threeNumbers(lines[i + 1], o.l1) || !threeNumbers(lines[i + 4], o.l2)) continue;
    // The name field is 20 characters and a blank follows it; one block of the file runs its
    // name on ("LEIAR25         LEIAR25        LEIT", held by igs05.atx as LEIAR25 LEIT) and is
    // not an entry of its own.
    if (l[20] != ' ') continue;
    out[igsName(l.substr(0, 20))] = o;
    i += 6;
  }
  return out;
}

// Within 0.05 mm: the table holds the file's millimetres rounded to 0.1 mm.
constexpr double kTol = 0.05e-3 + 1e-7;

TEST(AntDbSources, EveryEntryHoldsItsFilesOffsetsEastNorthUpAndL2MinusL1) {
  const auto igs = readAntex(), ngs = readNgs();
  ASSERT_GT(igs.size(), 200u);
  ASSERT_GT(ngs.size(), 200u);
  std::map<std::string, bool> sourceNames;
  for (const auto& [n, o] : igs) sourceNames[n] = true;
  for (const auto& [n, o] : ngs) sourceNames[n] = true;
  sourceNames.erase("NONE");  // NGS's placeholder, not an antenna
  EXPECT_EQ(antDataBase.count(), static_cast<int>(sourceNames.size()));
  for (int i = 0; i < antDataBase.count(); ++i) {
    const AntDbDescr d = antDataBase.at(i);
    ASSERT_TRUE(d.valid());
    const std::string name = d.id();
    // IGS's calibration wins where both files have the antenna.
    const auto it = igs.count(name) ? igs.find(name) : ngs.find(name);
    ASSERT_TRUE(it != ngs.end()) << name << " is in neither file";
    const SourceOffsets& o = it->second;
    float l1[3], l2[3];
    d.offset(0, l1);
    d.offset(1, l2);
    const double wantL1[3] = {o.l1[1], o.l1[0], o.l1[2]};
    const double wantL2[3] = {o.l2[1] - o.l1[1], o.l2[0] - o.l1[0], o.l2[2] - o.l1[2]};
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(l1[k], wantL1[k] * 1e-3, kTol) << name << " L1 component " << k;
      EXPECT_NEAR(l2[k], wantL2[k] * 1e-3, kTol) << name << " L2-L1 component " << k;
    }
  }
  for (const auto& [n, unused] : sourceNames) EXPECT_TRUE(antDataBase.find(n.c_str()).valid()) << n;
}

// The CMR table against the public number list: a number maps to the entry of its name (radome
// NONE taken as the bare type), or to none when the antenna is not held.
TEST(AntDbSources, CmrNumbersMapToTheirNamesEntries) {
  std::ifstream f(kDir + "cmr_antenna_numbers.csv");
  std::string line;
  int held = 0, rows = 0;
  while (std::getline(f, line)) {
    if (line.empty() || line[0] == '#' || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    const int number = std::stoi(line);
    std::string name = line.substr(line.find(',') + 1);
    name = name.substr(0, name.find(','));
    ++rows;
    if (number > 255) continue;
    std::string bare = name;
    if (bare.size() > 5 && bare.compare(bare.size() - 5, 5, " NONE") == 0) bare.resize(bare.size() - 5);
    while (!bare.empty() && bare.back() == ' ') bare.pop_back();
    const AntDbDescr want = antDataBase.find(bare.c_str());
    const AntDbDescr got = antDataBase.find(number);
    EXPECT_EQ(got.id() ? std::string(got.id()) : "", want.id() ? std::string(want.id()) : "") << number;
    held += want.valid();
  }
  EXPECT_GT(rows, 500);
  EXPECT_EQ(antDataBase.cmrCount(), held);
  EXPECT_EQ(antDataBase.cmrCount(), 165);
  EXPECT_EQ(antDataBase.cmrTableSize(), 256);
}

// Sorted in byte order, names of 5 to 20 characters (a radome after a type padded to 16), and
// each letter's range holds exactly the names beginning with it.
TEST(AntDbStructure, SortedNamesAndLetterIndex) {
  EXPECT_STREQ(antDataBase.version(), "1.0.0");
  EXPECT_EQ(antDbData.cmr.maxIndex, antDataBase.count() - 1);
  for (int i = 0; i < antDataBase.count(); ++i) {
    const char* n = antDataBase.at(i).id();
    const std::size_t len = std::strlen(n);
    EXPECT_TRUE(len >= 5 && len <= 20) << n;
    if (len > 16) { EXPECT_TRUE(len == 20 && n[16] != ' ') << n; }
    if (i > 0) { EXPECT_LT(std::strcmp(antDataBase.at(i - 1).id(), n), 0) << n; }
  }
  for (int c = 0; c < 26; ++c) {
    const AntDbLetter& l = antDbData.letters[c];
    int expect = 0;
    for (int i = 0; i < antDataBase.count(); ++i) expect += antDataBase.at(i).id()[0] == 'A' + c;
    EXPECT_EQ(l.count, expect) << static_cast<char>('A' + c);
    for (int i = l.first; i < l.first + l.count; ++i) EXPECT_EQ(antDataBase.at(i).id()[0], 'A' + c);
  }
  for (char c : std::string("OPXYZ")) EXPECT_EQ(antDbData.letters[c - 'A'].count, 0) << c;
}

const char* idOf(const AntDbDescr& d) { return d.id() ? d.id() : "(none)"; }

TEST(AntDbFind, LookUpTable) {
  const struct {
    const char* name;
    const char* want;  // (none): not found
  } rows[] = {
      {"TRM41249.00     TZGD", "TRM41249.00     TZGD"},
      {"TRM41249.00", "TRM41249.00"},
      {"TRM41249.00     NONE", "TRM41249.00"},  // a radome NONE is the bare type
      {"TRM41249.00 NONE", "TRM41249.00"},
      {"TRM41249.00     NONE   ", "TRM41249.00"},
      {"AOAD/M_T   ", "AOAD/M_T"},  // trailing blanks
      {"AOAD/M_TA_NGS", "AOAD/M_TA_NGS"},
      {"AERAT2775_42+CR", "AERAT2775_42+CR"},
      {"AERAT2775_43    SPKE", "AERAT2775_43    SPKE"},
      {"3S-02-TSADM", "3S-02-TSADM"},  // a digit: the whole table is searched
      {"3S-02-TSATE", "3S-02-TSATE"},
      {"TRM41249.00     SNOW", "(none)"},  // a radome not held: no guessing from the type
      {"TRM4124", "(none)"},                 // a mere prefix
      {"AOAD/M_", "(none)"},
      {"AOAD/M_TX", "(none)"},
      {"TRM41249.000", "(none)"},
      {"OLGA", "(none)"},  // letters without names
      {"PFAN1", "(none)"},
      {"XYZ0123", "(none)"},
      {"YAN-99", "(none)"},
      {"ZEPHYR", "(none)"},
      {"trm41249.00", "(none)"},
      {" TRM41249.00", "(none)"},
      {"NONE", "(none)"},  // NGS's placeholder row is left out
      {"     NONE", "(none)"},
      {"", "(none)"},
      {"   ", "(none)"},
  };
  for (const auto& r : rows) EXPECT_STREQ(idOf(antDataBase.find(r.name)), r.want) << "'" << r.name << "'";
  EXPECT_FALSE(antDataBase.find(static_cast<const char*>(nullptr)).valid());
}

TEST(AntDbFind, CmrNumbers) {
  const int ash = [] {
    for (int i = 0; i < antDataBase.count(); ++i)
      if (std::strcmp(antDataBase.at(i).id(), "ASH700718A") == 0) return i;
    return -1;
  }();
  ASSERT_GE(ash, 0);
  const struct {
    int number;
    const char* want;
  } rows[] = {{123, "TRM41249.00     TZGD"}, {44, "ASH700718A"}, {300, "ASH700718A"}, {44 + 1024, "ASH700718A"},
              {4, "TRM14177.00"},          {0, "(none)"},     {255 + 256, "(none)"}};
  for (const auto& r : rows) EXPECT_STREQ(idOf(antDataBase.find(r.number)), r.want) << r.number;
  EXPECT_EQ(antDataBase.cmrAt(0), -1);
  EXPECT_EQ(antDataBase.cmrAt(300), ash);
  EXPECT_EQ(antDataBase.cmrFind(ash, 0), 44);
  EXPECT_EQ(antDataBase.cmrFind(ash, 45), -1);
  EXPECT_EQ(antDataBase.cmrFind(ash, -7), 44);
  EXPECT_EQ(antDataBase.cmrFind(-1, 0), -1);
  EXPECT_EQ(antDataBase.cmrFind(antDataBase.count(), 0), -1);
  EXPECT_FALSE(antDataBase.at(-1).valid());
  EXPECT_FALSE(antDataBase.at(antDataBase.count()).valid());
}

TEST(AntDbFind, OffsetsOfNoEntryOrAnotherFrequencyAreZero) {
  float v[3] = {1, 2, 3};
  AntDbDescr().offset(0, v);
  EXPECT_EQ(v[0] + v[1] + v[2], 0.0f);
  const AntDbDescr d = antDataBase.find("TRM41249.00     TZGD");
  float l1[3];
  d.offset(0, l1);
  EXPECT_FLOAT_EQ(l1[2], 0.0527f);
  for (int f : {-1, 2, 99}) {
    v[0] = v[1] = v[2] = 1;
    d.offset(f, v);
    EXPECT_EQ(std::fabs(v[0]) + std::fabs(v[1]) + std::fabs(v[2]), 0.0f) << f;
  }
  EXPECT_EQ(AntDbDescr().id(), nullptr);
}

TEST(AntDbFind, CutNone) {
  const struct {
    const char* name;
    int want;
  } rows[] = {{"ASH700936D_M    NONE", 12}, {"AB NONE", 2}, {"A NONE", 1}, {"NONE", 4}, {" NONE", 5},
              {"ABNONE", 6},              {"AB  SNOW", 8}, {"AB NONEX", 8}, {"", 0}};
  for (const auto& r : rows) EXPECT_EQ(cutNone(r.name, static_cast<int>(std::strlen(r.name))), r.want) << r.name;
}

TEST(AntDbFind, CompareOrders) {
  const AntDbDescrElem e{"ANT01", {}};
  const struct {
    const char* name;
    int want;
  } rows[] = {{"ANT01", 1}, {"ANT00", 0}, {"ANT02", 2}, {"ANT0", 0}, {"ANT1", 2},
              {"ANT01 X", 2}, {"ANT00 X", 0}, {"A", 0}, {"B", 2}};
  for (const auto& r : rows) EXPECT_EQ(e.compare(r.name, static_cast<int>(std::strlen(r.name))), r.want) << r.name;
}

// A table of the receiver's own shape: types stored with radome NONE beside other radomes, a
// name that is a path prefix of another, names beginning with a digit.
const AntDbDescrElem kSmall[] = {
    {"1TEST", {1}},
    {"ANT01", {2}},
    {"ANT01/X", {3}},
    {"ANT02           NONE", {4}},
    {"ANT02           SCIS", {5}},
    {"ANT03           DOME", {6}},
    {"ANT03           NONE", {7}},
    {"BEE+1", {8}},
};
const AntDbData kSmallData = {0,
                              "9.9.9",
                              {8, kSmall},
                              {{1, 6}, {7, 1}},
                              {2, 7, 256, {7, 3, 763, 8}}};
const AntDb kSmallDb(kSmallData);

TEST(AntDbFind, EntriesStoredWithRadomeNone) {
  const struct {
    const char* name;
    const char* want;
  } rows[] = {
      {"ANT02", "ANT02           NONE"},  // a bare type finds its NONE entry
      {"ANT02 NONE", "ANT02           NONE"},
      {"ANT02           NONE", "ANT02           NONE"},
      {"ANT02           SCIS", "ANT02           SCIS"},
      {"ANT03", "(none)"},  // the walk stops at DOME, which sorts before NONE
      {"ANT03           NONE", "(none)"},
      {"ANT01", "ANT01"},
      {"ANT01/X", "ANT01/X"},
      {"1TEST", "1TEST"},
      {"ANT0", "(none)"},
      {"CAT01", "(none)"},
  };
  for (const auto& r : rows) EXPECT_STREQ(idOf(kSmallDb.find(r.name)), r.want) << r.name;
  EXPECT_EQ(kSmallDb.cmrAt(0), 7);
  EXPECT_EQ(kSmallDb.cmrAt(1), 3);
  EXPECT_EQ(kSmallDb.cmrAt(2), -1);  // the marker
  EXPECT_EQ(kSmallDb.cmrAt(3), -1);  // beyond the largest index a number may map to
  EXPECT_STREQ(kSmallDb.version(), "9.9.9");
}

struct PartialRow {
  const char* path;
  const char* want;  // entry name, or (none)
  const char* rest;  // what is left of the path
};

void checkPartial(const AntDb& db, const PartialRow& r) {
  const char* p = r.path;
  const int i = db.findPartial(p);
  EXPECT_STREQ(idOf(db.at(i)), r.want) << r.path;
  EXPECT_STREQ(p, r.rest) << r.path;
}

TEST(AntDbFindPartial, RealTable) {
  const PartialRow rows[] = {
      {"AOAD/M_T/l1_arp", "AOAD/M_T", "/l1_arp"},
      {"AOAD/M_T", "AOAD/M_T", ""},
      {"AOAD/M_TA_NGS&x", "AOAD/M_TA_NGS", "&x"},
      {"AERAT2775_42+CR/cmr", "AERAT2775_42+CR", "/cmr"},
      {"AERAT2775_42+CR NONE/cmr", "AERAT2775_42+CR", "/cmr"},
      {"AOAD/M_T        NONE", "AOAD/M_T", ""},
      {"AOAD/M_T NONE&", "AOAD/M_T", "&"},
      {"AOAD/M_T   /u", "AOAD/M_T", "/u"},
      {"TRM41249.00     TZGD/l1_arp", "TRM41249.00     TZGD", "/l1_arp"},
      {"TRM41249.00/l2_l1", "TRM41249.00", "/l2_l1"},
      {"3S-02-TSADM/cmr", "3S-02-TSADM", "/cmr"},
      {"TRM41249.00     SNOW/x", "(none)", "TRM41249.00     SNOW/x"},
      {"TRM41249.00 NONEX", "(none)", "TRM41249.00 NONEX"},
      {"AOAD/M", "(none)", "AOAD/M"},
      {"AOAD/M_TX/cmr", "(none)", "AOAD/M_TX/cmr"},
      {"OLGA/x", "(none)", "OLGA/x"},
      {"", "(none)", ""},
  };
  for (const auto& r : rows) checkPartial(antDataBase, r);
}

TEST(AntDbFindPartial, DeeperNamesFirstAndRadomeNone) {
  const PartialRow rows[] = {
      {"ANT01/X/l1_arp", "ANT01/X", "/l1_arp"},
      {"ANT01/Y", "ANT01", "/Y"},
      {"ANT01&count", "ANT01", "&count"},
      {"ANT02/cmr", "ANT02           NONE", "/cmr"},  // the name goes on only with blanks and NONE
      {"ANT02 NONE/cmr", "ANT02           NONE", "/cmr"},
      {"ANT02           SCIS/cmr", "ANT02           SCIS", "/cmr"},
      {"ANT03/x", "ANT03           NONE", "/x"},
      {"BEE+1", "BEE+1", ""},
      {"1TEST/a", "1TEST", "/a"},
  };
  for (const auto& r : rows) checkPartial(kSmallDb, r);
}

// Random and truncated names: nothing read beyond the text, a found entry is one whose name (or
// name without NONE) the text spells, and the path is left at "/", "&" or its end.
TEST(AntDbFindPartial, RandomAndTruncatedInput) {
  std::mt19937 rng(47);
  const std::string alphabet = "ANTRM0123456789/&+ _-.NOEZ\x01\xff";
  for (int round = 0; round < 20000; ++round) {
    std::string s;
    if (round % 2) {
      s = antDataBase.at(static_cast<int>(rng() % antDataBase.count())).id();
      s.resize(rng() % (s.size() + 1));
      if (rng() % 2) s += std::string(rng() % 3, ' ') + (rng() % 2 ? "NONE" : "") + (rng() % 2 ? "/l1_arp" : "&");
    } else {
      for (int n = static_cast<int>(rng() % 30); n > 0; --n) s += alphabet[rng() % alphabet.size()];
    }
    const AntDbDescr d = antDataBase.find(s.c_str());
    if (d.valid()) { EXPECT_EQ(std::string(d.id()).compare(0, 3, s, 0, 3), 0) << s; }
    const char* p = s.c_str();
    const int i = antDataBase.findPartial(p);
    if (i < 0) {
      EXPECT_EQ(p, s.c_str());
      continue;
    }
    const std::string name = antDataBase.at(i).id();
    EXPECT_EQ(s.compare(0, name.size(), name), 0) << s;
    EXPECT_TRUE(*p == 0 || *p == '/' || *p == '&') << s;
  }
  registerAntDbArea();
  char buf[64];
  Reply re;
  for (int round = 0; round < 3000; ++round) {
    std::string path = "antdb/";
    for (int n = static_cast<int>(rng() % 40); n > 0; --n) path += alphabet[rng() % alphabet.size()];
    std::snprintf(buf, sizeof buf, "%s", path.c_str());
    re.begin(nullptr, 0);
    const int rc = parPrint(buf, re);
    EXPECT_TRUE(rc == CMD_OK || rc == CMD_WRONG_1ST || rc == CMD_REPLY_TOO_LONG) << path << " " << rc;
  }
}

// ---- the /par/antdb/ keys

class AntDbParams : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { registerAntDbArea(); }
  static std::string print(const char* path, int* rc = nullptr) {
    Reply re;
    re.begin(nullptr, 0);
    const int code = parPrint(path, re);
    if (rc) *rc = code;
    return re.overflow() ? "(too long)" + std::string(re.text(), static_cast<std::size_t>(re.textLen()))
                         : std::string(re.text(), static_cast<std::size_t>(re.textLen()));
  }
};

TEST_F(AntDbParams, PrintPaths) {
  const char* tz = "antdb/id/TRM41249.00     TZGD";
  const std::string tzAll = "{cmr=123,l1_arp={e=0.0001,n=0.0009,u=0.0527},l2_l1={e=-0.0010,n=-0.0014,u=0.0067}}";
  const struct {
    std::string path;
    std::string reply;  // "": an empty value
    int rc;
  } rows[] = {
      {"antdb/ver", "1.0.0", CMD_OK},
      {"antdb/id&count", "287", CMD_OK},
      {"antdb/ids/id&count", "287", CMD_OK},
      {"antdb/cmr&count", "165", CMD_OK},
      {"antdb/ids/cmr&count", "165", CMD_OK},
      {std::string(tz), tzAll, CMD_OK},
      {std::string(tz) + "/l1_arp", "{e=0.0001,n=0.0009,u=0.0527}", CMD_OK},
      {std::string(tz) + "/l1_arp/u", "0.0527", CMD_OK},
      {std::string(tz) + "/l1_arp/n", "0.0009", CMD_OK},
      {std::string(tz) + "/l2_l1/e", "-0.0010", CMD_OK},
      {std::string(tz) + "/cmr", "123", CMD_OK},
      {"antdb/id/TRM41249.00     NONE/l1_arp/u", "0.0553", CMD_OK},
      {"antdb/id/3S-02-TSADM/cmr", "", CMD_OK},
      {"antdb/id/3S-02-TSADM/l1_arp", "{e=0.0031,n=0.0023,u=0.2537}", CMD_OK},
      {"antdb/id/AOAD/M_T/cmr", "23", CMD_OK},
      {"antdb/id/AERAT2775_42+CR/l2_l1/u", "0.0388", CMD_OK},
      {"antdb/cmr/123/id", "TRM41249.00     TZGD", CMD_OK},
      {"antdb/cmr/123/l1_arp/u", "0.0527", CMD_OK},
      {"antdb/cmr/300/id", "ASH700718A", CMD_OK},
      {"antdb/cmr/123", "{id=TRM41249.00     TZGD,l1_arp={e=0.0001,n=0.0009,u=0.0527},l2_l1={e=-0.0010,n=-0.0014,u=0.0067}}",
       CMD_OK},
      {"antdb/ids/cmr/123", "{TRM41249.00     TZGD,123}", CMD_OK},
      {"antdb/ids/id/ASH700718A", "{ASH700718A,44}", CMD_OK},
      {"antdb/ids/id/3S-02-TSADM", "{3S-02-TSADM,}", CMD_OK},
      {"antdb/cmr/0/id", "", CMD_WRONG_1ST},  // a number without entry
      {"antdb/cmr/abc", "", CMD_WRONG_1ST},
      {"antdb/cmr/1234567890", "", CMD_WRONG_1ST},
      {"antdb/cmr/-1", "", CMD_WRONG_1ST},
      {"antdb/ids/cmr/123/id", "", CMD_WRONG_1ST},
      {"antdb/ids/id/ASH700718A/cmr", "", CMD_WRONG_1ST},
      {"antdb/id/OLGA", "", CMD_WRONG_1ST},
      {"antdb/id/TRM4124", "", CMD_WRONG_1ST},
      {"antdb/id/ASH700718A&count", "", CMD_WRONG_1ST},
      {std::string(tz) + "/l1_arp/x", "", CMD_WRONG_1ST},
      {std::string(tz) + "/nothing", "", CMD_WRONG_1ST},
      {"antdb/nothing", "", CMD_WRONG_1ST},
      {"antdb/ids/nothing", "", CMD_WRONG_1ST},
  };
  for (const auto& r : rows) {
    int rc = -5;
    const std::string got = print(r.path.c_str(), &rc);
    EXPECT_EQ(rc, r.rc) << r.path;
    if (r.rc == CMD_OK) { EXPECT_EQ(got, r.reply) << r.path; }
  }
}

// Listings name each entry by its name padded to 20 characters and each CMR number by itself;
// all but the pairs of the CMR numbers are more than one reply can carry.
TEST_F(AntDbParams, ListingsAreTooLongForOneReply) {
  const struct {
    const char* path;
    const char* begins;
  } rows[] = {
      {"antdb/id",
       "(too long){3S-02-TSADM         ={cmr=,l1_arp={e=0.0031,n=0.0023,u=0.2537},l2_l1={e=0.0004,n=-0.0016,u=0.0299}},"
       "3S-02-TSATE         ={"},
      {"antdb/cmr", "(too long){4={id=TRM14177.00,l1_arp={"},
      {"antdb/ids/id", "(too long){3S-02-TSADM         ={3S-02-TSADM,},3S-02-TSATE         ={3S-02-TSATE,},"},
      {"antdb", "(too long){id&count=287,cmr&count=165,ver=1.0.0,id={3S-02-TSADM         ={cmr=,"},
      {"antdb/ids", "(too long){id&count=287,cmr&count=165,id={3S-02-TSADM         ={3S-02-TSADM,},"},
  };
  for (const auto& r : rows) EXPECT_EQ(print(r.path).rfind(r.begins, 0), 0u) << r.path << ": " << print(r.path);
  // The pairs of every CMR number fit: each number once, in order.
  const std::string all = print("antdb/ids/cmr");
  ASSERT_EQ(all.rfind("{4={TRM14177.00,4},5={TRM14532.00,5},11={TRM14532.10,11},", 0), 0u) << all;
  EXPECT_NE(all.find(",123={TRM41249.00     TZGD,123},"), std::string::npos);
  EXPECT_EQ(all.back(), '}');
  int pairs = 0;
  for (std::size_t at = 0; (at = all.find("={", at)) != std::string::npos; ++at) ++pairs;
  EXPECT_EQ(pairs, 165);
}

// The whole tree's print leaves the table out; named, it prints.
TEST_F(AntDbParams, WholeTreeLeavesTheTableOut) {
  const std::string all = print("");
  EXPECT_EQ(all.find("antdb"), std::string::npos) << all;
  EXPECT_EQ(all.find("(too long)"), std::string::npos);
  EXPECT_EQ(print("antdb/ver"), "1.0.0");
}

TEST_F(AntDbParams, NothingCanBeSet) {
  EXPECT_EQ(parSet("antdb/ver", nullptr), CMD_READ_ONLY);
  EXPECT_EQ(parSet("antdb/id/ASH700718A/l1_arp/u", nullptr), CMD_READ_ONLY);
  EXPECT_EQ(print("antdb/ver"), "1.0.0");
}

}  // namespace
