// Stored form of the message sets: a header, then one record per enabled message naming its
// stream, group and name with its schedule. Looking messages up by name on restore keeps a
// stored set meaning the same messages whatever was registered in between.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "output/om_internal.h"
#include "output/output_manager.h"
#include "platform/rtos.h"

namespace {

constexpr std::uint32_t kMagic = 0x314D534Fu;  // "OSM1" little-endian

struct StoredHeader {
  std::uint32_t magic;
  std::uint16_t count;
  std::uint16_t entrySize;
};
static_assert(sizeof(StoredHeader) == 8);

struct StoredEntry {
  std::uint8_t stream;
  std::uint8_t group;
  char name[MsgPool::kMaxName];  // zero-padded, not terminated when full
  std::uint16_t reserved;
  MsgSchedParams params;
};
static_assert(sizeof(StoredEntry) == 28);
static_assert(offsetof(StoredEntry, params) == 12);

constexpr int kImageSize =
    static_cast<int>(sizeof(StoredHeader) + kOmStoreMaxEntries * sizeof(StoredEntry));

static_assert(kImageSize == kOmStoreImageSize);

OmSetStore* g_store = nullptr;
unsigned char g_image[kImageSize];

int saveLocked(void* dst, int size) {
  if (size < static_cast<int>(sizeof(StoredHeader))) return 0;
  auto* out = static_cast<unsigned char*>(dst);
  int room = (size - static_cast<int>(sizeof(StoredHeader))) / static_cast<int>(sizeof(StoredEntry));
  if (room > kOmStoreMaxEntries) room = kOmStoreMaxEntries;
  int n = 0;
  for (int s = 0; s < kOmStreams && n < room; ++s) {
    const MsgSet* set = omGetMsgSet(s);
    for (int i = 0; i < msgPool.size() && n < room; ++i) {
      if (!set->isEnabled(i)) continue;
      StoredEntry e{};
      e.stream = static_cast<std::uint8_t>(s);
      e.group = static_cast<std::uint8_t>(msgPool.group(i));
      const char* name = msgPool.name(i);
      std::memcpy(e.name, name, strnlen(name, sizeof e.name));  // zero-padded, maybe full
      e.params = set->entry(i).params;
      std::memcpy(out + sizeof(StoredHeader) + n * sizeof(StoredEntry), &e, sizeof e);
      ++n;
    }
  }
  StoredHeader h{kMagic, static_cast<std::uint16_t>(n), static_cast<std::uint16_t>(sizeof(StoredEntry))};
  std::memcpy(out, &h, sizeof h);
  return static_cast<int>(sizeof h + n * sizeof(StoredEntry));
}

bool loadLocked(const void* src, int size) {
  StoredHeader h;
  if (!src || size < static_cast<int>(sizeof h)) return false;
  std::memcpy(&h, src, sizeof h);
  if (h.magic != kMagic || h.entrySize != sizeof(StoredEntry) || h.count > kOmStoreMaxEntries) {
    return false;
  }
  if (static_cast<int>(sizeof h + h.count * sizeof(StoredEntry)) > size) return false;
  for (int s = 0; s < kOmStreams; ++s) omGetMsgSet(s)->clear();
  const auto* in = static_cast<const unsigned char*>(src);
  for (int k = 0; k < h.count; ++k) {
    StoredEntry e;
    std::memcpy(&e, in + sizeof h + k * sizeof(StoredEntry), sizeof e);
    MsgSet* set = omGetMsgSet(e.stream);
    if (!set) continue;
    std::size_t len = strnlen(e.name, sizeof e.name);
    int idx = msgPool.find(e.group, e.name, static_cast<int>(len));
    if (idx < 0) continue;  // a message this build does not have
    if (e.params.period < 0 || e.params.count < 0) continue;
    set->enable(idx, e.params);
  }
  return true;
}

}  // namespace

void omSetSetStore(OmSetStore* store) { g_store = store; }

void omPersistSets() {
  if (!g_store) return;
  Locker<Mutex> l(omMutex());
  std::memset(g_image, 0, sizeof g_image);
  saveLocked(g_image, kImageSize);
  g_store->save(g_image, kImageSize);
}

void omLoadStoredSets() {
  if (!g_store) return;
  Locker<Mutex> l(omMutex());
  if (g_store->load(g_image, kImageSize)) loadLocked(g_image, kImageSize);
}
