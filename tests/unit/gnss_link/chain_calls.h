// The calls the per-epoch chain makes into the layers around it, noted in the order they come:
// the linker sends each through a wrapper of this test executable (cmake/RxTests.cmake), which
// notes its name while a note is open and passes the call on unchanged.
#pragma once

#include <string>
#include <vector>

namespace chaincalls {

// The names noted since `open`: "omPrepare", "omOutput", "diffInitCoding", "baseMakeCoding",
// "RCV_OUTPUT::computeParams", "alanVariance"; a test adds its own (its hooks).
std::vector<std::string>& notes();
void open();
void close();
void note(const char* name);

}  // namespace chaincalls
