// Task DECT: ports in a correction mode hand their chunks over one at a time through a
// single-slot mailbox; each chunk is relayed to the GNSS board and then decoded by the port's
// input decoder. decProcess does the same work at once in the caller's task.
#pragma once

#include <cstdint>

#include "differential/input_decoders.h"
#include "differential/redirect.h"
#include "platform/ports/in_port.h"
#include "platform/rtos.h"

class DiffHandler : public InPortHandler {
 public:
  // Posts the chunk and waits until DECT has relayed and decoded it; takes everything.
  int process(const std::uint8_t* buf, int off, int len, bool mustTake) override;
  // Posts a reset of the port's decoder (entering or leaving alike).
  void reset(bool entering) override;

  DecRedir* redir = nullptr;
  int type = InDecs::kNone;
  int port = -1;

  static MailBoxImp& mBox_;
  static DiffHandler h_[InDecs::TYPE_NUM][InPorts::DEC_NUM];
};

// Starts DECT (first call only); true when it runs.
bool decProcInit(int priority);
// Builds the input decoders and installs the handlers of the correction modes on every port
// made so far (the links to the GNSS board get none). Ports whose stored mode is a correction
// mode get their relay link and status as a mode change would give them.
void decInitOnce();
// Installs the handlers on one port made later; false when it has no decoder port.
bool decAttachPort(int portIndex);
// One chunk (data) or reset (null data) of a type and decoder port, done in the caller's task.
void decProcess(InDecs::Type type, InPorts::DecPortIndex port, const void* data, int len);
// The decoder-status mode of an input mode: the decoder type (RTCM 2 0, CMR 1, native 2, RTCM 3 3,
// GBAS 4, SISNeT 5, auto 6), 8 outside the correction modes.
int decStatusMode(int inputMode);

// Holds, for its life, the lock under which DECT and decProcess run the decoders: another task
// that changes what the decoders read between chunks (the base clean-up of the parser) holds it
// and so waits for the chunk under way. The task that runs a decoder may take it again.
class DecWorkHold {
 public:
  DecWorkHold();
  ~DecWorkHold();
  DecWorkHold(const DecWorkHold&) = delete;
  DecWorkHold& operator=(const DecWorkHold&) = delete;
};
