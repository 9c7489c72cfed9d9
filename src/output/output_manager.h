// The output manager: one output stream per port index (0..42), each with its message set.
// Once per epoch the per-epoch task marks the messages that fall due (omPrepare) and later
// writes them (omOutput). Writes never wait: a port that cannot take a message drops it and
// the stream counts the drop.
#pragma once

#include <cstdint>

#include "output/msg_pool.h"
#include "output/msg_sched.h"
#include "output/msg_set.h"
#include "output/zr_std_msg.h"
#include "platform/hook.h"

class OStream;
class Mutex;

using OmStream = int;
constexpr int kOmStreams = 43;
constexpr OmStream kOmNoStream = 43;  // also the port index "none"
constexpr int kOmBufSize = ZRStdMsg::kHeader + ZRStdMsg::kMaxBody + 8;

struct OmStreamInfo {
  OmStreamInfo();
  OmStreamInfo(const OmStreamInfo&) = delete;
  OmStreamInfo& operator=(const OmStreamInfo&) = delete;

  // Completes the writer's message and writes it to the stream's port without waiting
  // (or within `timeout` ticks when that is set); false when it was dropped.
  bool write() const;

  OmStream stream = kOmNoStream;
  int port = kOmNoStream;
  OStream* os = nullptr;           // the port's output; none: everything is dropped
  long time = -1;                  // epoch time (ms of day) of the current output
  const MsgSchedParams* params = nullptr;  // schedule of the message being written
  int timeout = 0;                 // ticks a write may wait; 0 outside the start messages
  std::uint8_t rtcm3Tried = 0;     // set to 1 when an RTCM 3 message was attempted
  std::uint8_t rtcm3Built = 0;     // whether the last RTCM 3 build produced a frame
  mutable std::uint32_t sent = 0;     // messages written whole
  mutable std::uint32_t dropped = 0;  // messages the port could not take
  char buf[kOmBufSize];
  mutable ZRStdMsg writer;
};

OmStream omPortToStream(int port);
int omStreamToPort(OmStream stream);
// The record of a stream; null for none.
OmStreamInfo* omGetStreamInfo(OmStream stream);
// The message set of a stream; null for streams above 42.
MsgSet* omGetMsgSet(OmStream stream);

// Called before a stream's due messages are written (the coders prepare per stream).
extern Hook<void(long t, int stream)> omStreamFunc;
using OmStreamFunc = void (*)(long t, int stream);
// Installs the hook; returns the one it replaces.
OmStreamFunc omSetStreamFunc(OmStreamFunc func);

// Marks, and then writes, the messages due at receiver time t (ms of day) on every stream.
void omPrepare(long t);
void omOutput(long t);

// Writes every enabled message of a stream once, single messages first, then each part of the
// multi-part ones, calling `hook` after each (the GNSS board paces the start messages).
using OmStartHook = bool (*)();
void zrmOutStartMsgs(OmStreamInfo& si, OmStartHook hook);

// Enable flags of the RTCM 2 (23) and CMR (5) coders from the messages due on any stream.
// (sets the stored rtcmMode of the RTCM settings while any RTCM 2 message is due)
bool rtcmmMakeOut(bool plan[], int size);
bool cmrmMakeOut(bool plan[], int size);

// The spectrum message ("zrt/SP", once its writer is registered): spCheckOut re-evaluates the
// streams that carry it and returns how many do.
int spCheckOut();

// The output manager's lock (preparation, output and changes of the message sets).
Mutex& omMutex();

// Start-up: registers the native messages of this layer, runs the registrars of the layers
// above (added before the call), then restores the stored message sets.
extern HookList<void()> omRegistrars;
using OmRegistrar = void (*)();
void omAddRegistrar(OmRegistrar registrar);
void omInitOnce();

// ---- Message lists of the "em" and "dm" verbs ----------------------------------------
// spec: "group/name[:period]" or "group/{name[:period],...}[:period]", the period in seconds
// ("0" every epoch, none the message's default); for disabling also "group" alone, and null
// or "" for every message of the stream. A leading "/msg/" is accepted.
// kStationId: the group's format cannot carry the base's station id (omEnableCheck), so nothing
// of it is enabled.
enum class OmListResult { kOk, kSyntax, kUnknownGroup, kUnknownMsg, kBadPeriod, kNoStream, kStationId };
// Whether messages of a pool group may be enabled now; empty: all may.
extern Hook<bool(int group)> omEnableCheck;
OmListResult omEnableMsgs(OmStream stream, const char* spec);
OmListResult omDisableMsgs(OmStream stream, const char* spec);
// Whether any stream enables a message of the pool group.
bool omGroupEnabled(int group);
// Prints a stream's set as "{group={name=period,...},...}" (period in seconds); returns the
// length, -1 when it did not fit.
int omPrintMsgSet(OmStream stream, char* buf, int size);

// ---- Persistence of the message sets ------------------------------------------------------
// Where the sets are kept between runs; stored by group and name so that messages added to
// the pool later never shift what was stored.
class OmSetStore {
 public:
  virtual ~OmSetStore() = default;
  virtual bool load(void* dst, int n) = 0;
  virtual bool save(const void* src, int n) = 0;
};
void omSetSetStore(OmSetStore* store);
constexpr int kOmStoreMaxEntries = 512;
// Size of the stored form (header and every record), the size of its settings block.
constexpr int kOmStoreImageSize = 8 + kOmStoreMaxEntries * 28;
