#include "navigation_data/store/nav_nv_blocks.h"

#include "platform/nv_block.h"

namespace nav_nv {
namespace {

NvBlock RawUtcDataNvBlock[SYS_NUM];
NvBlock RawEphemerisDataNvBlock[SYS_SI_TOTAL];
NvBlock RawAlmanacDataNvBlock[SYS_SAT_TOTAL];
NvBlock GloMflagsNvBlock;

NvBlock& ephBlock(SvIdType id) { return RawEphemerisDataNvBlock[id.get_SiSlot()]; }
NvBlock& almBlock(SvIdType id) { return RawAlmanacDataNvBlock[id.get_SatSlot()]; }
std::uint32_t ephSize(SvIdType id) { return static_cast<std::uint32_t>(kEphRecordSize[id.sys]); }
std::uint32_t almSize(SvIdType id) { return static_cast<std::uint32_t>(kAlmRecordSize[id.sys]); }

}  // namespace

void allocate_NvRamData() {
  if (RawUtcDataNvBlock[0].isAllocated()) return;  // a loaded image forgets the layout first
  // One byte of XOR over each block: a damaged block restores nothing rather than a bad orbit.
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    RawUtcDataNvBlock[sys].allocate(static_cast<std::uint32_t>(kUtcRecordSize[sys]),
                                    static_cast<std::uint16_t>(kUtcBlockId + sys), true, false);
    for (int si = 0; si < SYS_SI_NUM[sys]; ++si) {
      const int g = SYS_SI_BASE_NUM[sys] + si;
      RawEphemerisDataNvBlock[g].allocate(static_cast<std::uint32_t>(kEphRecordSize[sys]),
                                          static_cast<std::uint16_t>(kEphBlockId + g), true, false);
    }
    for (int sat = 0; sat < SYS_SAT_NUM[sys]; ++sat) {
      const int g = SYS_SAT_BASE_NUM[sys] + sat;
      RawAlmanacDataNvBlock[g].allocate(static_cast<std::uint32_t>(kAlmRecordSize[sys]),
                                        static_cast<std::uint16_t>(kAlmBlockId + g), true, false);
    }
  }
  GloMflagsNvBlock.allocate(sizeof(CorrData::GloMflagsType), kGloMflagsBlockId, true, false);
}

bool store_NvRamEphemerisData(SvIdType id, int dataType, const void* rec) {
  NvBlock& b = ephBlock(id);
  if (dataType != 0 || rec == nullptr) return false;
  return b.update(rec, ephSize(id));
}

bool restore_NvRamEphemerisData(SvIdType id, int dataType, void* buf) {
  NvBlock& b = ephBlock(id);
  if (dataType != 0 || buf == nullptr) return false;
  return b.read(buf, ephSize(id));
}

bool store_NvRamAlmanacData(SvIdType id, const void* rec) {
  NvBlock& b = almBlock(id);
  return rec != nullptr && b.update(rec, almSize(id));
}

bool restore_NvRamAlmanacData(SvIdType id, void* buf) {
  NvBlock& b = almBlock(id);
  return buf != nullptr && b.read(buf, almSize(id));
}

bool store_NvRamUtcData(int sys, const void* rec) {
  if (sys < 0 || sys >= SYS_NUM || rec == nullptr) return false;
  return RawUtcDataNvBlock[sys].update(rec, static_cast<std::uint32_t>(kUtcRecordSize[sys]));
}

bool restore_NvRamUtcData(int sys, int, void* buf) {
  if (sys < 0 || sys >= SYS_NUM || buf == nullptr) return false;
  return RawUtcDataNvBlock[sys].read(buf, static_cast<std::uint32_t>(kUtcRecordSize[sys]));
}

bool restore_NvRamUtcDataGpsAlike(int sys, ZRT_UTC_GPS* out) {
  if (sys < 0 || sys >= SYS_NUM || sys == kSysGlonass || out == nullptr) return false;
  if (kUtcRecordSize[sys] < static_cast<int>(sizeof(ZRT_UTC_GPS))) return false;
  return RawUtcDataNvBlock[sys].read(out, sizeof(ZRT_UTC_GPS));
}

bool store_NvRamGloMflags(const CorrData::GloMflagsType& flags) {
  return GloMflagsNvBlock.update(&flags, sizeof flags);
}

bool restore_NvRamGloMflags(CorrData::GloMflagsType& flags) {
  return GloMflagsNvBlock.read(&flags, sizeof flags);
}

void clear_NvRamEphemerisData() {
  for (auto& b : RawEphemerisDataNvBlock) b.makeInvalid();
}

void clear_NvRamEphemerisData(SvIdType id) { ephBlock(id).makeInvalid(); }

void clear_NvRamAlmanacData() {
  for (auto& b : RawAlmanacDataNvBlock) b.makeInvalid();
}

void clear_NvRamAlmanacData(SvIdType id) { almBlock(id).makeInvalid(); }

}  // namespace nav_nv
