// The keys that switch the correction stages and choose their models, each a field of the
// correction-processor setup (the TEC calibration one of the satellite-processor setup), under
// /par/pos/:
//   iono/model, iono/klob, iono/nequick, iono/glo, iono/glosrc, iono/user, iono/wd
//                       the ionosphere model of satellites without wide-area correction, the
//                       Klobuchar source (off switches the stage off), NeQuick and the GLONASS
//                       model on, the GLONASS model's solar activity, the user's models, the
//                       wide-area ionosphere
//   tec/calib           the channels' TEC calibration
//   tropo/map/user, tropo/map/type   a mapping function of the user's in place of the model's
//   wd/...              the wide-area service, its source rule, sources and time-outs
//   cd/...              the code-differential source (RTCM 2 or SLAS), station choice, time-outs
// (the GBAS stage's settings have keys of their own under /par/gbas/, gbas_keys.h)
#pragma once

#include "positioning/setup_keys.h"

const SetupKeys::Table& corrSetupKeys();
