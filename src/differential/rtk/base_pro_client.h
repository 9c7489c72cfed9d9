// The base buffer's client: every released base epoch runs the base-projection step of baseline
// 0 (UpdateExtrapolator) in the releasing task, and epochs on the afperiod grid signal the slow
// RTK step. UpdateExtrapolator pairs the base epoch with the rover epoch of the same id, keeps one
// reference satellite per system and signal, feeds the base phase and code into the projection
// models, screens them for outliers and updates them.
#pragma once

#include "differential/base/cpd_meas_buf.h"
#include "platform/rtos.h"

class CpdMeasBufClientImp final : public CpdMeasBuf::Client {
 public:
  // An epoch from another station or another base decoder than the one before first resets the
  // RTK engine of the baseline and empties its projection models (they hold the old base's
  // ambiguities and clock), whatever the position mode.
  void process(const CpdMeas& m) override;
  void reset() override;
  void setb(int b) { b_ = b; }
  int baseline() const { return b_; }
  // True when the epoch comes from another base than the last one; notes it as the last one.
  bool newBase(const CpdMeas& m);

 private:
  int b_ = 0;
  // The base of the last epoch: its decoder and its station (-1: not known yet). Epochs may be
  // released by the decoder task and by the board link's task.
  Mutex baseMutex_;
  int lastDecoder_ = -1;
  int lastStation_ = -1;
};

// The client the base buffer is built with (baseMeasBufClient points at it).
extern CpdMeasBufClientImp baseMeasBufClientImp;

// One base epoch of baseline b.
void UpdateExtrapolator(const CpdMeas& E, int b);
// Outlier statistic of signal s of the model in `slot`: its phase residual plus its reference's
// (when another satellite is the reference), in GPS L1 cycles for GLONASS.
double dExcl(int slot, int s, int b, int sys);
// The outlier screening of the models of baseline b; the caller holds the projection lock.
void baseProScreen(int b);
// The model updates closing a run; the caller holds the projection lock.
void baseProUpdateAll(int b);
