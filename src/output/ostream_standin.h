// The output side of a port as the output manager sees it. The port model proper replaces
// this with its own class of the same name; only the timed write is used here.
#pragma once

class OStream {
 public:
  virtual ~OStream() = default;
  // Takes up to `len` bytes, waiting at most `timeout` 10 ms ticks for room (0: never waits);
  // returns the number of bytes taken.
  virtual int write(const void* data, int len, int timeout) = 0;
};
