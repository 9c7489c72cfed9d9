#include "platform/perif_readings.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/debug.h"
#include "platform/gpio.h"
#include "platform/host_path.h"
#include "platform/mcu_link.h"
#include "platform/misc_par.h"
#include "platform/mono_clock.h"
#include "platform/rtos.h"

const AdcMeasEntry adcMeas[kAdcMeasCount] = {
    {2.0, 11, 0, 0, "+3V8"},
    {1.0, 27, 0, 1, "+1V8"},
    {1.0, 31, 0, 2, "+0V9"},
};

namespace {

constexpr int kDbgReaderOn = 85708000;
constexpr int kDbgReaderOff = 85708001;
constexpr int kDbgReaderSkip = 58256;

// The controller's input-voltage reading: command 10 with parameters 1 and 0, a 4-byte answer.
constexpr int kPwrInCmd = 10;
constexpr int kPwrInPar1 = 1;
constexpr int kPwrInPar2 = 0;
constexpr int kPwrInLen = 4;
constexpr int kPwrInTries = 5;
constexpr int kReadyLine = 91;  // driven high once the reader runs

constexpr int kIioDevices = 8;
constexpr int kIioChannels = 16;

// What the readings keep between calls: the valid flag, the open temperature file, and the
// once-per-absence reports (a flag per IIO device and channel, 8 x 16, and one for the thermal
// zone; each cleared by the next good reading).
struct PerifState {
  std::atomic<bool> pwrDataValid{false};
  std::atomic<bool> adcSaid[kIioDevices * kIioChannels] = {};
  std::atomic<bool> adcBeyondSaid{false};
  Mutex thermoMutex;
  int thermoFd = -1;  // kept open between reads (-1 closed)
  std::atomic<bool> thermoSaid{false};
};
PerifState g_perif;

std::atomic<bool>& adcSaid(int device, int channel) {
  if (device < 0 || device >= kIioDevices || channel < 0 || channel >= kIioChannels) return g_perif.adcBeyondSaid;
  return g_perif.adcSaid[device * kIioChannels + channel];
}

}  // namespace

int getADCValSys(int device, int channel) {
  char abs[96];
  std::snprintf(abs, sizeof abs, "/sys/bus/iio/devices/iio:device%d/in_voltage%d_raw", device, channel);
  char path[160];
  hostPath(abs, path, sizeof path);
  std::atomic<bool>& said = adcSaid(device, channel);
  FILE* f = std::fopen(path, "re");
  if (!f) {
    if (!said.exchange(true)) debPrintfx(-1, "[i]getADCValSys(): error reading file [%s]\n", path);
    return -1;
  }
  int v = 0;
  const bool got = std::fscanf(f, "%d", &v) == 1;
  std::fclose(f);
  if (!got) {
    if (!said.exchange(true)) debPrintfx(-1, "[i]getADCValSys(): Can't read measurement %s\n", path);
    return -2;
  }
  said.store(false);
  return v;
}

bool getThermoCpu(int& value) {
  Locker<Mutex> l(g_perif.thermoMutex);
  int& fd = g_perif.thermoFd;
  char path[128];
  hostPath("/sys/class/thermal/thermal_zone0/temp", path, sizeof path);
  if (fd < 0) fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (!g_perif.thermoSaid.exchange(true)) debPrintfx(-1, "[i]getThermoCpu(EXIT): ERROR: open %s\n", path);
    value = 0;
    return false;
  }
  char buf[16];
  // From offset 0 on every pass: a second plain read of the open file would only find its end.
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  if (n <= 0 || n > 10) {
    if (!g_perif.thermoSaid.exchange(true)) debPrintfx(-1, "[i] getThermoCpu(EXIT) ERROR read %d\n", static_cast<int>(n));
    value = 0;
    ::close(fd);
    fd = -1;
    return false;
  }
  buf[n] = '\0';
  value = static_cast<int>(std::strtol(buf, nullptr, 10));
  g_perif.thermoSaid.store(false);
  return true;
}

void setValidPwrMeas(int valid) { g_perif.pwrDataValid.store(valid != 0); }

bool PerifReader::pass() {
  const int sel = boardDebugSelector();
  if (sel == kDbgReaderOn) debug_ = true;
  if (sel == kDbgReaderOff) debug_ = false;
  if (debug_) debPrintfx(-1, "$$perifProcLnx\r\n");
  // Unsigned difference: the microsecond count wraps every 71.6 minutes.
  const std::uint32_t now = clock_();
  if (ran_ && now - last_ <= kPerifPassGapUs) return false;
  ran_ = true;
  last_ = now;
  if (debug_) debPrintfx(-1, "$$perifProcLnx: readAdc()\r\n$$ADCMeasLnx()\r\n");

  int milli = 0;
  if (getThermoCpu(milli)) {
    miscPar[kMiscCpuTemp].store(static_cast<float>(milli * 0.001));
    if (debug_) debPrintfx(-1, "$ADCMeasLnx(): CPU Temperature= %.2f\n", milli * 0.001);
  } else {
    miscPar[kMiscCpuTemp].store(0.0f);
  }

  bool adcOk = true;
  for (const AdcMeasEntry& e : adcMeas) {
    const bool quiet = adcSaid(e.device, e.channel).load();
    const int raw = getADCValSys(e.device, e.channel);
    if (raw < 0) {
      if (!quiet) debPrintfx(-1, "[i]getADCVal() Error getADCValSys(), adcVal= %d, EXIT\n", raw);
      adcOk = false;
      break;
    }
    const double volts = raw * kAdcVoltsPerCount;
    miscPar[e.parIndex].store(static_cast<float>(volts * e.scale));
    if (debug_) {
      debPrintfx(-1, "[i]getADCVal(): ADC %d= %4d, dev%d/in_voltage%d, %5.2f, %5.2f, %s\n", e.parIndex, raw,
                 e.device, e.channel, volts, volts * e.scale, e.name);
    }
  }
  if (adcOk) readInputVoltage();
  setValidPwrMeas(1);
  return true;
}

void PerifReader::readInputVoltage() {
  std::uint8_t ans[kPwrInLen] = {};
  int len = kPwrInLen;
  if (!mcu_.cmdAnsw(kPwrInCmd, kPwrInPar1, kPwrInPar2, ans, len, kPwrInTries)) {
    if (debug_) debPrintfx(-1, "[i]getADCPBC(): Error: read ADC\n");
    return;
  }
  if (c8051f330_getCS(ans + 1, len - 2) != ans[len - 1]) {
    if (debug_) debPrintfx(-1, "[i]getADCPBC(): Error: CS\n");
    return;
  }
  const unsigned raw = static_cast<unsigned>(ans[1] | (ans[2] << 8));
  const auto volts = static_cast<float>(raw * kPwrInVoltsPerCount);
  miscPar[kMiscPwrIn].store(volts);
  miscPar[kMiscPwrIn2].store(volts);
  if (debug_) debPrintfx(-1, "[i]getADCPBC(2): PWR_IN= 0x%02x, %.1f\n", raw, static_cast<double>(volts));
}

namespace {

PerifReader g_reader(mcuPwr, timerGet);
BinSem g_prfpWake;

}  // namespace

void perifProcLnx() { g_reader.pass(); }

namespace {

void* perifProc(void*) {
  Task::sleep(100);
  mcuPortsInitMaster();
  if (setPinOutEn(kReadyLine, 1) != 0) std::fprintf(stderr, "$$initAdc(EXIT) ERROR setPinOutEn() pin= %d\n", kReadyLine);
  for (;;) {
    if (boardDebugSelector() != kDbgReaderSkip) perifProcLnx();
    g_prfpWake.wait(500);
  }
  return nullptr;
}

}  // namespace

bool perifProcLnxInit(int priority) {
  static Task task(priority, perifProc, nullptr, "PRFP", 4096);
  task.resume();
  return task.started();
}
