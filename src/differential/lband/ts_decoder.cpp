#include "differential/lband/ts_decoder.h"

#include <cstring>

#include "differential/lband/omnistar_params.h"
#include "platform/nv_block.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"

const TSBeam DefaultBeams[kDefaultBeamCount] = {
    {1545855000, 1200, "AORE", "A", -15.5f, 1, {}}, {1545845000, 1200, "AORW", "B", -54.0f, 1, {}},
    {1545865000, 1200, "IOR", "C", 64.5f, 1, {}},   {1545905000, 1200, "POR", "D", 178.0f, 1, {}},
    {1545825000, 1200, "25E", "E", 25.0f, 1, {}},   {1545835000, 1200, "143.5E", "F", 143.5f, 1, {}},
    {1545865000, 1200, "98W", "G", -98.0f, 1, {}},
};

TerrastarDataDecoder TSDecoder;

namespace {
NvBlock g_paramsBlock;

// The reserved blocks: handle, id, size.
struct Reserved {
  NvBlock block;
  std::uint16_t id;
  std::uint32_t size;
};
Reserved g_tsIdNv{{}, 34881, 128};
Reserved g_lbandMapNv{{}, 34873, 458};
Reserved g_beaconMapNv{{}, 34880, 458};
Reserved g_tsDecoderNv{{}, 34882, 10240};

void allocReserved(Reserved& r) {
  if (!r.block.isAllocated()) r.block.allocate(r.size, r.id, true, true);
}

// A text into a fixed field; false (field unchanged) when it does not fit with its NUL.
bool copyText(char* dst, std::size_t size, const char* text) {
  if (text == nullptr) return false;
  const std::size_t n = std::strlen(text);
  if (n + 1 > size) return false;
  std::memcpy(dst, text, n + 1);
  return true;
}
}  // namespace

void ts_id_nv_NvAlloc() { allocReserved(g_tsIdNv); }
void lband_map_nv_NvAlloc() { allocReserved(g_lbandMapNv); }
void beacon_map_nv_NvAlloc() { allocReserved(g_beaconMapNv); }
void ts_decoder_nv_NvAlloc() { allocReserved(g_tsDecoderNv); }

TerrastarDataDecoder::TerrastarDataDecoder()
    : beams_{},
      azimuth_{},
      number_{},
      order_{},
      orderCount_(0),
      usedBeam_(-1),
      scanRestart_(1),
      syncStatus_(0),
      qualityStatus_(0),
      decoderChannel_(0),
      changes_(0),
      par_{} {
  for (float& e : elevation_) e = -100.0f;
}

void TerrastarDataDecoder::init() {
  for (int i = 0; i < kDefaultBeamCount; ++i) beams_[i] = DefaultBeams[i];
  for (int i = 0; i < kSlots; ++i) {
    number_[i] = i + 1;
    order_[i] = static_cast<std::uint8_t>(i);
  }
  orderCount_ = 2;
}

bool TerrastarDataDecoder::allocateNvRam() {
  return g_paramsBlock.isAllocated() || g_paramsBlock.allocate(sizeof par_, kNvId, true, true);
}

namespace {
bool ends(const char* field, std::size_t size) { return std::memchr(field, 0, size) != nullptr; }

// Every text of the block ends inside its field, as the setters store it. A block with a text
// that runs on (an image damaged under a right checksum) would be read past its field by every
// print and beam lookup.
bool textsEnd(const TSParametersNvBlock& p) {
  return ends(p.stations[0], sizeof p.stations[0]) && ends(p.stations[1], sizeof p.stations[1]) &&
         ends(p.userBeam, sizeof p.userBeam) && ends(p.userDef.name, sizeof p.userDef.name) &&
         ends(p.userDef.id, sizeof p.userDef.id);
}
}  // namespace

void TerrastarDataDecoder::readNvRam() {
  const bool read = g_paramsBlock.read(&par_, sizeof par_);
  if (read && textsEnd(par_)) return;
  g_paramsBlock.sayDefaultsRestored("L-band service settings", read);
  par_ = TSParametersNvBlock{};
  initNvParameters(false);
  writeNvRam();
}

bool TerrastarDataDecoder::writeNvRam() { return g_paramsBlock.update(&par_, sizeof par_); }

void TerrastarDataDecoder::initNvParameters(bool scanMode) {
  std::strcpy(par_.stations[0], "all");
  std::strcpy(par_.stations[1], "all");
  par_.scanTimeout = 30;
  par_.scanNum = 3;
  par_.scanMode = scanMode ? 1 : 0;
  par_.reserved404 = 0;
  std::memset(par_.debugOutput, 0, sizeof par_.debugOutput);
  par_.debugTimeMode = 0;
  par_.debugDateMode = 0;
  par_.debugYear = 2000;
  par_.debugMonth = 1;
  par_.debugDay = 1;
  par_.debugHours = 0;
  par_.debugMinutes = 0;
  par_.debugSeconds = 0;
  par_.reserved472 = 65535;
  par_.reserved476 = 0;
  par_.usableMask[0] = par_.usableMask[1] = 0;
  std::strcpy(par_.userBeam, "none");
  par_.userDef = TSBeam{};
}

void TerrastarDataDecoder::changed() {
  ++changes_;
  writeNvRam();  // a failed save leaves the value set in memory
}

void TerrastarDataDecoder::setBeamScanningMode(bool on) {
  // The processor count follows the mode, compared with the mode stored so far.
  lbandSetMode(on);
  RcvSet.lbandMode = on ? 1 : 0;
  nv_writeRcvSettings();
  par_.scanMode = on ? 1 : 0;
  changed();
}

void TerrastarDataDecoder::setBeamScanningNum(int n) {
  par_.scanNum = static_cast<std::uint8_t>(n);
  changed();
}

void TerrastarDataDecoder::setBeamScanningTimeout(int s) {
  par_.scanTimeout = static_cast<std::uint16_t>(s);
  changed();
}

void TerrastarDataDecoder::setDebugOutput(int i, bool on) {
  if (i < 0 || i >= kDebugOutputs) return;
  par_.debugOutput[i] = on ? 1 : 0;
  changed();
}

void TerrastarDataDecoder::setDebugTimeMode(bool on) {
  par_.debugTimeMode = on ? 1 : 0;
  changed();
}

void TerrastarDataDecoder::getDebugTime(int& h, int& m, int& s) const {
  h = par_.debugHours;
  m = par_.debugMinutes;
  s = par_.debugSeconds;
}

void TerrastarDataDecoder::setDebugTime(int h, int m, int s) {
  if (h >= 0) par_.debugHours = h;
  if (m >= 0) par_.debugMinutes = m;
  if (s >= 0) par_.debugSeconds = s;
  changed();
}

void TerrastarDataDecoder::setDebugDateMode(bool on) {
  par_.debugDateMode = on ? 1 : 0;
  changed();
}

void TerrastarDataDecoder::getDebugDate(int& d, int& mo, int& y) const {
  d = par_.debugDay;
  mo = par_.debugMonth;
  y = par_.debugYear;
}

void TerrastarDataDecoder::setDebugDate(int d, int mo, int y) {
  if (d >= 0) par_.debugDay = d;
  if (mo >= 0) par_.debugMonth = mo;
  if (y >= 0) par_.debugYear = y;
  changed();
}

bool TerrastarDataDecoder::setUserBeamName(const char* name) {
  if (!copyText(par_.userBeam, sizeof par_.userBeam, name)) return false;
  changed();
  return true;
}

void TerrastarDataDecoder::setUserDefinedBeamMode(bool on) {
  par_.userDefMode = on ? 1 : 0;
  changed();
}

void TerrastarDataDecoder::setUserDefinedBeamData(const TSBeam& b) {
  par_.userDef = b;
  par_.userDef.name[sizeof b.name - 1] = 0;
  par_.userDef.id[sizeof b.id - 1] = 0;
  changed();
}

bool TerrastarDataDecoder::setSelectedStations(int i, const char* text) {
  if (i != 0 && i != 1) return false;
  if (!copyText(par_.stations[i], sizeof par_.stations[i], text)) return false;
  changed();
  return true;
}

std::uint64_t TerrastarDataDecoder::getUsableBeams() const {
  return par_.usableMask[0] | (std::uint64_t{par_.usableMask[1]} << 32);
}

void TerrastarDataDecoder::setUsableBeams(std::uint64_t mask) {
  par_.usableMask[0] = static_cast<std::uint32_t>(mask);
  par_.usableMask[1] = static_cast<std::uint32_t>(mask >> 32);
  changed();
}

bool TerrastarDataDecoder::getBeamInfo(int slot, bool onlyEnabled, TSBeam* beam, float* elevation) const {
  if (!slotOk(slot) || beams_[slot].frequency == 0) return false;
  if (onlyEnabled && beams_[slot].enabled == 0) return false;
  if (beam) *beam = beams_[slot];
  if (elevation) *elevation = elevation_[slot];
  return true;
}

int TerrastarDataDecoder::getOrderedBeamNum() const {
  if (getBeamScanningMode()) return orderCount_;
  return slotOk(usedBeam_) ? 1 : 0;
}

bool TerrastarDataDecoder::getOrderedBeamInfo(int i, bool onlyEnabled, TSBeam* beam, float* elevation) const {
  if (getBeamScanningMode()) {
    if (i < 0 || i >= orderCount_ || i >= kSlots) return false;
    return getBeamInfo(order_[i], onlyEnabled, beam, elevation);
  }
  if (i != 0) return false;
  return getBeamInfo(usedBeam_, onlyEnabled, beam, elevation);
}

bool TerrastarDataDecoder::getOrderedBeam(int i, const char** name, float* longitude, float* level) const {
  TSBeam b{};
  float el = 0;
  if (!getOrderedBeamInfo(i, false, &b, &el)) return false;
  const int slot = getBeamScanningMode() ? order_[i] : usedBeam_;
  if (name) *name = beams_[slot].name;
  if (longitude) *longitude = b.longitude;
  if (level) *level = el;
  return true;
}

bool TerrastarDataDecoder::getUsedBeamInfo(TSBeam* beam, float* elevation) const {
  return getBeamInfo(usedBeam_, false, beam, elevation);
}

bool TerrastarDataDecoder::getBeamVisibleData(std::int64_t frequency, int& number, float& elevation,
                                              float& azimuth) const {
  int best = -1;
  float bestEl = 0.0f;
  for (int i = 0; i < kSlots; ++i) {
    if (beams_[i].frequency != frequency || !(elevation_[i] > bestEl)) continue;
    best = i;
    bestEl = elevation_[i];
  }
  if (best < 0) {
    number = 0;
    elevation = 0.0f;
    azimuth = 0.0f;
    return false;
  }
  number = number_[best];
  elevation = elevation_[best];
  azimuth = azimuth_[best];
  return true;
}

bool TerrastarDataDecoder::takeBoardState(const TSBoardState& s) {
  bool whole = true;
  for (int i = 0; i < kSlots; ++i) {
    // Terminated before it lands: a print running meanwhile never meets an open text.
    TSBeam b = s.beam[i];
    b.name[sizeof b.name - 1] = 0;
    b.id[sizeof b.id - 1] = 0;
    beams_[i] = b;
    elevation_[i] = s.elevation[i];
    azimuth_[i] = s.azimuth[i];
  }
  // The board's list indexes our 16 slots: an entry outside them would read past the table.
  int count = s.orderCount;
  if (count < 0 || count > kSlots) {
    whole = false;
    count = count < 0 ? 0 : kSlots;
  }
  int n = 0;
  for (int i = 0; i < count; ++i) {
    if (s.order[i] < kSlots)
      order_[n++] = s.order[i];
    else
      whole = false;
  }
  orderCount_ = n;
  usedBeam_ = s.usedBeam;
  if (usedBeam_ < -1 || usedBeam_ >= kSlots) {
    usedBeam_ = -1;
    whole = false;
  }
  syncStatus_ = s.syncStatus;
  qualityStatus_ = s.qualityStatus;
  decoderChannel_ = s.decoderChannel;
  return whole;
}
