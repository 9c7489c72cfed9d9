// CMR messages taken as the receiver's base data: observations of GPS and GLONASS, station
// coordinates and descriptions pass the port's CMR client into the CMR base decoder and the base
// buffer. The base station stands at a known place and every GPS satellite has an orbit, so that
// the decoder restores each range's whole light-milliseconds and fills and releases epochs with
// what the input gives. The first input byte chooses the road: odd, the bytes go to the port's
// kernel as they are; even, the rest is cut into messages whose header is built from the input
// (type, satellite count, time within the four-minute wrap, clock offset) and whose blocks come
// from it, each sent in a frame with its checksum right; or into a whole CMR+ station record (info
// with the antenna number, coordinates at the base's place, names) sent as its pages.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base_epochs.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/cmr/cmr_client.h"
#include "differential/cmr/cmr_cpd_decoder.h"
#include "differential/cmr/cmr_decoder.h"
#include "differential/cmr/cmr_frame.h"
#include "fuzz_support.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/chan_data.h"

namespace {

constexpr auto kPort = static_cast<InPorts::DecPortIndex>(InPorts::DEC_SER_A + 1);
// The base: a place on the Earth's surface (m, ECEF) and the rover's GPS time (ms of the week).
constexpr double kSite[3] = {4027894.0, 307045.0, 4919474.0};
constexpr std::int32_t kRoverMs = 100000;

CMR_Decoder* g_kernel = nullptr;
NAV_Decoder* g_drv = nullptr;

void feed(const std::uint8_t* d, std::size_t n) {
  g_drv->putData(d, static_cast<int>(n), kPort);
  if (g_kernel->getDataSize() <= 0) std::abort();
}

// Every GPS satellite 20,000 km above the site's meridian plane at a place of its own, standing
// still for a week: enough for an expected range within a light-millisecond's reach. A record
// in the store links each satellite number to its index, as a broadcast one does.
void putOrbits() {
  SatDataEpoch ep;  // the store takes records once it has a time and a setup
  ep.time.valid = true;
  ep.time.sec[kSysGps] = kRoverMs / 1000.0;
  SatDataProcessorInstance.update(ep);
  for (int si = 0; si < 32; ++si) {
    ZRT_EPH_GPS eph{};
    eph.prn = static_cast<std::uint8_t>(si + 1);
    eph.iodc = static_cast<std::int16_t>(si);
    const SvIdType sv{static_cast<std::uint8_t>(si), kSysGps, 0, static_cast<std::uint8_t>(si)};
    SatDataProcessorInstance.update_EphemerisData(sv, 0, &eph, 1000u + static_cast<std::uint32_t>(si), true, false, false);
    SatData::PolynomSetType set{};
    SatData::PolynomEntryType& e = set.entry[0];
    const double a = 0.2 * si;
    e.coef[0][0] = 2.6e7 * 0.6 * std::cos(a);
    e.coef[0][1] = 2.6e7 * 0.6 * std::sin(a);
    e.coef[0][2] = 2.6e7 * 0.8;
    e.span = 604800.0f;
    e.refTime = 0.0;
    e.accuracy = 1.0f;
    e.iod = static_cast<std::uint16_t>(si);
    set.entry[1] = e;
    const SvIdType id{static_cast<std::uint8_t>(si), kSysGps, 0, static_cast<std::uint8_t>(si)};
    if (!SatPolynomStoreInstance.Put(id, &set)) std::abort();
  }
}

// 34 bits of millimetres (32 signed, then 2) and 14 bits of an offset, for each axis.
void putAxis(std::vector<std::uint8_t>& b, int k, double metres, std::uint16_t offset) {
  const std::int64_t mm = static_cast<std::int64_t>(metres * 1000.0);
  const std::uint64_t v = (static_cast<std::uint64_t>(mm) & 0x3FFFFFFFFull) << 14 | (offset & 0x3FFFu);
  for (int i = 0; i < 6; ++i) b[static_cast<std::size_t>(6 * k + i)] = static_cast<std::uint8_t>(v >> (40 - 8 * i));
}

std::uint8_t byteAt(const std::uint8_t* data, std::size_t size, std::size_t& at) { return at < size ? data[at++] : 0; }

std::vector<std::uint8_t> framed(std::uint8_t packet, const std::vector<std::uint8_t>& d) {
  std::vector<std::uint8_t> out(d.size() + cmr::kFrameExtra);
  const int len =
      cmr::writeFrame(packet, d.data(), static_cast<int>(d.size()), out.data(), static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(len > 0 ? len : 0));
  return out;
}

// A whole CMR+ station record of station 5 at the base's place: info (antenna number b1),
// coordinates (offsets and accuracy from the input), names from the input; in pages of seven
// bytes, each page a frame of its own.
std::vector<std::uint8_t> plusRecord(std::uint8_t b1, const std::uint8_t* data, std::size_t size, std::size_t& at) {
  std::vector<std::uint8_t> r = {cmr::kPlusInfoId, cmr::kPlusInfoLen, 0x02, 0x00, 0, b1};
  std::vector<std::uint8_t> coord(cmr::kRefCoordBody, 0);
  for (std::uint8_t& x : coord) x = byteAt(data, size, at);
  for (int k = 0; k < 3; ++k)
    putAxis(coord, k, kSite[k], static_cast<std::uint16_t>(coord[static_cast<std::size_t>(6 * k)]));
  r.push_back(cmr::kPlusCoordId);
  r.push_back(cmr::kPlusCoordLen);
  r.insert(r.end(), coord.begin(), coord.end());
  const std::size_t names = cmr::kDescNames + (b1 & 31);
  r.push_back(cmr::kPlusDescId);
  r.push_back(static_cast<std::uint8_t>(names + 2));
  for (std::size_t i = 0; i < names; ++i) r.push_back(byteAt(data, size, at));
  const std::size_t pages = (r.size() + cmr::kPageBytes - 1) / cmr::kPageBytes;
  std::vector<std::uint8_t> out;
  for (std::size_t p = 0; p < pages; ++p) {
    std::vector<std::uint8_t> d = {5, static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(pages - 1)};
    for (std::size_t i = p * cmr::kPageBytes; i < r.size() && i < (p + 1) * cmr::kPageBytes; ++i) d.push_back(r[i]);
    const std::vector<std::uint8_t> f = framed(cmr::kPacketCmrPlus, d);
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

// One message from the input at `at`; empty when the input is used up.
std::vector<std::uint8_t> message(const std::uint8_t* data, std::size_t size, std::size_t& at) {
  if (at + 4 > size) return {};
  const std::uint8_t sel = data[at], b1 = data[at + 1], b2 = data[at + 2], b3 = data[at + 3];
  at += 4;
  if (sel % 6 == 5) return plusRecord(b1, data, size, at);
  cmr::Header h;
  static const int kTypes[] = {cmr::kTypeGps, cmr::kTypeGps, cmr::kTypeGlonass, cmr::kTypeRefCoord, cmr::kTypeDesc};
  h.type = static_cast<std::uint8_t>(kTypes[sel % 6]);
  h.stationId = static_cast<std::uint8_t>((sel >> 3) & 1 ? b1 & 31 : 5);
  h.version = static_cast<std::uint8_t>((sel >> 4) & 1 ? 2 : cmr::kVersion);
  h.timeMs = (static_cast<std::uint32_t>(b2) << 8 | b3) * 4u % static_cast<std::uint32_t>(cmr::kTimeModMs);
  h.clockBits = static_cast<std::uint8_t>(b1 >> 6);
  h.clockOffset = static_cast<std::int16_t>(static_cast<std::int8_t>(b1) * 8);
  std::vector<std::uint8_t> body;
  if (h.type == cmr::kTypeGps || h.type == cmr::kTypeGlonass) {
    const int n = b1 & 15;
    h.low5 = static_cast<std::uint8_t>(n);
    for (int i = 0; i < n; ++i) {
      std::uint8_t l1[cmr::kL1Block];
      for (std::uint8_t& x : l1) x = byteAt(data, size, at);
      // Satellite number and flags from the input's first byte of the block.
      l1[0] = static_cast<std::uint8_t>(((l1[0] % 32) + 1) << 3 | (l1[0] >> 5));
      body.insert(body.end(), l1, l1 + cmr::kL1Block);
      if (l1[0] & CMR_MEAS::kL2Present)
        for (int k = 0; k < cmr::kL2Block; ++k) body.push_back(byteAt(data, size, at));
    }
  } else if (h.type == cmr::kTypeRefCoord) {
    body.assign(cmr::kRefCoordBody, 0);
    for (std::uint8_t& x : body) x = byteAt(data, size, at);
    // Mostly the base's own place (its offsets from the input): the decoders take a position
    // near the Earth's surface only.
    if ((sel >> 5) & 1)
      for (int k = 0; k < 3; ++k) putAxis(body, k, kSite[k], static_cast<std::uint16_t>(body[static_cast<std::size_t>(6 * k)]));
  } else {
    const std::size_t n = cmr::kDescNames + (b1 & 31);
    for (std::size_t i = 0; i < n; ++i) body.push_back(byteAt(data, size, at));
  }
  std::uint8_t head[cmr::kHeaderLen];
  cmr::packHeader(h, head);
  std::vector<std::uint8_t> d(head, head + cmr::kHeaderLen);
  d.insert(d.end(), body.begin(), body.end());
  if (d.size() > static_cast<std::size_t>(cmr::kMaxDataLen)) d.resize(cmr::kMaxDataLen);
  return framed(cmr::kPacketCmr, d);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("cmr_base");
  fuzz::noteDeliberateExits();
  cpdClientsInit();
  cmrClientsInit();
  fuzz::openBaseEpochs();
  ChanMeasTime mt;
  mt.gpsMs = kRoverMs;
  mt.gloMs = kRoverMs;
  mt.valid = 3;
  ChanData::setMeasTime(mt);
  SatDataProcessorInstance.init_Object();  // satellite numbers map to the store's indexes
  putOrbits();
  cmrCpdClient.updateRefPos(CpdCPos{kSite[0], kSite[1], kSite[2]}, 5);
  // Every station decoded and delivered, not only a chosen or the nearest one; GLONASS
  // observations under the settings' default type (no settings are loaded here).
  CMR_DEC_SETTINGS s = CmrDec.getSettings();
  s.inUse = -1;
  s.nrsMode = 0;
  s.gloType = 3;
  CmrDec.setSettings(s);
  static CMR_Decoder kernel(&CmrDec);
  static NAV_Decoder drv(&kernel);
  g_kernel = &kernel;
  g_drv = &drv;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size == 0) return 0;
  if (data[0] & 1) {
    fuzz::inChunks(data + 1, size - 1, fuzz::kPortChunk, feed);
    return 0;
  }
  std::size_t at = 1;
  for (std::vector<std::uint8_t> f = message(data, size, at); !f.empty(); f = message(data, size, at))
    feed(f.data(), f.size());
  return 0;
}
