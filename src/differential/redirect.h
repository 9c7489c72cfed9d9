// Relay of correction streams to the GNSS board: every chunk a port in a correction mode
// receives is copied to one of five link ports (dev/shm/d..h), announced to the board with the
// port's input mode, so that the board decodes the same stream. The board's data-link report
// names these links; it is rewritten to name the receiver's own ports.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/hook.h"
#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"

class DecRedir {
 public:
  // Null selects the null sink.
  void setDest(OutPort* dest);
  OutPort* dest() const { return dest_.load(); }
  // Writes the bytes to the destination, waiting up to kWaitTicks for the GNSS board's link to
  // take them.
  void send(const void* data, int len);

  // The link holds about 100 kB; a stream arriving faster than the board drains it (a recording
  // sent over a port at full speed) would otherwise lose every chunk that finds it full. The wait
  // only holds the correction task while the board is not reading; a board that takes nothing for
  // a second loses the chunk, so that it cannot stop the decoding of every port.
  static constexpr int kWaitTicks = 100;

  static NullOutPort null_;

 private:
  std::atomic<OutPort*> dest_{&null_};
};

struct IOMap {
  static constexpr int kLinks = 5;
  // Indexed by decoder port + 1: the link (1..5) that port holds, 0 none.
  std::uint8_t out[InPorts::DEC_NUM + 1];
  // Indexed by link: the decoder port + 1 that holds it, 0 free.
  std::uint8_t in[kLinks + 1];
};

class RedirMap {
 public:
  static constexpr int kFirstLink = IOP_SHM_A + 3;  // port index of link 1, dev/shm/d
  static constexpr int kDlMax = 1024;

  // The link port index a decoder port holds, taking the lowest free one; IOP_NULL when all
  // five are held.
  static int obtain(int decPort);
  static int find(int decPort);
  static void release(int decPort);
  // The board's data-link report; texts of more than kDlMax characters are ignored.
  static void updateDl(const char* text, int len);
  // Copies the kept report into `out` (terminated, at most size - 1 characters); its length.
  static int getDl(char* out, int size);

 private:
  static IOMap map_;
};

// The relay entry of a decoder type and decoder port (null out of range).
DecRedir* decRedirsGet(int type, int decPort);
// Called by the port layer after a port's input mode changed.
void decRedirsModeChange(int portIndex, int mode);

// Sending to the GNSS board (the board link lives above this layer and fills it at start-up).
extern Hook<void(const void* data, int len)> decBoardSendHook;
