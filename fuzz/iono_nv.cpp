// The ionosphere models kept in the settings image, restored at start: the correction
// processor's first model refresh reads each block back (or falls back to the user's model of
// the correction setup) and works on with what it read. The input lies over one model's block of
// an image the program itself saved with every model stored (its first byte names the model and
// whether the block's header is overlaid too), checksums are made right, and a start follows:
// the image read, the blocks laid out in the program's order, a fresh processor's first refresh.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "navigation_data/store/sat_data_store.h"
#include "nvm_image.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "program_start.h"

namespace {

std::vector<std::uint8_t> g_base;
std::uint32_t g_at[kIonoModels];    // where each model's block lies in the image
std::uint32_t g_size[kIonoModels];  // its data bytes

SatelliteCorrectionProcessor* freshProcessor() {
  return new SatelliteCorrectionProcessor(&PVTDataInstance, &SatDataProcessorInstance, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr);
}

// The image read and its blocks laid out from the image's start in the program's order, as a
// start does: a block a run before laid out goes where this start puts it, not after it.
void layOutAsAtStart() {
  NvBlock::resetLayout();
  fuzz::readSettingsAsAtStart();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::startAsTheProgram("iono_nv");
  // The models laid out where the program lays them, after the engine's data, each stored once
  // with bytes of its own so that every block is valid. The layout is made afresh here as for
  // every input, so that each input's start finds the blocks at these places.
  layOutAsAtStart();
  SatelliteCorrectionProcessor* p = freshProcessor();
  p->allocate_NvRamData();
  for (int m = 0; m < kIonoModels; ++m) {
    g_at[m] = p->ionoNvBlock(m).imageOffset();
    g_size[m] = p->ionoNvBlock(m).size();
  }
  SatCorrWorkArea& w = p->work();
  const struct { void* model; std::size_t size; } models[] = {
      {w.klobModel, sizeof w.klobModel}, {&w.bdGlobalModel, sizeof w.bdGlobalModel},
      {&w.neQuickModel, sizeof w.neQuickModel}, {&w.glonassModel, sizeof w.glonassModel}};
  for (const auto& m : models) std::memset(m.model, 0x11, m.size);
  const bool stored = p->store_NvRamGpsIonoModelData() && p->store_NvRamQzssIonoModelData() &&
                      p->store_NvRamCompIonoModelData() && p->store_NvRamIrnssIonoModelData() &&
                      p->store_NvRamBDGlobalIonoModelData() && p->store_NvRamNeQuickIonoModelData() &&
                      p->store_NvRamGlonassIonoModelData();
  delete p;
  if (!stored || !FileNvmSave(0, true)) std::abort();
  std::FILE* f = std::fopen(kNvmFile, "rb");
  if (f == nullptr) std::abort();
  g_base.resize(RamNvm::kSize);
  if (std::fread(g_base.data(), 1, g_base.size(), f) != g_base.size()) std::abort();
  std::fclose(f);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  std::vector<std::uint8_t> image = g_base;
  if (size >= 1) {
    const int m = data[0] % kIonoModels;
    // Bit 7: the block's 6-byte header too (id, length, flags), else its data only.
    const std::size_t from = g_at[m] + ((data[0] & 0x80) != 0 ? 0 : NvBlock::kHeaderSize);
    const std::size_t room = image.size() - from;
    const std::size_t n = size - 1 < room ? size - 1 : room;
    if (n > 0) std::memcpy(image.data() + from, data + 1, n);
    fuzz::fixBlockChecksums(image);
  }
  std::FILE* f = std::fopen(kNvmFile, "wb");
  if (f == nullptr) std::abort();
  if (std::fwrite(image.data(), 1, image.size(), f) != image.size()) std::abort();
  std::fclose(f);
  layOutAsAtStart();
  SatelliteCorrectionProcessor* p = freshProcessor();
  p->allocate_NvRamData();
  p->update_IonoModelData();
  delete p;
  return 0;
}
