// Correction-model exchange records (the NeQuick request and the navigation-message
// correction table). Their users add the fields.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/nav_decoder_family.h"

namespace CorrData {

struct NeModelDataType {
  std::uint8_t bValid;
};

struct NmctType {
  std::uint8_t bValid;
  NavNmctType table;
};

}  // namespace CorrData
