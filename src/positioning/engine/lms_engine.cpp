#include "positioning/engine/lms_engine.h"

#include <cstring>

LMSEngine LMSEngineInstance(&PVTDataInstance);

LMSEngine::LMSEngine(PVTDataType* store)
    : pStore_(store),
      pPosition_(store != nullptr ? &store->position : nullptr),
      H_(kStates, kMeasurements, false),
      Ht_(kStates, kMeasurements, false),
      W_(kStates, kMeasurements, false),
      R_(kStates, kMeasurements, false),
      N_(kStates, kStates, false) {}

bool LMSEngine::input_PositionData(const NavTask::NAV_POS& pos) {
  if (pStore_ == nullptr) return false;
  pStore_->lmsEngineSetup.Take(&setup_);
  if (pos.bNewPos == 0) return false;
  position_.dX = pos.dXyz[0];
  position_.dY = pos.dXyz[1];
  position_.dZ = pos.dXyz[2];
  position_.dLat = pos.dBlh[0];
  position_.dLon = pos.dBlh[1];
  position_.dHeight = pos.dBlh[2];
  position_.bValid = 1;
  bNewPosition_ = 1;
  double hMin = 0.0, hMax = 0.0;
  std::memcpy(&hMin, setup_.aBytes + kHeightMinOffset, sizeof hMin);
  std::memcpy(&hMax, setup_.aBytes + kHeightMaxOffset, sizeof hMax);
  bPositionAvailable_ = position_.check_AvailableData(hMin, hMax) ? 1 : 0;
  if (!bPositionAvailable_) return false;
  return pPosition_ != nullptr && pPosition_->Put(&position_) != 0;
}
