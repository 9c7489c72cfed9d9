// The message sets in the settings image: one block holding the stored form of every set.
#include "output/om_nv_store.h"

#include "output/output_manager.h"
#include "platform/nv_block.h"

namespace {

class NvSetStore : public OmSetStore {
 public:
  bool load(void* dst, int n) override {
    if (block_.isValid() && block_.read(dst, static_cast<std::uint32_t>(n), 0)) return true;
    block_.sayDefaultsRestored("message sets");
    return false;
  }
  bool save(const void* src, int n) override {
    return block_.update(src, static_cast<std::uint32_t>(n), 0);
  }
  bool allocate() {
    return block_.isAllocated() ||
           block_.allocate(static_cast<std::uint32_t>(kOmStoreImageSize), kOmSetsBlockId, true, true);
  }

 private:
  NvBlock block_;
};

NvSetStore g_nvStore;

}  // namespace

bool omNvAlloc() {
  if (!g_nvStore.allocate()) return false;
  omSetSetStore(&g_nvStore);
  return true;
}
