// A stand-in for the GNSS board: listens on dev/shm/a of a run directory, answers the link
// handshakes, keeps the settings issue it is given, records every line it receives, follows
// the terminal's input mode and, once its epoch messages are enabled, streams epochs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sim_broadcast.h"
#include "sim_board_records.h"
#include "sim_lnav.h"
#include "sim_native.h"
#include "sim_sbas.h"
#include "sim_sky.h"
#include "sim_solution.h"

namespace {

const char kUsage[] =
    "usage: gnss_board_sim [options]\n"
    "  --dir PATH            run directory (default .)\n"
    "  --socket REL          socket inside it (default dev/shm/a)\n"
    "  --rate HZ             epochs per second: 1, 2, 4, 5, 10 or 20 (default 1)\n"
    "  --start now|YYYY-MM-DDTHH:MM:SS   UTC of the first epoch streamed (default now)\n"
    "  --issue N             settings issue at start (default 0)\n"
    "  --keep-state          keep issue and settings when the program reconnects\n"
    "  --use-nt 0|1          the start-up record (\"@@once\") says the alternative clock is in use\n"
    "                        (default 1)\n"
    "  --log PATH            record of received lines (default gnss_board_sim.log in --dir)\n"
    "  --transcript PATH     every byte received, as received\n"
    "  --relay PREFIX        also listen on the relay links dev/shm/d..h; the bytes each one\n"
    "                        receives go to PREFIX followed by its letter (PREFIX, letter and\n"
    "                        \".up\" is made when the program connects)\n"
    "  --relay-rate B        the relay links take at most B bytes a second each, as a board busy\n"
    "                        with its own work would (default: all there is, every 10 ms)\n"
    "  --sbas FILE           also stream the SBAS L1 messages of an SBAS message log (week, time of\n"
    "                        week, PRN, type, \":\", the message in hex; one a line) as WD records,\n"
    "                        each in the epoch of its GPS second\n"
    "  --sbas-geo PRN        a GEO of the simulator's own (120..147) over the site's meridian: each\n"
    "                        whole second one L1 message (MT1-7, 9, 12, 17, 25 with GLONASS slots,\n"
    "                        27) and one L5 DFMC message (MT31, 32, 34-37) as WD records (kind 0, 1)\n"
    "  --sbas-test-after S   from S s after the first epoch on, that GEO is in test mode: every\n"
    "                        fourth message is an empty MT0\n"
    "  --qzss-l5s PRN        with --sbas-geo: QZSS PRN 183..189 also sends that GEO's DFMC mask,\n"
    "                        corrections and degradation as QZSS L5S messages (WD, kind 1)\n"
    "  --replay FILE         stream the epochs of a recorded native stream instead, one a period\n"
    "                        (an epoch runs from one \"~~\" message to the next), then nothing\n"
    "  --nav FILE            broadcast the GPS ephemerides of a RINEX 2 navigation file as LNAV\n"
    "                        subframes 1-3 in \"gd\" messages, each when it would be complete;\n"
    "                        with --start now the stream starts once every GPS satellite has one.\n"
    "                        A RINEX 4 file (.gz read through gzip) broadcasts every system and\n"
    "                        message type it holds: GPS and QZSS LNAV, CNAV, CNAV-2 (\"gd\", \"qd\"),\n"
    "                        GLONASS FDMA and L3 strings 1-5 (\"lD\"), Galileo I/NAV and F/NAV\n"
    "                        (\"ED\"), BeiDou D1, D2, B1C, B2a, B2b (\"cd\"), NavIC L5 (\"id\"),\n"
    "                        QZSS LEX (\"xd\")\n"
    "  --leap-second DATE    a leap second at the end of UTC day DATE (YYYY-MM-DD): the board's time\n"
    "                        scales name its moment from 6 h before to 6 h after and count UTC (and\n"
    "                        GLONASS time) 19 s behind GPS time from it on, so that 23:59:59 comes\n"
    "                        twice; with a RINEX 4 --nav every system's UTC parameters announce it,\n"
    "                        one more than the file's, and GLONASS FDMA string 14 and L3 string 2\n"
    "                        set KP to 01\n"
    "  --offset-change Y:S:NS  with a RINEX 4 --nav: from S s after the first epoch on, system Y's\n"
    "                        offset to GPS time is NS ns larger under the same issue: E Galileo's\n"
    "                        A0G (I/NAV word 10, F/NAV page 4; -900..900 ns), R GLONASS's tauGPS\n"
    "                        (FDMA string 5, L3 string 1; -1e6..1e6 ns)\n"
    "  --glo-l3-ts-skip      with a RINEX 4 --nav: every GLONASS L3 string 2 names the TS after its\n"
    "                        own, so that it never follows its string 1\n"
    "  --glo-nt0-after S     with a RINEX 4 --nav: from the first GLONASS frame that starts S s after\n"
    "                        the first epoch on, string 4 carries the day number NT as 0\n"
    "  --glo-age D           with a RINEX 4 --nav: GLONASS string 4 gives the data's age En as D days\n"
    "                        (0..31) instead of the file's\n"
    "  --sky                 with --nav: stream what the site (--site) measures of the file's\n"
    "                        satellites above 10 degrees (GPS L1 C/A and L2 P; from a RINEX 4 file\n"
    "                        also GLONASS G1 and G2, Galileo E1 and E5a, BeiDou B1I, B2, B3I) in the\n"
    "                        satellite-data, channel-state and signal-measurement records (\"@@sd\",\n"
    "                        \"@@c1\", \"@@c2\"), and the board's solution at the site with a perfect\n"
    "                        clock (\"@@sa\"); Dopplers have the sign of the range rate\n"
    "  --sky-truth PATH      the values of every signal streamed, one line each (GPS second of\n"
    "                        week, satellite: a GPS PRN, else R07, E11, C23..., slot, code m,\n"
    "                        phase cycles, Doppler Hz, C/N0 dB-Hz)\n"
    "  --flip-nav-after S    from S s after the first epoch on, every subframe 2 carries one\n"
    "                        flipped data bit (its parity no longer holds)\n"
    "  --gps-config P:C,...  with --nav: the configuration code C (IS-GPS-200 20.3.3.5.1.4, 0..15)\n"
    "                        of GPS PRN P in the LNAV almanac's configuration page (default: 10,\n"
    "                        anti-spoofing and L2C, for a satellite with CNAV records, else 9)\n"
    "  --exclude PRN         with --sky: the board's solution leaves GPS PRN out (state 22 in its\n"
    "                        satellite-data entry, not in the solution's geometry)\n"
    "  --almanac-only PRN    with --nav: GPS PRN sends no ephemeris (no LNAV subframes 1-3, no CNAV\n"
    "                        or CNAV-2), while the almanac pages still carry it and the sky measures it\n"
    "  --ghost A:B           with --nav: while both are in view, PRN B's subframes are those of\n"
    "                        PRN A (a channel locked to A's signal under B's number)\n"
    "  --ghost-first         with --ghost: B's subframes go out ahead of every other satellite's\n"
    "                        (else in PRN order)\n"
    "  --site LAT,LON,H      the antenna (degrees, degrees, m): only satellites above its horizon\n"
    "                        are broadcast (default 50,10,300)\n"
    "  --event-file PATH     when PATH exists, the next epoch carries one event record of\n"
    "                        input a (time 12 s 345 ms, lock byte 1) and PATH is removed\n"
    "  --drop-file PATH      with --sky: when PATH exists, the GPS PRN it holds loses its L1 C/A\n"
    "                        signal from the next epoch on (the measurement records and the sky\n"
    "                        truth leave it out; its channel keeps the other signals); PATH is\n"
    "                        removed\n"
    "  --lose-fix-file PATH  with --sky: when PATH exists, the board's solution is sent as not valid\n"
    "                        for the whole seconds it holds, from the next epoch on; PATH is removed\n"
    "  --trst                the L-band service-state record (\"@@trst\", type 13) when enabled: three\n"
    "                        beams, AORW in use\n"
    "  --trst-bad-slot       the same with slot 20 in its ordered list\n"
    "  --hwcalib             the hardware-calibration tables of the four GLONASS signals (\"gC\")\n"
    "                        every whole second while enabled\n"
    "  --iono                with --sky: an ionosphere in every code and phase (a thin shell whose\n"
    "                        vertical delay is a plane over latitude and longitude), which the\n"
    "                        BeiDou GEOs' ionosphere grid describes\n"
    "  --lband-chan N        with --sky: channel 90 tracks the L-band beam of 1545.825 MHz + 500 Hz x N\n"
    "  --sol-scatter M       with --sky: the board's solution M m north of the site in even GPS\n"
    "                        seconds, M m south with three times the standard deviations in odd ones\n"
    "  --sol-sigma N,E,U,C[:N,E,U,C]\n"
    "                        with --sky: the solution's standard deviations north, east, up (m) and\n"
    "                        north-east covariance (m^2) in even GPS seconds, the second set (default\n"
    "                        the first) in odd ones, in place of those of the geometry\n"
    "  --rel-pos VX,VY,VZ    with --sky: the solution carries the relative position of a base that\n"
    "                        moves at VX, VY, VZ m/s (Earth-centred axes)\n"
    "  --rel-rate-invalid    with --rel-pos: the relative position's rate block is marked not valid\n"
    "  --rtk-state N         the state of the board's RTK solution (\"@@sr\"), 1..6 (default 2)\n"
    "  --board-records       every whole second the satellites of the board's solution (\"Rm\")\n"
    "                        and its reference block (\"Ri\"), which the board sends unasked,\n"
    "                        and those of its other records the program enabled: \"Rb\", \"Sp\",\n"
    "                        \"sj\", \"IQ\", \"DL\", \"g1\"-\"g3\", \"gR\" and the PPS record (\"@@sp\")\n"
    "  faults: --silence-after S, --garbage, --flip-checksum N (every Nth epoch),\n"
    "          --mismatch-times N (every Nth epoch), --abandon N (every Nth epoch ends abandoned, \"||\"),\n"
    "          --hold-end N:FILE (every Nth epoch's \"::\" waits until FILE exists, which it then removes;\n"
    "          no epoch streams meanwhile)\n";

struct Options {
  std::string dir = ".";
  std::string socket = "dev/shm/a";
  int rate = 1;
  std::string start = "now";
  long issue = 0;
  bool keepState = false;
  bool useNt = true;
  std::string log;
  std::string transcript;
  std::string relay;
  long relayRate = 0;  // bytes a second each relay link takes; 0: no limit
  long silenceAfter = -1;
  bool garbage = false;
  long flipEvery = 0;
  long mismatchEvery = 0;
  long abandonEvery = 0;
  long holdEvery = 0;  // every Nth epoch's end is held back until holdFile exists
  std::string holdFile;
  std::string replay;
  std::string nav;
  bool sky = false;
  std::string skyTruth;
  long flipNavAfter = -1;
  bool gloL3TsSkip = false;
  long gloNt0After = -1;  // s after the first epoch from which GLONASS string 4 has NT = 0
  int gloAge = -1;        // En of GLONASS string 4 (days), -1: the file's
  char offsetSys = 0;  // --offset-change: after offsetAfter s this system's offset to GPS time
  long offsetAfter = 0;  // is offsetNs larger
  double offsetNs = 0;
  int leapWeek = -1, leapDn = 0;  // --leap-second: GPS week and day (1-7) at whose end it falls
  std::int64_t leapAt = -1;        // and the GPS second its 23:59:60 begins
  int ghostOf = 0, ghostAs = 0;  // PRN ghostAs broadcasts PRN ghostOf's subframes
  bool ghostFirst = false;       // ahead of the others in each epoch
  int almanacOnly = 0;           // GPS PRN whose ephemeris is never broadcast
  int excluded = 0;              // GPS PRN the board's solution leaves out
  std::vector<std::pair<int, int>> gpsConfig;  // PRN, LNAV configuration code
  sim::Site site;
  std::string sbas;
  int sbasGeo = 0;
  long sbasTestAfter = -1;
  int qzssL5s = 0;
  std::string eventFile;
  std::string dropFile;  // names the GPS PRN whose L1 C/A signal is lost from then on
  std::string loseFixFile;  // holds for how many seconds the solution is not valid from then on
  int trst = 0;  // L-band service-state record each second: 1 three beams, 2 with slot 20 in the list
  bool hwCalib = false;
  bool boardRecords = false;
  int rtkState = 2;  // of the RTK solution record
  bool iono = false;
  int lbandChan = 0;
  double solScatter = 0;
  bool solSigma = false;
  double solSigmaSets[2][4] = {};
  bool relPos = false;
  bool relRateValid = true;
  double relVel[3] = {};
};

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

std::int64_t monoMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool parseStart(const std::string& s, std::int64_t* utc) {
  if (s == "now") {
    *utc = static_cast<std::int64_t>(std::time(nullptr));
    return true;
  }
  std::tm tm{};
  const char* end = strptime(s.c_str(), "%Y-%m-%dT%H:%M:%S", &tm);
  if (!end || *end) return false;
  *utc = static_cast<std::int64_t>(timegm(&tm));
  return *utc >= 946684800;  // the time scales count from 2000 on
}

bool isIdChar(unsigned char c) { return c >= '0' && c <= '~'; }
int hexVal(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits at commas outside braces.
std::vector<std::string> splitTop(const std::string& s) {
  std::vector<std::string> out;
  std::string cur;
  int depth = 0;
  for (char c : s) {
    if (c == '{') ++depth;
    if (c == '}' && depth > 0) --depth;
    if (c == ',' && depth == 0) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

// "period" in seconds into ms; -1 when not a number.
long periodMs(const std::string& s) {
  if (s.empty()) return -1;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (*end || !(v >= 0 && v <= 86400)) return -1;  // NaN fails both comparisons
  return static_cast<long>(v * 1000 + 0.5);
}

class Board {
 public:
  explicit Board(const Options& o) : o_(o), issue_(o.issue) {}

  void openLog(const std::string& path) { log_ = std::fopen(path.c_str(), "a"); }
  void openTranscript(const std::string& path) { transcript_ = std::fopen(path.c_str(), "ab"); }

  void connected() {
    record("* connected");
    in_.clear();
    mode_ = "cmd";
    connectedAt_ = monoMs();
    bool again = everConnected_;
    everConnected_ = true;
    if (again && !o_.keepState) {
      // The board restarts with the program: its settings and message set are gone.
      issue_ = 0;
      settings_.clear();
      enabled_.clear();
      record("* board reset");
    }
  }

  // An epoch's end held back (--hold-end): sent, and the epochs go on, once its file appears.
  bool holding() {
    if (held_.empty()) return false;
    if (unlink(o_.holdFile.c_str()) != 0) return true;
    out += held_;
    held_.clear();
    record("* epoch end released");
    return false;
  }
  bool silent() const { return o_.silenceAfter >= 0 && monoMs() - connectedAt_ >= o_.silenceAfter * 1000; }

  void feed(const char* data, std::size_t n) {
    if (transcript_) {
      std::fwrite(data, 1, n, transcript_);
      std::fflush(transcript_);
    }
    in_.append(data, n);
    std::size_t pos = 0;
    while (pos < in_.size()) {
      unsigned char c = static_cast<unsigned char>(in_[pos]);
      if (mode_ != "zrt" || c == '!') {
        std::size_t eol = in_.find_first_of("\r\n", pos);
        if (eol == std::string::npos) {
          if (in_.size() - pos > 8192) eol = in_.size();  // a line without end: take it
          else break;
        }
        std::string line = in_.substr(pos, eol - pos);
        pos = eol < in_.size() ? eol + 1 : eol;
        if (!line.empty() && line[0] == '!') line.erase(0, 1);
        if (!line.empty()) command(line);
        continue;
      }
      if (c == '\r' || c == '\n') {
        ++pos;
        continue;
      }
      // In native mode, messages sent to the board are skipped by their length.
      if (isIdChar(c)) {
        if (in_.size() - pos < 5) break;
        int h0 = hexVal(static_cast<unsigned char>(in_[pos + 2]));
        int h1 = hexVal(static_cast<unsigned char>(in_[pos + 3]));
        int h2 = hexVal(static_cast<unsigned char>(in_[pos + 4]));
        if (isIdChar(static_cast<unsigned char>(in_[pos + 1])) && h0 >= 0 && h1 >= 0 && h2 >= 0) {
          std::size_t len = static_cast<std::size_t>(h0 * 256 + h1 * 16 + h2);
          if (in_.size() - pos < 5 + len) break;
          record("< native " + in_.substr(pos, 2) + " " + std::to_string(len));
          pos += 5 + len;
          continue;
        }
      }
      ++pos;
    }
    in_.erase(0, pos);
  }

  bool streaming() const {
    return enabled_.count("RT") || enabled_.count("@@ts") || enabled_.count("ET");
  }

  // Bytes waiting to go to the program.
  std::string out;

  // Reads an SBAS message log; false when it holds no message.
  bool loadSbas(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    char hex[128];
    int week = 0, tow = 0, prn = 0, type = 0;
    while (std::fscanf(f, "%d %d %d %d : %127s", &week, &tow, &prn, &type, hex) == 5) {
      std::string msg(32, '\0');
      for (std::size_t i = 0; i < 32 && hex[2 * i] != '\0' && hex[2 * i + 1] != '\0'; ++i)
        msg[i] = static_cast<char>(hexVal(static_cast<unsigned char>(hex[2 * i])) * 16 +
                                   hexVal(static_cast<unsigned char>(hex[2 * i + 1])));
      sbas_.push_back({tow, prn, msg});
    }
    std::fclose(f);
    return !sbas_.empty();
  }

  // Cuts a recorded stream into its epochs; false when it holds none.
  bool loadReplay(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string bytes;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
    std::fclose(f);
    std::vector<std::size_t> starts;
    for (std::size_t p = bytes.find("~~"); p != std::string::npos; p = bytes.find("~~", p + 1)) {
      if (p + 5 <= bytes.size() && hexVal(static_cast<unsigned char>(bytes[p + 2])) >= 0 &&
          hexVal(static_cast<unsigned char>(bytes[p + 3])) >= 0 && hexVal(static_cast<unsigned char>(bytes[p + 4])) >= 0)
        starts.push_back(p);
    }
    for (std::size_t i = 0; i < starts.size(); ++i)
      replay_.push_back(bytes.substr(starts[i], (i + 1 < starts.size() ? starts[i + 1] : bytes.size()) - starts[i]));
    return !replay_.empty();
  }

  // Appends the epoch at GPS second `gps` + `ms` when its messages are enabled.
  void epoch(std::int64_t gps, int ms, long k, std::uint32_t uptime, std::mt19937& rng) {
    if (!replay_.empty()) {
      // The recording as it stands, whatever the program enabled.
      if (k < static_cast<long>(replay_.size())) out += replay_[static_cast<std::size_t>(k)];
      if (k + 1 == static_cast<long>(replay_.size())) record("* replay done");
      return;
    }
    sim::TimeScales ts = sim::gpsTimeScales(gps, ms, o_.leapAt);
    std::uint32_t t = sim::epochTime(ts);
    std::string e;
    if (due("RT", t)) {
      std::string body;
      sim::putLe(body, t, 4);
      std::string f = sim::frame("~~", body, true);
      if (o_.flipEvery > 0 && (k + 1) % o_.flipEvery == 0) f.back() = static_cast<char>(~f.back());
      e += f;
    }
    if (o_.garbage) e += junk(rng);
    if (due("@@ts", t)) e += sim::rawRecord(8, sim::timeScaleRecord(ts, uptime));
    if (o_.garbage) e += junk(rng);
    if (due("@@pa", t)) e += sim::rawRecord(1, sim::powerRecord());
    if (due("@@sr", t)) {
      double rover[3];
      o_.site.ecef(rover);
      e += sim::rawRecord(5, sim::rtkRecord(t, rover, o_.site.lat, o_.site.lon, o_.rtkState));
    }
    if (loadReset_) loadFrom_ = uptime, loadReset_ = false;
    if (due("@@ld", t)) e += sim::rawRecord(15, sim::taskLoadRecord(uptime - loadFrom_));
    // An event on input a, once per request: index, then {u32 s, u32 ms, u8, lock u8}.
    if (!o_.eventFile.empty() && unlink(o_.eventFile.c_str()) == 0) {
      std::string body(1, '\0');
      sim::putLe(body, 12, 4);
      sim::putLe(body, 345, 4);
      body += '\0';
      body += '\1';
      e += sim::rawRecord(14, body);
      record("* event sent");
    }
    if (o_.trst != 0 && due("@@trst", t)) e += sim::rawRecord(13, sim::trstRecord(o_.trst == 2));
    if (o_.hwCalib && ms == 0 && due("gC", t))
      for (int signal = 0; signal < 4; ++signal) e += sim::hwCalibMessage(signal);
    if (o_.boardRecords && ms == 0) {
      const std::vector<sim::SkySat> sats = sky_ ? sky_->at(ts.gpsTotalMs / 1000, 0) : std::vector<sim::SkySat>{};
      e += enabledOnly(sim::boardRecords(t, sats, o_.site), t) + sim::rmMessage(sats) + sim::riMessage();
      if (due("@@sp", t)) e += sim::rawRecord(6, sim::ppsRecord(t));
    }
    // Repeated until the program switches it off.
    if (due("@@once", t)) e += sim::rawRecord(16, sim::onceRecord(o_.useNt));
    // The logged SBAS messages of this GPS second, as the board hands them on.
    for (const SbasLine& m : sbas_) {
      if (ms != 0 || m.tow != ts.gpsMsOfWeek / 1000) continue;
      e += sim::wdMessage(m.prn, t, 0, m.msg);
    }
    if (o_.sbasGeo != 0 && ms == 0) {
      const std::int64_t gpsSec = ts.gpsTotalMs / 1000;
      if (geo_.prn == 0) {
        geo_ = sim::SbasGeo{o_.sbasGeo, o_.site.lon};
        if (o_.sbasTestAfter >= 0) geo_.mt0From = gpsSec + o_.sbasTestAfter;
      }
      e += sim::wdMessage(geo_.prn, t, 0, sim::sbasL1Of(geo_, gpsSec, o_.site.lat));
      e += sim::wdMessage(geo_.prn, t, 1, sim::sbasL5Of(geo_, gpsSec));
      if (o_.qzssL5s != 0) e += sim::wdMessage(o_.qzssL5s, t, 1, sim::qzssL5sOf(geo_, gpsSec));
    }
    // A subframe every 6 s, as broadcast.
    if (due("gd", t) && t % 6000 == 0) {
      if (nav_.empty() && multi_.empty()) e += sim::gdMessage(4, t, sim::kLnavSf1Prn4, 10);
      else e += navSubframes(ts, t, k);
    }
    // The other systems and message types of a RINEX 4 file, each message as it is enabled.
    if (!multi_.empty() && ms == 0) e += enabledOnly(multi_.epoch(ts.gpsTotalMs / 1000, t, o_.site), t);
    if (sky_ && (due("@@sa", t) || due("@@sd", t) || due("@@c1", t) || due("@@c2", t))) {
      std::vector<sim::SkySat> sats = sky_->at(ts.gpsTotalMs / 1000, static_cast<int>(ts.gpsTotalMs % 1000));
      std::vector<sim::SkySat> used;
      for (sim::SkySat& s : sats) {
        s.excluded = s.sys == 'G' && s.prn == o_.excluded;
        if (!s.excluded) used.push_back(s);
      }
      if (due("@@sa", t)) {
        sim::SolOptions so;
        so.scatter = o_.solScatter;
        so.gpsSec = ts.gpsTotalMs / 1000;
        so.sigmaGiven = o_.solSigma;
        std::memcpy(so.sigma, o_.solSigmaSets, sizeof so.sigma);
        so.relPos = o_.relPos;
        so.relRateValid = o_.relRateValid;
        for (int i = 0; i < 3; ++i) so.relVel[i] = o_.relVel[i];
        so.relSeconds = static_cast<double>(k) / o_.rate;
        so.gpsMsOfWeek = static_cast<std::uint32_t>(ts.gpsMsOfWeek);
        takeFixLoss(ts.gpsTotalMs);
        so.lost = ts.gpsTotalMs < fixBackMs_;
        e += sim::solAlnRecord(o_.site, used, so);
      }
      // The L-band beam's channel (the last of the antenna's 91) beside the satellites.
      std::vector<sim::SkySat> chans = sats;
      takeDrop();
      for (sim::SkySat& s : sats)
        if (s.sys == 'G' && dropped_.contains(s.prn))
          std::erase_if(s.sig, [](const sim::SkySignal& g) { return g.slot == 0; });
      if (o_.lbandChan > 0) chans.push_back(sim::SkySat{o_.lbandChan, 90, 0.0, {}, 'L'});
      if (due("@@sd", t)) e += sim::satDataRecord(chans);
      if (due("@@c1", t)) e += sim::chanStatesRecord(chans);
      if (due("@@c2", t)) e += sim::sigMeasRecord(sats);
      if (truth_) {
        const std::string lines = sim::truthLines(static_cast<double>(ts.gpsMsOfWeek) * 0.001, sats);
        std::fputs(lines.c_str(), truth_);
        std::fflush(truth_);
      }
    }
    if (due("ET", t)) {
      std::uint32_t te = (o_.mismatchEvery > 0 && (k + 1) % o_.mismatchEvery == 0) ? t + 1 : t;
      std::string body;
      sim::putLe(body, te, 4);
      const bool abandoned = o_.abandonEvery > 0 && (k + 1) % o_.abandonEvery == 0;
      if (o_.holdEvery > 0 && (k + 1) % o_.holdEvery == 0) {
        held_ = sim::frame(abandoned ? "||" : "::", body, true);
        record("* epoch end held " + std::to_string(t));
      } else {
        e += sim::frame(abandoned ? "||" : "::", body, true);
      }
    }
    if (out.size() < (1u << 18)) out += e;  // a reader that stopped reading loses epochs
  }

 private:
  void record(const std::string& s) {
    if (!log_) return;
    std::fprintf(log_, "%s\n", s.c_str());
    std::fflush(log_);
  }

  bool due(const std::string& name, std::uint32_t t) const {
    auto it = enabled_.find(name);
    if (it == enabled_.end()) return false;
    return it->second == 0 || t % static_cast<std::uint32_t>(it->second) == 0;
  }

  static std::string junk(std::mt19937& rng) {
    std::string s;
    int n = 1 + static_cast<int>(rng() % 16);
    for (int i = 0; i < n; ++i) s += static_cast<char>(rng() % 256);
    return s;
  }

  // The messages of `msgs` whose identifier is enabled now.
  std::string enabledOnly(const std::string& msgs, std::uint32_t t) const {
    std::string out;
    for (std::size_t p = 0; p + 5 <= msgs.size();) {
      const std::size_t len = static_cast<std::size_t>(hexVal(static_cast<unsigned char>(msgs[p + 2])) * 256 +
                                                       hexVal(static_cast<unsigned char>(msgs[p + 3])) * 16 +
                                                       hexVal(static_cast<unsigned char>(msgs[p + 4])));
      if (due(msgs.substr(p, 2), t)) out += msgs.substr(p, 5 + len);
      p += 5 + len;
    }
    return out;
  }

  // The subframe that ended at this epoch, of every satellite with an ephemeris.
  std::string navSubframes(const sim::TimeScales& ts, std::uint32_t t, long k) const {
    const std::int64_t end = ts.gpsTotalMs / 1000;
    const std::int64_t start = end - 6;
    const int id = static_cast<int>((start / 6) % 5) + 1;
    const auto towCount = static_cast<std::uint32_t>((end % 604800) / 6);
    if (id > 3) {
      // Subframes 4 and 5: the almanac pages, the same from every satellite in view.
      std::uint32_t w[10];
      nav_.almanacSubframe(start, id, towCount).words(w);
      std::string out;
      for (const sim::LnavEph* r : nav_.visible(start - start % 30, o_.site)) out += sim::gdMessage(r->prn, t, w, 10);
      return out;
    }
    const bool flip = id == 2 && o_.flipNavAfter >= 0 && k * 1000 / o_.rate >= o_.flipNavAfter * 1000;
    std::string out;
    // A new data set begins with a frame: every subframe of a frame is of the same one.
    const std::vector<const sim::LnavEph*> inView = nav_.visible(start - start % 30, o_.site);
    const sim::LnavEph* ghostOf = nullptr;
    for (const sim::LnavEph* r : inView)
      if (r->prn == o_.ghostOf) ghostOf = r;
    for (const sim::LnavEph* r : inView) {
      if (r->prn == o_.almanacOnly) continue;
      const sim::LnavEph* src = r->prn == o_.ghostAs && ghostOf != nullptr ? ghostOf : r;
      sim::Subframe s = sim::lnavSubframe(*src, id, towCount);
      if (flip) s.flip(250);  // a bit of the square root of A
      std::uint32_t w[10];
      s.words(w);
      const std::string m = sim::gdMessage(r->prn, t, w, 10);
      out = src != r && o_.ghostFirst ? m + out : out + m;
    }
    return out;
  }

  void answer(const std::string& id, int code, const char* text, const std::string& printed) {
    if (code == 0) {
      if (!id.empty() || !printed.empty()) out += sim::reply("RE", id + printed);
      return;
    }
    out += sim::reply("ER", (id.empty() ? "%%" : id) + "{" + std::to_string(code) + "," + text + "}");
  }

  // "group/name[:p]" or "group/{a[:p],b[:p]}[:p]": names with their periods in ms.
  static bool parseList(std::string spec, std::vector<std::pair<std::string, long>>* items,
                        bool* wholeGroup) {
    *wholeGroup = false;
    if (spec.rfind("/msg/", 0) == 0) spec.erase(0, 5);
    else if (!spec.empty() && spec[0] == '/') spec.erase(0, 1);
    std::size_t slash = spec.find('/');
    if (slash == std::string::npos) {
      *wholeGroup = !spec.empty();
      return *wholeGroup;
    }
    std::string rest = spec.substr(slash + 1);
    long listPeriod = -1;
    std::vector<std::string> names;
    if (!rest.empty() && rest[0] == '{') {
      std::size_t close = rest.find('}');
      if (close == std::string::npos) return false;
      std::string after = rest.substr(close + 1);
      if (!after.empty()) {
        if (after[0] != ':' || (listPeriod = periodMs(after.substr(1))) < 0) return false;
      }
      names = splitTop(rest.substr(1, close - 1));
    } else {
      names.push_back(rest);
    }
    for (const auto& n : names) {
      std::size_t colon = n.find(':');
      long p = listPeriod < 0 ? 1000 : listPeriod;
      if (colon != std::string::npos && (p = periodMs(n.substr(colon + 1))) < 0) return false;
      std::string name = n.substr(0, colon);
      if (name.empty()) return false;
      items->emplace_back(name, p);
    }
    return true;
  }

  void command(std::string line) {
    record("< " + line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    std::string id;
    if (!line.empty() && line[0] == '%') {
      std::size_t q = line.find('%', 1);
      if (q != std::string::npos) {
        id = line.substr(0, q + 1);
        line.erase(0, q + 1);
      }
    }
    if (line.empty()) {
      if (!id.empty()) out += sim::reply("RE", id);
      return;
    }
    std::vector<std::string> args = splitTop(line);
    const std::string& verb = args[0];
    auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
    auto path = [&](std::string p) {
      if (p.rfind("/par/", 0) == 0) p.erase(0, 5);
      return p;
    };
    if (verb == "print" || verb == "get") {
      std::string p = path(arg(1));
      if (p == "cmd/set/issue") return answer(id, 0, "", std::to_string(issue_));
      auto it = settings_.find(p);
      if (it == settings_.end()) return answer(id, 3, ",wrong 1st parameter", "");
      return answer(id, 0, "", it->second);
    }
    if (verb == "set") {
      std::string p = path(arg(1));
      std::string v = line.substr(std::min(line.size(), verb.size() + 1 + arg(1).size() + 1));
      if (p.empty()) return answer(id, 4, ",1st parameter missed", "");
      if (p == "cmd/set/issue") {
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end) return answer(id, 5, ",value out of range", "");
        issue_ = n;
      } else if (p == "cur/term/imode") {
        if (v != "zrt" && v != "cmd") return answer(id, 7, ",wrong 2nd parameter", "");
        mode_ = v;
      } else if (p == "load") {
        // The profiler reset: the task counters start again from the next epoch.
        if (v != "0") return answer(id, 5, ",value out of range", "");
        loadReset_ = true;
      } else {
        settings_[p] = v;
      }
      return answer(id, 0, "", "");
    }
    if (verb == "em" || verb == "dm") {
      std::string spec = line.substr(std::min(line.size(), verb.size() + 1 + arg(1).size() + 1));
      if (verb == "dm" && spec.empty()) {
        enabled_.clear();
        return answer(id, 0, "", "");
      }
      std::vector<std::pair<std::string, long>> items;
      bool whole = false;
      if (!parseList(spec, &items, &whole) || (whole && verb == "em")) {
        return answer(id, 7, ",wrong 2nd parameter", "");
      }
      if (whole) enabled_.clear();
      for (const auto& it : items) {
        if (verb == "em") enabled_[it.first] = it.second;
        else enabled_.erase(it.first);
      }
      return answer(id, 0, "", "");
    }
    if (verb == "init") {
      settings_.clear();
      return answer(id, 0, "", "");
    }
    answer(id, 1, ",wrong command", "");
  }

  // The number a test's trigger file holds, once: the file is removed when read, and left for the
  // next epoch while it holds no number yet (still being written).
  static bool takeNumber(const std::string& path, int& n) {
    if (path.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr) return false;
    const bool read = std::fscanf(f, "%d", &n) == 1;
    std::fclose(f);
    if (read) unlink(path.c_str());
    return read;
  }

  // A PRN named in --drop-file, once.
  void takeDrop() {
    int prn = 0;
    if (!takeNumber(o_.dropFile, prn)) return;
    if (prn > 0) dropped_.insert(prn);
    record("* dropped L1 of G" + std::to_string(prn));
  }

  // A loss of the fix named in --lose-fix-file, once.
  void takeFixLoss(std::int64_t gpsMs) {
    int s = 0;
    if (!takeNumber(o_.loseFixFile, s)) return;
    fixBackMs_ = gpsMs + 1000LL * std::max(s, 0);
    record("* fix lost for " + std::to_string(s) + " s");
  }

  const Options& o_;
  std::int64_t fixBackMs_ = 0;  // GPS ms from which the solution is valid again
  std::set<int> dropped_;  // GPS PRNs without their L1 C/A signal
  long issue_;
  std::string mode_ = "cmd";
  std::string in_;
  std::map<std::string, std::string> settings_;
  std::map<std::string, long> enabled_;  // message -> period in ms (0: every epoch)
  std::uint32_t loadFrom_ = 0;  // uptime of the last profiler reset
  bool loadReset_ = false;
  std::vector<std::string> replay_;  // epochs of --replay
  struct SbasLine {
    int tow, prn;
    std::string msg;
  };
  std::vector<SbasLine> sbas_;  // messages of --sbas
  sim::SbasGeo geo_;            // --sbas-geo, placed at the first epoch
 public:
  sim::LnavBroadcast nav_;           // GPS LNAV ephemerides of --nav
  sim::MultiBroadcast multi_;        // the rest of a RINEX 4 --nav file
  // The synthetic constellation of --sky over nav_ (and multi_), and where its truth goes.
  void startSky(const std::string& truthPath) {
    sky_ = std::make_unique<sim::Sky>(nav_, multi_.empty() ? nullptr : &multi_, o_.site);
    sky_->setIono(o_.iono);
    multi_.iono = o_.iono;
    if (!truthPath.empty()) truth_ = std::fopen(truthPath.c_str(), "w");
  }
 private:
  std::unique_ptr<sim::Sky> sky_;
  std::string held_;  // the end of the epoch held back
  std::FILE* truth_ = nullptr;
  std::FILE* log_ = nullptr;
  std::FILE* transcript_ = nullptr;
  std::int64_t connectedAt_ = 0;
  bool everConnected_ = false;
};

bool parseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= argc) return false;
      *v = argv[++i];
      return true;
    };
    auto number = [&](long* n) {
      std::string v;
      if (!value(&v)) return false;
      char* end = nullptr;
      *n = std::strtol(v.c_str(), &end, 10);
      return !v.empty() && !*end && *n >= 0;
    };
    long n = 0;
    if (a == "--dir") {
      if (!value(&o->dir)) return false;
    } else if (a == "--socket") {
      if (!value(&o->socket)) return false;
    } else if (a == "--rate") {
      if (!number(&n) || (n != 1 && n != 2 && n != 4 && n != 5 && n != 10 && n != 20)) return false;
      o->rate = static_cast<int>(n);
    } else if (a == "--start") {
      if (!value(&o->start)) return false;
    } else if (a == "--issue") {
      if (!number(&o->issue)) return false;
    } else if (a == "--keep-state") {
      o->keepState = true;
    } else if (a == "--use-nt") {
      if (!number(&n) || (n != 0 && n != 1)) return false;
      o->useNt = n == 1;
    } else if (a == "--log") {
      if (!value(&o->log)) return false;
    } else if (a == "--transcript") {
      if (!value(&o->transcript)) return false;
    } else if (a == "--relay") {
      if (!value(&o->relay)) return false;
    } else if (a == "--relay-rate") {
      if (!number(&o->relayRate) || o->relayRate <= 0) return false;
    } else if (a == "--silence-after") {
      if (!number(&o->silenceAfter)) return false;
    } else if (a == "--sbas") {
      if (!value(&o->sbas)) return false;
    } else if (a == "--sbas-geo") {
      if (!number(&n) || n < 120 || n > 147) return false;
      o->sbasGeo = static_cast<int>(n);
    } else if (a == "--sbas-test-after") {
      if (!number(&o->sbasTestAfter) || o->sbasTestAfter < 0) return false;
    } else if (a == "--qzss-l5s") {
      if (!number(&n) || n < 183 || n > 189) return false;
      o->qzssL5s = static_cast<int>(n);
    } else if (a == "--replay") {
      if (!value(&o->replay)) return false;
    } else if (a == "--nav") {
      if (!value(&o->nav)) return false;
    } else if (a == "--sky") {
      o->sky = true;
    } else if (a == "--sky-truth") {
      if (!value(&o->skyTruth)) return false;
    } else if (a == "--offset-change") {
      std::string v;
      if (!value(&v) || std::sscanf(v.c_str(), "%c:%ld:%lf", &o->offsetSys, &o->offsetAfter, &o->offsetNs) != 3 ||
          o->offsetAfter < 0 || !(std::fabs(o->offsetNs) <= (o->offsetSys == 'E' ? 900 : 1e6)) ||
          (o->offsetSys != 'E' && o->offsetSys != 'R'))
        return false;
    } else if (a == "--glo-l3-ts-skip") {
      o->gloL3TsSkip = true;
    } else if (a == "--glo-age") {
      if (!number(&n) || n > 31) return false;
      o->gloAge = static_cast<int>(n);
    } else if (a == "--glo-nt0-after") {
      if (!number(&o->gloNt0After) || o->gloNt0After < 0) return false;
    } else if (a == "--leap-second") {
      std::string v;
      std::tm day{};
      if (!value(&v) || std::sscanf(v.c_str(), "%d-%d-%d", &day.tm_year, &day.tm_mon, &day.tm_mday) != 3) return false;
      day.tm_year -= 1900, day.tm_mon -= 1;
      const std::int64_t days = (static_cast<std::int64_t>(timegm(&day)) - 315964800) / 86400;  // since 6 January 1980
      if (days < 0) return false;
      o->leapWeek = static_cast<int>(days / 7), o->leapDn = static_cast<int>(days % 7) + 1;
      o->leapAt = (days + 1) * 86400 + sim::kGpsUtcLeap;
    } else if (a == "--flip-nav-after") {
      if (!number(&o->flipNavAfter)) return false;
    } else if (a == "--ghost") {
      std::string v;
      if (!value(&v) || std::sscanf(v.c_str(), "%d:%d", &o->ghostOf, &o->ghostAs) != 2 || o->ghostOf < 1 ||
          o->ghostOf > 32 || o->ghostAs < 1 || o->ghostAs > 32 || o->ghostOf == o->ghostAs)
        return false;
    } else if (a == "--ghost-first") {
      o->ghostFirst = true;
    } else if (a == "--almanac-only") {
      if (!number(&n) || n < 1 || n > 32) return false;
      o->almanacOnly = static_cast<int>(n);
    } else if (a == "--rtk-state") {
      if (!number(&n) || n < 1 || n > 6) return false;
      o->rtkState = static_cast<int>(n);
    } else if (a == "--exclude") {
      if (!number(&n) || n < 1 || n > 32) return false;
      o->excluded = static_cast<int>(n);
    } else if (a == "--gps-config") {
      std::string v;
      if (!value(&v)) return false;
      for (std::size_t at = 0; at < v.size();) {
        int prn = 0, code = 0, used = 0;
        if (std::sscanf(v.c_str() + at, "%d:%d%n", &prn, &code, &used) != 2 || prn < 1 || prn > 32 || code < 0 ||
            code > 15)
          return false;
        o->gpsConfig.emplace_back(prn, code);
        at += static_cast<std::size_t>(used);
        if (at < v.size() && v[at++] != ',') return false;
      }
    } else if (a == "--site") {
      std::string v;
      if (!value(&v) || std::sscanf(v.c_str(), "%lf,%lf,%lf", &o->site.lat, &o->site.lon, &o->site.height) != 3 ||
          !(std::fabs(o->site.lat) <= 90 && std::fabs(o->site.lon) <= 180))
        return false;
    } else if (a == "--event-file") {
      if (!value(&o->eventFile)) return false;
    } else if (a == "--drop-file") {
      if (!value(&o->dropFile)) return false;
    } else if (a == "--lose-fix-file") {
      if (!value(&o->loseFixFile)) return false;
    } else if (a == "--trst") {
      o->trst = 1;
    } else if (a == "--trst-bad-slot") {
      o->trst = 2;
    } else if (a == "--hwcalib") {
      o->hwCalib = true;
    } else if (a == "--board-records") {
      o->boardRecords = true;
    } else if (a == "--iono") {
      o->iono = true;
    } else if (a == "--lband-chan") {
      if (!number(&n) || n < 1 || n > 127) return false;
      o->lbandChan = static_cast<int>(n);
    } else if (a == "--sol-scatter") {
      std::string v;
      if (!value(&v) || std::sscanf(v.c_str(), "%lf", &o->solScatter) != 1 || !(std::fabs(o->solScatter) <= 1000))
        return false;
    } else if (a == "--sol-sigma") {
      std::string v;
      double (&g)[2][4] = o->solSigmaSets;
      int one = 0, two = 0;
      if (!value(&v)) return false;
      const char* t = v.c_str();
      std::sscanf(t, "%lf,%lf,%lf,%lf%n", &g[0][0], &g[0][1], &g[0][2], &g[0][3], &one);
      std::memcpy(g[1], g[0], sizeof g[1]);
      if (one > 0 && t[one] == ':')
        std::sscanf(t + one, ":%lf,%lf,%lf,%lf%n", &g[1][0], &g[1][1], &g[1][2], &g[1][3], &two);
      if (one == 0 || static_cast<std::size_t>(one + two) != v.size()) return false;
      for (const auto& set : g)
        if (!(set[0] > 0 && set[1] > 0 && set[2] > 0 && std::fabs(set[3]) < set[0] * set[1])) return false;
      o->solSigma = true;
    } else if (a == "--rel-pos") {
      std::string v;
      if (!value(&v) || std::sscanf(v.c_str(), "%lf,%lf,%lf", &o->relVel[0], &o->relVel[1], &o->relVel[2]) != 3)
        return false;
      o->relPos = true;
    } else if (a == "--rel-rate-invalid") {
      o->relRateValid = false;
    } else if (a == "--garbage") {
      o->garbage = true;
    } else if (a == "--flip-checksum") {
      if (!number(&o->flipEvery)) return false;
    } else if (a == "--mismatch-times") {
      if (!number(&o->mismatchEvery)) return false;
    } else if (a == "--abandon") {
      if (!number(&o->abandonEvery)) return false;
    } else if (a == "--hold-end") {
      std::string v;
      if (!value(&v)) return false;
      const std::size_t colon = v.find(':');
      if (colon == std::string::npos) return false;
      const std::string every = v.substr(0, colon);
      char* end = nullptr;
      o->holdEvery = std::strtol(every.c_str(), &end, 10);
      o->holdFile = v.substr(colon + 1);
      if (every.empty() || *end != 0 || o->holdEvery < 1 || o->holdFile.empty()) return false;
    } else {
      return false;
    }
  }
  return true;
}

void mkdirs(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
  }
}

// Listening socket at `path`; -1 when it cannot be made.
int listenAt(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return -1;
  std::strcpy(addr.sun_path, path.c_str());
  unlink(path.c_str());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 2) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

// The links the program relays correction streams on: every byte received is recorded.
struct RelayLink {
  std::string path;
  std::string upMark;  // made when the program connects
  int lfd = -1;
  int cfd = -1;
  std::FILE* out = nullptr;
  double credit = 0;  // bytes it may take now, under --relay-rate
};
constexpr int kRelayLinks = 5;

// Reads what the relay links hold; with `rate` (bytes a second) each link takes only what the
// time since the last call allows.
void serviceRelays(RelayLink* links, long rate) {
  static std::int64_t last = monoMs();
  const std::int64_t now = monoMs();
  for (int i = 0; i < kRelayLinks && rate > 0; ++i)
    links[i].credit = std::min(links[i].credit + static_cast<double>(rate) * static_cast<double>(now - last) / 1000.0,
                               static_cast<double>(rate));
  last = now;
  std::vector<pollfd> p;
  for (int i = 0; i < kRelayLinks; ++i) {
    if (links[i].lfd >= 0) p.push_back({links[i].lfd, POLLIN, 0});
    if (links[i].cfd >= 0) p.push_back({links[i].cfd, POLLIN, 0});
  }
  if (p.empty() || poll(p.data(), p.size(), 0) <= 0) return;
  char buf[4096];
  for (int i = 0; i < kRelayLinks; ++i) {
    RelayLink& l = links[i];
    if (l.lfd >= 0) {
      int fd = accept4(l.lfd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd >= 0) {
        if (l.cfd >= 0) close(l.cfd);
        l.cfd = fd;
        if (std::FILE* f = std::fopen(l.upMark.c_str(), "w")) std::fclose(f);
      }
    }
    while (l.cfd >= 0) {
      const std::size_t want = rate > 0 ? std::min(sizeof buf, static_cast<std::size_t>(l.credit)) : sizeof buf;
      if (want == 0) break;
      ssize_t r = read(l.cfd, buf, want);
      if (r > 0) {
        if (l.out) std::fwrite(buf, 1, static_cast<std::size_t>(r), l.out), std::fflush(l.out);
        if (rate > 0) l.credit -= static_cast<double>(r);
        continue;
      }
      if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
        close(l.cfd);
        l.cfd = -1;
      }
      break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parseArgs(argc, argv, &o) || (o.sky && o.nav.empty())) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::int64_t startUtc = 0;
  if (!parseStart(o.start, &startUtc)) {
    std::fprintf(stderr, "gnss_board_sim: bad --start %s\n", o.start.c_str());
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  struct sigaction sa{};
  sa.sa_handler = onSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  std::string sockPath = o.dir + "/" + o.socket;
  std::size_t cut = sockPath.rfind('/');
  mkdirs(sockPath.substr(0, cut));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (sockPath.size() >= sizeof addr.sun_path) {
    std::fprintf(stderr, "gnss_board_sim: socket path too long: %s\n", sockPath.c_str());
    return 2;
  }
  std::strcpy(addr.sun_path, sockPath.c_str());
  unlink(sockPath.c_str());
  int lfd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (lfd < 0 || bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(lfd, 2) != 0) {
    std::fprintf(stderr, "gnss_board_sim: cannot listen on %s: %s\n", sockPath.c_str(), std::strerror(errno));
    return 1;
  }
  Board board(o);
  board.openLog(o.log.empty() ? o.dir + "/gnss_board_sim.log" : o.log);
  if (!o.transcript.empty()) board.openTranscript(o.transcript);
  if (!o.sbas.empty() && !board.loadSbas(o.sbas)) {
    std::fprintf(stderr, "gnss_board_sim: no SBAS message in %s\n", o.sbas.c_str());
    return 2;
  }
  if (!o.replay.empty() && !board.loadReplay(o.replay)) {
    std::fprintf(stderr, "gnss_board_sim: no epochs in %s\n", o.replay.c_str());
    return 2;
  }
  if (!o.nav.empty()) {
    // A RINEX 4 file brings every system; any other is read as RINEX 2 GPS.
    if (!board.multi_.load(o.nav, board.nav_) && !board.nav_.load(o.nav)) {
      std::fprintf(stderr, "gnss_board_sim: no GPS ephemerides in %s\n", o.nav.c_str());
      return 2;
    }
    for (const auto& [prn, code] : o.gpsConfig) board.nav_.setConfig(prn, code);
    board.multi_.skipL3Ts(o.gloL3TsSkip);
    if (o.almanacOnly != 0) board.multi_.withholdGpsCnav(o.almanacOnly);
    if (o.leapWeek >= 0) board.multi_.announceLeap(o.leapWeek, o.leapDn, board.nav_);
    if (o.sky) board.startSky(o.skyTruth);
    // Once every satellite has an ephemeris, on a whole minute of GPS time.
    if (o.start == "now") {
      const std::int64_t gps = (board.nav_.allTransmitted() + 59) / 60 * 60;
      startUtc = gps + 315964800 - sim::kGpsUtcLeap;
    }
  }
  // GPS time of the first epoch: a start at or after a leap second is one second later.
  std::int64_t startGps = startUtc - 315964800 + sim::kGpsUtcLeap;
  if (o.leapAt >= 0 && startGps >= o.leapAt) ++startGps;
  if (o.offsetSys != 0) board.multi_.changeOffset(o.offsetSys, startGps + o.offsetAfter, o.offsetNs);
  if (o.gloNt0After >= 0) board.multi_.gloNoDayNumberFrom(startGps + o.gloNt0After);
  if (o.gloAge >= 0) board.multi_.gloAge(o.gloAge);
  RelayLink relays[kRelayLinks];
  if (!o.relay.empty()) {
    for (int i = 0; i < kRelayLinks; ++i) {
      const char letter = static_cast<char>('d' + i);
      relays[i].path = o.dir + "/dev/shm/" + letter;
      relays[i].lfd = listenAt(relays[i].path);
      relays[i].out = std::fopen((o.relay + letter).c_str(), "ab");
      relays[i].upMark = o.relay + letter + ".up";
      if (relays[i].lfd < 0 || relays[i].out == nullptr) {
        std::fprintf(stderr, "gnss_board_sim: cannot listen on %s\n", relays[i].path.c_str());
        return 1;
      }
    }
  }
  std::fprintf(stderr, "gnss_board_sim: listening on %s, %d Hz\n", sockPath.c_str(), o.rate);

  const int periodMs = 1000 / o.rate;
  const std::int64_t t0 = monoMs();
  long k = 0;
  long firstK = -1;
  int cfd = -1;
  std::mt19937 rng(1);
  char buf[4096];
  while (!g_stop) {
    serviceRelays(relays, o.relayRate);
    std::int64_t next = t0 + static_cast<std::int64_t>(k) * periodMs;
    std::int64_t now = monoMs();
    if (now >= next) {
      if (cfd >= 0 && !board.silent() && board.streaming() && !board.holding()) {
        // GNSS time begins at --start with the first epoch streamed and runs on from there.
        if (firstK < 0) firstK = k;
        std::int64_t ms = static_cast<std::int64_t>(k - firstK) * periodMs;
        board.epoch(startGps + ms / 1000, static_cast<int>(ms % 1000), k - firstK,
                    static_cast<std::uint32_t>(static_cast<std::int64_t>(k) * periodMs / 1000), rng);
      }
      ++k;
      continue;
    }
    pollfd p[2] = {{lfd, POLLIN, 0}, {cfd, static_cast<short>(POLLIN | (board.out.empty() ? 0 : POLLOUT)), 0}};
    // With relay links the wait stays short so that they are read promptly too.
    const int wait = static_cast<int>(o.relay.empty() || next - now < 10 ? next - now : 10);
    int n = poll(p, cfd >= 0 ? 2 : 1, wait);
    if (n < 0) continue;  // a signal: the loop condition decides
    if (p[0].revents & POLLIN) {
      int fd = accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd >= 0) {
        if (cfd >= 0) {
          // The program came back: the old link is dead, but what the program wrote on it
          // before it went (the settings issue it leaves the board at its end) was sent first
          // and counts first, however late this loop comes round to it.
          int pending = 0;
          if (ioctl(cfd, FIONREAD, &pending) != 0) pending = 0;
          while (pending > 0) {
            const ssize_t r = read(cfd, buf, std::min(sizeof buf, static_cast<std::size_t>(pending)));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            board.feed(buf, static_cast<std::size_t>(r));
            pending -= static_cast<int>(r);
          }
          close(cfd);
        }
        cfd = fd;
        board.out.clear();
        board.connected();
      }
      continue;
    }
    if (cfd < 0) continue;
    if (p[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t r = read(cfd, buf, sizeof buf);
      if (r > 0) {
        board.feed(buf, static_cast<std::size_t>(r));
      } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
        close(cfd);
        cfd = -1;
        board.out.clear();
        continue;
      }
    }
    if (!board.out.empty() && !board.silent()) {
      ssize_t w = send(cfd, board.out.data(), board.out.size(), MSG_NOSIGNAL);
      if (w > 0) board.out.erase(0, static_cast<std::size_t>(w));
    } else if (board.silent()) {
      board.out.clear();
    }
  }
  if (cfd >= 0) close(cfd);
  close(lfd);
  for (RelayLink& l : relays) {
    if (l.cfd >= 0) close(l.cfd);
    if (l.lfd >= 0) close(l.lfd), unlink(l.path.c_str());
    if (l.out) std::fclose(l.out);
  }
  unlink(sockPath.c_str());
  return 0;
}
