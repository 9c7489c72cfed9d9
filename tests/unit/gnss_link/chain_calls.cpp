#include "unit/gnss_link/chain_calls.h"

#include "positioning/rcv_output.h"

namespace chaincalls {
namespace {
bool g_open = false;
}
std::vector<std::string>& notes() {
  static std::vector<std::string> n;
  return n;
}
void open() { notes().clear(), g_open = true; }
void close() { g_open = false; }
void note(const char* name) {
  if (g_open) notes().push_back(name);
}
}  // namespace chaincalls

// The linker's names of the wrapped functions: omPrepare(long), omOutput(long), diffInitCoding(),
// baseMakeCoding(), RCV_OUTPUT::computeParams(), alanVariance().
extern "C" {
void __real__Z9omPreparel(long t);
void __real__Z8omOutputl(long t);
void __real__Z14diffInitCodingv();
void __real__Z14baseMakeCodingv();
void __real__ZN10RCV_OUTPUT13computeParamsEv(RCV_OUTPUT* self);
void __real__Z12alanVariancev();

void __wrap__Z9omPreparel(long t) {
  chaincalls::note("omPrepare");
  __real__Z9omPreparel(t);
}
void __wrap__Z8omOutputl(long t) {
  chaincalls::note("omOutput");
  __real__Z8omOutputl(t);
}
void __wrap__Z14diffInitCodingv() {
  chaincalls::note("diffInitCoding");
  __real__Z14diffInitCodingv();
}
void __wrap__Z14baseMakeCodingv() {
  chaincalls::note("baseMakeCoding");
  __real__Z14baseMakeCodingv();
}
void __wrap__ZN10RCV_OUTPUT13computeParamsEv(RCV_OUTPUT* self) {
  chaincalls::note("RCV_OUTPUT::computeParams");
  __real__ZN10RCV_OUTPUT13computeParamsEv(self);
}
void __wrap__Z12alanVariancev() {
  chaincalls::note("alanVariance");
  __real__Z12alanVariancev();
}
}
