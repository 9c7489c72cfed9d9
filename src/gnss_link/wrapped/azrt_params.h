// Routing of wrapped and foreign data on a native-mode port: three parameters per decoder port,
// each {stream id, mode, target port}, kept in the receiver settings and searched in order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ports/in_port.h"

struct AzrtParams {
  // The target byte that stands for the receiving port itself.
  static constexpr std::uint8_t kSelf = '+';
  static constexpr int kAnyId = -1;
  static constexpr int kMinId = -1;
  static constexpr int kMaxId = 255;
  static constexpr int kMaxMode = 17;
  // Modes from here on route foreign data, those below it wrapped data.
  static constexpr int kFirstForeignMode = 14;
  enum Type : int { kWrapped = 0, kForeign = 1 };
  // mode >> 1
  enum Action : int {
    kCommand = 1,
    kOutput = 2,
    kOwnDecoder = 3,
    kRtcmDecoder = 4,
    kCmrDecoder = 5,
    kRtcm3Decoder = 6,
    kForeignCommand = 7,
    kForeignOutput = 8,
  };

  std::int16_t id;    // stream id; -1 matches any
  std::uint8_t mode;  // bit 0: strip the stream id (first byte); mode >> 1: the action; 0, 1 off
  std::uint8_t port;  // target port index, kSelf for the receiving port

  static constexpr AzrtParams resetValue() { return AzrtParams{kAnyId, 1, kSelf}; }
  bool match(int streamId, int type) const;
  bool strip() const { return (mode & 1) != 0; }
  int action() const { return mode >> 1; }
  // Packed as one 32-bit word, so that a port's task reads a whole parameter while the
  // command parser changes it.
  std::uint32_t pack() const;
  static AzrtParams unpack(std::uint32_t w);
  bool operator==(const AzrtParams&) const = default;
};
static_assert(sizeof(AzrtParams) == 4);
static_assert(offsetof(AzrtParams, id) == 0 && offsetof(AzrtParams, mode) == 2 && offsetof(AzrtParams, port) == 3);

struct AzrtParamSet {
  static constexpr int kCount = 3;
  AzrtParams p[kCount];
  // The first parameter that matches; null when none does.
  const AzrtParams* find(int streamId, int type) const;
};
static_assert(sizeof(AzrtParamSet) == 12);

// The stored routing: the receiver settings' routing area, one parameter set per decoder port.
struct AzrtNV {
  static constexpr int kPorts = InPorts::DEC_NUM;
  AzrtParamSet sets[kPorts];

  // Every parameter of the area takes its reset value.
  static void defaults();
  // Copies the area into the decoders (AzrtDecoders::decs_).
  static void restore();
  // Changes one parameter in the area and in its decoder; false out of range.
  static bool set(int decPort, int index, const AzrtParams& p);
  // One parameter as stored; the reset value out of range.
  static AzrtParams get(int decPort, int index);
  // True when the area holds nothing but zero bytes (a new image or restored factory settings).
  static bool blank();
};
static_assert(sizeof(AzrtNV) == 264);

// After the receiver settings are loaded or reset to factory values: a blank area takes the
// reset values (and is stored), then the decoders take the area.
void azrtSettingsAfterLoad();
