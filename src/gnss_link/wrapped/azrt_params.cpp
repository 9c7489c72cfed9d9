#include "gnss_link/wrapped/azrt_params.h"

#include <cstring>

#include "gnss_link/wrapped/azrt_decoder.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"

static_assert(sizeof(AzrtNV) == sizeof(RCV_SETTINGS::azrtArea), "the routing fills its area exactly");

bool AzrtParams::match(int streamId, int type) const {
  if (id != kAnyId && id != streamId) return false;
  if (mode <= 1) return false;
  return type == kWrapped ? mode < kFirstForeignMode : mode >= kFirstForeignMode;
}

std::uint32_t AzrtParams::pack() const {
  return static_cast<std::uint32_t>(static_cast<std::uint16_t>(id)) | static_cast<std::uint32_t>(mode) << 16 |
         static_cast<std::uint32_t>(port) << 24;
}

AzrtParams AzrtParams::unpack(std::uint32_t w) {
  return AzrtParams{static_cast<std::int16_t>(static_cast<std::uint16_t>(w & 0xFFFFu)),
                    static_cast<std::uint8_t>(w >> 16), static_cast<std::uint8_t>(w >> 24)};
}

const AzrtParams* AzrtParamSet::find(int streamId, int type) const {
  for (const AzrtParams& q : p)
    if (q.match(streamId, type)) return &q;
  return nullptr;
}

namespace {
// The area is bytes inside the settings record: read and written by copy, never through a cast.
std::uint8_t* slot(int decPort, int index) {
  return RcvSet.azrtArea + (decPort * AzrtParamSet::kCount + index) * sizeof(AzrtParams);
}
bool inRange(int decPort, int index) {
  return decPort >= 0 && decPort < AzrtNV::kPorts && index >= 0 && index < AzrtParamSet::kCount;
}
}  // namespace

AzrtParams AzrtNV::get(int decPort, int index) {
  AzrtParams p = AzrtParams::resetValue();
  if (inRange(decPort, index)) std::memcpy(&p, slot(decPort, index), sizeof p);
  return p;
}

bool AzrtNV::set(int decPort, int index, const AzrtParams& p) {
  if (!inRange(decPort, index)) return false;
  std::memcpy(slot(decPort, index), &p, sizeof p);
  AzrtDecoders::decs_[decPort].setParam(index, p);
  return true;
}

void AzrtNV::defaults() {
  const AzrtParams r = AzrtParams::resetValue();
  for (int d = 0; d < kPorts; ++d)
    for (int i = 0; i < AzrtParamSet::kCount; ++i) std::memcpy(slot(d, i), &r, sizeof r);
}

void AzrtNV::restore() {
  for (int d = 0; d < kPorts; ++d)
    for (int i = 0; i < AzrtParamSet::kCount; ++i) AzrtDecoders::decs_[d].setParam(i, get(d, i));
}

bool AzrtNV::blank() {
  for (std::uint8_t b : RcvSet.azrtArea)
    if (b != 0) return false;
  return true;
}

void azrtSettingsAfterLoad() {
  if (AzrtNV::blank()) {
    AzrtNV::defaults();
    nv_writeRcvSettings();
  }
  AzrtNV::restore();
}
