// Commands that arrive wrapped in a port's native stream are handed over here, so that the task
// decoding the stream never waits for the command parser: a command that changes that port's
// input mode makes the parser reset the port's decoder, which would otherwise wait for a decoder
// task that itself waits for the parser. A task of its own takes the copies to the parser, one
// at a time and in order.
#pragma once

#include <cstdint>

struct WrappedCommands {
  static constexpr int kSlots = 8;
  static constexpr int kMaxText = 1535;
  // Task priority: just below the correction-decoder task's.
  static constexpr int kPriority = 14;

  // Copies the text; false when it is empty, too long or every slot is taken (then dropped). Starts the hand-over task on first use.
  static bool post(const char* text, int len, int port);
};
