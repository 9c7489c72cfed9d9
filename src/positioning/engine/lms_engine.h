// The least-squares engine's state. On this receiver the position comes from the GNSS board,
// so the engine keeps its work records and solver storage (the shapes the rest of the engine's
// object graph expects) and takes initial positions, from a native position message or from
// the settings image at start, into the position server.
#pragma once

#include <cstdint>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/clock_filter.h"
#include "positioning/engine/matrix.h"
#include "positioning/engine/nav_sol.h"

class LMSEngine {
 public:
  static constexpr int kStates = 10;
  static constexpr int kMeasurements = 93;
  static constexpr int kHeightMinOffset = 224;  // setup: lowest and highest height (f64), m
  static constexpr int kHeightMaxOffset = 232;

  explicit LMSEngine(PVTDataType* store);
  LMSEngine(const LMSEngine&) = delete;
  LMSEngine& operator=(const LMSEngine&) = delete;

  // Takes a new initial position (the record's new-position byte set) into the position
  // server when it passes the setup's height bounds; a position that fails them is kept in the
  // work record as not available and nothing is published. True when a position was put.
  bool input_PositionData(const NavTask::NAV_POS& pos);

  const PosData::PositionDataType& position() const { return position_; }
  bool positionAvailable() const { return bPositionAvailable_ != 0; }

 private:
  PVTDataType* pStore_;
  PositionDataServerType* pPosition_;
  PosSetup::LMSEngineSetupType setup_{};
  PosData::PositionDataType position_{};
  std::uint8_t bPositionAvailable_ = 0;
  std::uint8_t bNewPosition_ = 0;
  PosData::SatdataDeltaTimeType deltaTime_{};
  ClockFilter11Type clock11_;
  ClockFilter22Type clock22_;
  MatrixDbl H_, Ht_, W_, R_;  // design, its transpose, weights, residual sets
  MatrixDbl N_;               // normal matrix
};

extern LMSEngine LMSEngineInstance;
