// Reads of files that come in pieces, as a slow medium gives them: the linker sends every call of
// read() in this test executable through a wrapper (cmake/RxTests.cmake), which hands out at most
// the set number of bytes per call while one is set.
#pragma once

namespace shortreads {

// At most `bytes` per read from now on; 0: whole reads again.
void set(long bytes);

}  // namespace shortreads
