// The board's readings every five seconds, by task PRFP: the supply voltages from the
// processor's ADC, the CPU temperature and the input voltage the power controller measures, as
// floats in miscPar for the status messages. A reading the board cannot give (no IIO device, no
// thermal zone) is reported once until it comes back, not on every pass.
#pragma once

#include <cstdint>

class MCU_c8051f330;

struct AdcMeasEntry {
  double scale;    // divider in front of the ADC input
  int parIndex;    // where the volts go in miscPar
  int device;      // IIO device number
  int channel;     // channel of the device
  char name[37];
};
inline constexpr int kAdcMeasCount = 3;
extern const AdcMeasEntry adcMeas[kAdcMeasCount];

// miscPar entries written here besides the ADC table's.
inline constexpr int kMiscCpuTemp = 92;
inline constexpr int kMiscPwrIn = 15;
inline constexpr int kMiscPwrIn2 = 21;
// Volts of one ADC count (3.3 V over 12 bits) and of one count of the controller's input reading.
inline constexpr double kAdcVoltsPerCount = 0.0008056640625;
inline constexpr double kPwrInVoltsPerCount = 0.016155774050510895;
// Least time between two passes, microseconds.
inline constexpr std::uint32_t kPerifPassGapUs = 4500000;

// The raw reading of an IIO channel; -1 when its file cannot be opened, -2 when it holds no number.
int getADCValSys(int device, int channel);
// The CPU temperature in millidegrees; false (value 0) when it cannot be read.
bool getThermoCpu(int& value);

// The valid flag of the power readings: set after every reader pass and by the GNSS board's
// power record (the status messages that read it are not part of this program).
void setValidPwrMeas(int valid);

// One reader over a controller link and a microsecond clock (a wrapping 32-bit count).
class PerifReader {
 public:
  using Clock = std::uint32_t (*)();
  PerifReader(MCU_c8051f330& mcu, Clock clock) : mcu_(mcu), clock_(clock) {}
  // One pass, unless the last one is less than kPerifPassGapUs ago; true when it ran.
  bool pass();

 private:
  void readInputVoltage();

  MCU_c8051f330& mcu_;
  Clock clock_;
  bool ran_ = false;
  std::uint32_t last_ = 0;
  bool debug_ = false;
};

// The receiver's reader pass.
void perifProcLnx();
// Creates and resumes task PRFP once; false when it could not start.
bool perifProcLnxInit(int priority);
