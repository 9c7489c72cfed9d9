// Base of the stores that keep received RTCM code corrections: the age limits all of them share,
// and the RTCM interface settings of the correction-input ports built on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/rcv_time_scales.h"

class RTCM_Storage {
 public:
  static constexpr std::int16_t kDefaultMaxAge = 30;       // s, code corrections
  static constexpr std::int16_t kDefaultMaxIonoAge = 300;  // s, ionosphere corrections

  RTCM_Storage();
  virtual ~RTCM_Storage() = default;

  virtual void init();
  virtual std::int16_t getMaxAge();
  // Sets the limit of every store.
  virtual void setMaxAge(std::int16_t age);
  virtual void startToProcess(tSvType, int) {}

  static std::int16_t getMaxIonoAge() { return maxIonoAge; }
  std::int32_t getSelection() const { return selection; }

 protected:
  std::int32_t selection = -1;

 private:
  static inline std::int16_t maxAge = kDefaultMaxAge;
  static inline std::int16_t maxIonoAge = kDefaultMaxIonoAge;
};

class RTCM_Int : public RTCM_Storage {
 public:
  static constexpr int kPorts = 22;

  struct RTCM_INT_SETTINGS {
    std::uint8_t enable[3];  // per kind of data
    std::uint8_t count;
    std::int32_t inputPort;  // -2: none
    std::uint16_t value;
    std::uint16_t spare;
    std::uint32_t reserved[2];
  };
  static_assert(sizeof(RTCM_INT_SETTINGS) == 20 && offsetof(RTCM_INT_SETTINGS, inputPort) == 4);

  // Satellites the port's corrections were last seen for.
  struct PortRecord {
    static constexpr std::uint8_t kNoSat = 0xFF;
    std::uint8_t sat[6];
    std::uint8_t pad[2];
  };
  static_assert(sizeof(PortRecord) == 8);

  explicit RTCM_Int(int ports);

  void setSettings(const RTCM_INT_SETTINGS& s) { settings = s; }
  const RTCM_INT_SETTINGS& getSettings() const { return settings; }
  void init() override {}
  const PortRecord& port(int i) const { return ports_[i >= 0 && i < kPorts ? i : 0]; }
  int portCount() const { return portCount_; }

  static RTCM_INT_SETTINGS defaults();

 private:
  RTCM_INT_SETTINGS settings{};
  PortRecord ports_[kPorts]{};
  int portCount_ = 0;
};

extern RTCM_Int RtcmInt;
