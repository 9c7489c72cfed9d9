#include "platform/ram_nvm.h"

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstring>

namespace {
// Plain static storage: no constructors or destructors, so the image outlives every task
// however the process ends.
pthread_mutex_t g_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
std::uint8_t g_image[RamNvm::kSize];
std::atomic<std::uint32_t> g_changes{0};
std::uint32_t g_cursor = RamNvm::kHeaderSize;

constexpr std::uint8_t kMagic[4] = {'R', 'X', 'N', 'V'};
constexpr std::uint16_t kFormat = 1;

void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t get32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
}  // namespace

// An empty hook takes no snapshot and lets the save go on.
Hook<bool()> RamNvm::snapshotHook_("platform", "RamNvm::snapshotHook_", true);

void RamNvm::setSnapshotHook(SnapshotHook hook) { snapshotHook_ = hook; }

void RamNvm::lock() { pthread_mutex_lock(&g_lock); }
void RamNvm::unlock() { pthread_mutex_unlock(&g_lock); }
bool RamNvm::lockFor(int ms) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  long long ns = ts.tv_nsec + static_cast<long long>(ms) * 1000000LL;
  ts.tv_sec += static_cast<time_t>(ns / 1000000000LL);
  ts.tv_nsec = static_cast<long>(ns % 1000000000LL);
  return pthread_mutex_timedlock(&g_lock, &ts) == 0;
}

std::uint8_t* RamNvm::image() { return g_image; }
void RamNvm::touch() { g_changes.fetch_add(1); }
std::uint32_t RamNvm::changes() { return g_changes.load(); }

void RamNvm::blank() {
  RamNvmLock l;
  std::memset(g_image, 0, sizeof g_image);
  std::memcpy(g_image, kMagic, sizeof kMagic);
  put16(g_image + 4, kFormat);
  put16(g_image + 6, kHeaderSize);
  put32(g_image + 8, kSize);
  touch();
}

bool RamNvm::headerOk(const std::uint8_t* img) {
  return std::memcmp(img, kMagic, sizeof kMagic) == 0 && img[4] == kFormat && img[5] == 0 &&
         img[6] == kHeaderSize && img[7] == 0 && get32(img + 8) == kSize;
}

std::uint32_t RamNvm::allocCursor() { return g_cursor; }
void RamNvm::setAllocCursor(std::uint32_t next) { g_cursor = next; }

namespace {
// A program that never found a file still holds a well-formed (blank) image.
const bool g_blankAtStart = (RamNvm::blank(), true);
}  // namespace
