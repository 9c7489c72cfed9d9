#include "gnss_link/peripherals/button_keys.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "files/log_files.h"
#include "gnss_link/peripherals/buttons.h"
#include "output/msg_sched.h"
#include "platform/leds.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"

namespace {

const char* const kActions = "led,dyn,tcpcl";
const char* const kAutoModes = "off:n:no,on:y:yes,always";
constexpr int kFineMax = 300;
constexpr double kPeriodMin = 0.1;
constexpr double kPeriodMax = 100.0;

std::int32_t storedPeriod() {
  const std::uint8_t* b = RcvSet.fileButton.periodMs;
  return static_cast<std::int32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24);
}

void applyPeriod(std::int32_t ms) {
  std::int32_t p[4];
  std::memcpy(p, dsGetParams(msgPeriod1), sizeof p);
  p[0] = ms;
  dsSetParams(msgPeriod1, p);
}

int setPeriod(const ZRNamedNode* v) {
  double s = 0;
  if (int rc = setDouble(v, s, kPeriodMin, kPeriodMax)) return rc;
  const auto ms = static_cast<std::int32_t>(std::lround(s * 1000.0 / 5.0) * 5);
  std::uint8_t* b = RcvSet.fileButton.periodMs;
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(ms) >> (8 * i));
  applyPeriod(ms);
  nv_writeRcvSettings();
  return CMD_OK;
}

int setName(const ZRNamedNode* v) {
  if (!v) return CMD_2ND_MISSED;
  if (v->isEmpty()) return FileButton::setFileName(nullptr) ? CMD_OK : CMD_OUT_OF_RANGE;
  if (!v->isText()) return CMD_WRONG_2ND;
  return FileButton::setFileName(v->text()) ? CMD_OK : CMD_OUT_OF_RANGE;
}

}  // namespace

int btncSet(const char* p, const ZRNamedNode* v) {
  int i = 0;
  if (std::strcmp(p, "action") == 0) {
    if (int rc = setEnum(v, i, kActions)) return rc;
    FileButton::setAction(i);
    return CMD_OK;
  }
  if (std::strcmp(p, "fine") == 0) {
    if (int rc = setInt(v, i, 0, kFineMax)) return rc;
    PosLed::setFineSeconds(i, kLedGreen);
    return CMD_OK;
  }
  if (std::strcmp(p, "period") == 0) return setPeriod(v);
  if (std::strcmp(p, "auto") == 0) {
    if (int rc = setEnum(v, i, kAutoModes)) return rc;
    FileButton::setAuto(i);
    return CMD_OK;
  }
  if (std::strcmp(p, "file") == 0) return setName(v);
  if (std::strcmp(p, "dyn") == 0) {
    if (int rc = setEnum(v, i, cfGetDynSpec())) return rc;
    cfSetDefDynamic(i);
    RcvSet.fileButton.defDynamic = static_cast<std::uint8_t>(i);
    nv_writeRcvSettings();
    return CMD_OK;
  }
  if (std::strcmp(p, "rot") == 0) {
    bool on = false;
    if (int rc = setBool(v, on)) return rc;
    FileButton::setLogRot(on);
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

int btncPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "action")) rc = reEnum(re, FileButton::getAction(), kActions);
  if (strcmpA(p, "fine")) rc = reLong(re, 0);
  if (strcmpA(p, "auto")) rc = reEnum(re, FileButton::getAuto(), kAutoModes);
  if (strcmpA(p, "file")) {
    const char* n = FileButton::getFileName();
    rc = reString(re, n ? n : "");
  }
  if (strcmpA(p, "dyn")) rc = reEnum(re, cfGetDefDynamic(), cfGetDynSpec());
  if (strcmpA(p, "rot")) rc = reBool(re, FileButton::getLogRot());
  return rc;
}

bool registerButtonArea() { return parRegisterArea("button", btncSet, btncPrint); }

void buttonPeriodRestore() {
  const std::int32_t ms = storedPeriod();
  if (ms >= static_cast<std::int32_t>(kPeriodMin * 1000) && ms <= static_cast<std::int32_t>(kPeriodMax * 1000)) applyPeriod(ms);
}
