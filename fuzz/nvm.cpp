// The settings image ".gnss.nvm" read at start: the input lies over a valid image the program
// itself saved (its first three bytes say where, after the 16-byte image header, so that the
// image is taken), every block's checksum is made right so that changed contents reach their
// readers, and the start-up reads the file and lays out and reads every block as it does (the
// output manager's stored message sets among them).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/file_nvm.h"
#include "platform/ram_nvm.h"
#include "nvm_image.h"
#include "program_start.h"

namespace {
constexpr std::size_t kOverlayAt = RamNvm::kHeaderSize;
std::vector<std::uint8_t> g_base;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::startAsTheProgram("nvm");
  // The image a first start stores: every block at its factory defaults, and message sets on two
  // ports (native epoch markers, RTCM 3 station and observations), so that the stored sets the
  // output manager reads back hold entries to change.
  if (omEnableMsgs(5, "zrt/{RT,ET}:1") != OmListResult::kOk) std::abort();
  if (omEnableMsgs(6, "rtcm3/{1005,1077,1087}:1") != OmListResult::kOk) std::abort();
  if (!FileNvmSave(0, true)) std::abort();
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
  if (size >= 3) {
    const std::size_t room = image.size() - kOverlayAt;
    const std::size_t at = kOverlayAt + (data[0] | (data[1] << 8) | (static_cast<std::size_t>(data[2]) << 16)) % room;
    const std::size_t n = size - 3 < image.size() - at ? size - 3 : image.size() - at;
    if (n > 0) std::memcpy(image.data() + at, data + 3, n);
    fuzz::fixBlockChecksums(image);
  }
  std::FILE* f = std::fopen(kNvmFile, "wb");
  if (f == nullptr) std::abort();
  if (std::fwrite(image.data(), 1, image.size(), f) != image.size()) std::abort();
  std::fclose(f);
  fuzz::readSettingsAsAtStart();
  return 0;
}
