// The settings image ".gnss.nvm" read at start: the input lies over a valid image the program
// itself saved (its first three bytes say where, after the 16-byte image header, so that the
// image is taken), every block's checksum is made right so that changed contents reach their
// readers, and the start-up reads the file and lays out and reads every block as it does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/file_nvm.h"
#include "platform/ram_nvm.h"
#include "program_start.h"

namespace {
constexpr std::size_t kOverlayAt = RamNvm::kHeaderSize;
std::vector<std::uint8_t> g_base;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::startAsTheProgram("nvm");
  // The image a first start stores: every block at its factory defaults.
  if (!FileNvmSave(0, true)) std::abort();
  std::FILE* f = std::fopen(kNvmFile, "rb");
  if (f == nullptr) std::abort();
  g_base.resize(RamNvm::kSize);
  if (std::fread(g_base.data(), 1, g_base.size(), f) != g_base.size()) std::abort();
  std::fclose(f);
  return 0;
}

// Walks the blocks as they lie (6-byte header: id, 24-bit length, flags) and gives each one that
// carries a checksum the XOR of its data.
void fixChecksums(std::vector<std::uint8_t>& img) {
  for (std::size_t o = kOverlayAt; o + 6 <= img.size();) {
    const std::size_t len = img[o + 2] | (img[o + 3] << 8) | (static_cast<std::size_t>(img[o + 4]) << 16);
    const bool ck = (img[o + 5] & 1) != 0;
    if ((img[o] | img[o + 1]) == 0 && len == 0) break;  // blank: the end of the layout
    const std::size_t end = o + 6 + len;
    if (end + (ck ? 1 : 0) > img.size()) break;
    if (ck) {
      std::uint8_t x = 0;
      for (std::size_t i = o + 6; i < end; ++i) x ^= img[i];
      img[end] = x;
    }
    o = end + (ck ? 1 : 0);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  std::vector<std::uint8_t> image = g_base;
  if (size >= 3) {
    const std::size_t room = image.size() - kOverlayAt;
    const std::size_t at = kOverlayAt + (data[0] | (data[1] << 8) | (static_cast<std::size_t>(data[2]) << 16)) % room;
    const std::size_t n = size - 3 < image.size() - at ? size - 3 : image.size() - at;
    if (n > 0) std::memcpy(image.data() + at, data + 3, n);
    fixChecksums(image);
  }
  std::FILE* f = std::fopen(kNvmFile, "wb");
  if (f == nullptr) std::abort();
  if (std::fwrite(image.data(), 1, image.size(), f) != image.size()) std::abort();
  std::fclose(f);
  fuzz::readSettingsAsAtStart();
  return 0;
}
