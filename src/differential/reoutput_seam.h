// Where decoders send the frames they re-output. The defaults reach the output ports and the
// native-format writer; a test (or the start-up wiring) may point them elsewhere.
#pragma once

struct DecOutputSeam {
  // Writes bytes to the output stream of a port index with no timeout; bytes written, or -1.
  int (*writePort)(int portIndex, const void* data, int len);
  // Writes bytes to a port index as the body of one native message wrapped for a stream; bytes
  // written, or -1.
  int (*writeWrapped)(int portIndex, int stream, const void* data, int len);
};

extern DecOutputSeam decOutputSeam;
