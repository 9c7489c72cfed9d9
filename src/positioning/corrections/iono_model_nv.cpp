// The last broadcast ionosphere models in the settings image, one block each, so that a restart
// corrects at once rather than after the next broadcast.
#include <cstring>

#include "positioning/corrections/sat_corr_processor.h"

namespace {

struct ModelPlace {
  std::uint32_t size;
  std::uint16_t id;
};

void* modelBytes(SatCorrWorkArea& w, int model) {
  switch (model) {
    case kIonoModelGps: return &w.klobModel[0];
    case kIonoModelQzss: return &w.klobModel[1];
    case kIonoModelComp: return &w.klobModel[2];
    case kIonoModelIrnss: return &w.klobModel[3];
    case kIonoModelBDGlobal: return &w.bdGlobalModel;
    case kIonoModelNeQuick: return &w.neQuickModel;
    default: return &w.glonassModel;
  }
}

constexpr ModelPlace kPlaces[kIonoModels] = {
    {sizeof(ZRT_ION_GPS), SatelliteCorrectionProcessor::kIonoNvBlockId},
    {sizeof(ZRT_ION_GPS), SatelliteCorrectionProcessor::kIonoNvBlockId},
    {sizeof(ZRT_ION_GPS), SatelliteCorrectionProcessor::kIonoNvBlockId},
    {sizeof(ZRT_ION_GPS), SatelliteCorrectionProcessor::kIrnssIonoNvBlockId},
    {sizeof(ZRT_ION_CMP), SatelliteCorrectionProcessor::kIonoNvBlockId},
    {sizeof(NeQuickIonoModelRecord), SatelliteCorrectionProcessor::kIonoNvBlockId},
    {sizeof(ZRT_ION_GLN), SatelliteCorrectionProcessor::kIonoNvBlockId},
};
static_assert(sizeof(ZRT_ION_GPS) == 48 && sizeof(ZRT_ION_CMP) == 48 && sizeof(ZRT_ION_GLN) == 20);

}  // namespace

void SatelliteCorrectionProcessor::allocate_NvRamData() {
  for (int m = 0; m < kIonoModels; ++m) nv_[m].allocate(kPlaces[m].size, kPlaces[m].id, true, false);
}

bool SatelliteCorrectionProcessor::storeModel(int model) {
  return nv_[model].update(modelBytes(*work_, model), kPlaces[model].size);
}

bool SatelliteCorrectionProcessor::restoreModel(int model) {
  const NvBlock& b = nv_[model];
  if (!b.isValid()) return false;
  // Read into a copy: a read that fails half way leaves the model as it was.
  alignas(8) std::uint8_t copy[sizeof(ZRT_ION_GPS)];
  const std::uint32_t size = kPlaces[model].size;
  if (!b.read(copy, size)) return false;
  std::memcpy(modelBytes(*work_, model), copy, size);
  return true;
}

bool SatelliteCorrectionProcessor::store_NvRamGpsIonoModelData() { return storeModel(kIonoModelGps); }
bool SatelliteCorrectionProcessor::restore_NvRamGpsIonoModelData() { return restoreModel(kIonoModelGps); }
bool SatelliteCorrectionProcessor::store_NvRamQzssIonoModelData() { return storeModel(kIonoModelQzss); }
bool SatelliteCorrectionProcessor::restore_NvRamQzssIonoModelData() { return restoreModel(kIonoModelQzss); }
bool SatelliteCorrectionProcessor::store_NvRamCompIonoModelData() { return storeModel(kIonoModelComp); }
bool SatelliteCorrectionProcessor::restore_NvRamCompIonoModelData() { return restoreModel(kIonoModelComp); }
bool SatelliteCorrectionProcessor::store_NvRamIrnssIonoModelData() { return storeModel(kIonoModelIrnss); }
bool SatelliteCorrectionProcessor::restore_NvRamIrnssIonoModelData() { return restoreModel(kIonoModelIrnss); }
bool SatelliteCorrectionProcessor::store_NvRamBDGlobalIonoModelData() { return storeModel(kIonoModelBDGlobal); }
bool SatelliteCorrectionProcessor::restore_NvRamBDGlobalIonoModelData() { return restoreModel(kIonoModelBDGlobal); }
bool SatelliteCorrectionProcessor::store_NvRamNeQuickIonoModelData() { return storeModel(kIonoModelNeQuick); }
bool SatelliteCorrectionProcessor::restore_NvRamNeQuickIonoModelData() { return restoreModel(kIonoModelNeQuick); }
bool SatelliteCorrectionProcessor::store_NvRamGlonassIonoModelData() { return storeModel(kIonoModelGlonass); }
bool SatelliteCorrectionProcessor::restore_NvRamGlonassIonoModelData() { return restoreModel(kIonoModelGlonass); }
