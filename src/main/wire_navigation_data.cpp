// Hooks of the navigation-data layer: the store hands the GLONASS satellite types it restores
// and the GPS signal generations of the almanacs it takes to the signal-type registry of the
// lock manager; the polynomials and almanac positions it publishes go into the receiver's frame
// of the positioning setup; the Galileo ionosphere coefficients feed the NeQuick model. The
// broadcast decoders publish into the positioning layer's data servers and read the receiver
// settings' GPS PRN table.
#include "gnss_link/lock_manager.h"
#include "main/hooks.h"
#include "navigation_data/decoders/nav_decoder_family.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/corrections/comp_corr_generator.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/sat_data_task.h"
#include "positioning/sat_polynom_frame.h"
#include "positioning/signal_tables.h"
#include "settings/rcv_settings.h"

namespace {

void putSatResetRequest(SvIdType sv, std::uint8_t signalMask, std::uint8_t reason) {
  const std::uint64_t slots = get_SlotMaskFromNavStreamMask(sv.sys, signalMask);
  PVTDataInstance.satelliteResetRequest.Put(&sv, static_cast<std::uint8_t>(slots & 0xFF), reason);
}

void putEphemerisReset(SvIdType sv) { PVTDataInstance.ephemerisResetRequest.Put(&sv, 1); }

void putKlobuchar(int sys, const ZRT_ION_GPS* ion) {
  const int idx = sys == kSysGps ? 0 : sys == kSysQzss ? 1 : sys == kSysBeidou ? 2 : sys == kSysNavic ? 3 : -1;
  if (idx < 0 || ion == nullptr) return;
  NavData::KlobIonoModelDataType rec{};
  rec.model = *ion;
  rec.bValid = ion->valid;
  // NavIC's model has a server (and settings block) of its own.
  KlobIonoModelDataServerType& server =
      idx == 3 ? PVTDataInstance.irnssKlobIonoModel : PVTDataInstance.klobIonoModel[idx];
  server.Put(&rec);
}

void putGloIono(SvIdType sv, float c0, std::uint16_t c1, std::uint16_t c2) {
  NavData::GlonassIonoModelDataType rec{};
  rec.bValid = 1;
  rec.uSatIndex = sv.si;
  rec.fC0 = c0;
  rec.uC1 = c1;
  rec.uC2 = c2;
  PVTDataInstance.glonassIonoModel.Put(&rec);
}

void putGbasEphIntegrity(SvIdType sv, std::uint16_t iod, std::uint16_t crc16) {
  NavData::GbasEphIntegrityDataType rec{};
  rec.uIod = iod;
  rec.uCrc = crc16;
  PVTDataInstance.gbasEphIntegrity.Put(&sv, &rec);
}

void putNmct(const NavNmctType* table) {
  if (table == nullptr) return;
  CorrData::NmctType rec{};
  rec.bValid = 1;
  rec.table = *table;
  PVTDataInstance.nmctData.Put(&rec);
}

void putNeQuick(const GalNeQuickParams& p) {
  NavData::NeQuickIonoModelDataType rec{};
  rec.bValid = 1;
  rec.uDisturbanceFlags = p.disturbanceFlags;
  rec.uWeek = p.week10;
  rec.ulTowMs = p.towMs;
  for (int k = 0; k < 3; ++k) rec.fAi[k] = p.ai[k];
  PVTDataInstance.neQuickIonoModel.Put(&rec);
}

int gpsPrnEntry(int index) { return index >= 0 && index < 32 ? RcvSet.gpsPrn[index] : -1; }

void putBdGlobalIono(const ZRT_ION_CMP* ion) {
  if (ion == nullptr) return;
  NavData::BDGlobalIonoModelDataType rec{};
  rec.model = *ion;
  rec.bValid = ion->valid;
  PVTDataInstance.bdGlobalIonoModel.Put(&rec);
}

// The satellites whose data waits for healthy signal flags: the setup's "dvs/check" mask.
std::uint64_t healthCheckSats(int sys) {
  PosSetup::SatProcessorSetupType s;
  if (sys < 0 || sys >= SYS_NUM || PVTDataInstance.satProcessorSetup.Take(&s) == 0) return 0;
  return satDataSetupFrom(s).satMasks[kMaskDvsCheck][sys];
}

int b2bSource() {
  PosSetup::SatProcessorSetupType s;
  return PVTDataInstance.satProcessorSetup.Take(&s) != 0 ? satSetupB2bSource(s) : 0;
}

}  // namespace

void wireNavigationData() {
  satDataLinks.setGloSatType = setGloSatType;
  satDataLinks.setGpsSatType = setGpsSatType;
  satDataLinks.gpsPhase3Update = gpsPhase3Update;
  satDataLinks.qzsPhase3Update = qzsPhase3Update;
  satDataLinks.beiPhase3Update = beiPhase3Update;
  satDataLinks.polynomToRcvFrame = transform_SatPolynomToRcvFrame;
  satDataLinks.positionToRcvFrame = transform_SatPositionToRcvFrame;
  navDecoderLinks.satResetRequest = putSatResetRequest;
  navDecoderLinks.ephemerisReset = putEphemerisReset;
  navDecoderLinks.klobuchar = putKlobuchar;
  navDecoderLinks.gbasEphIntegrity = putGbasEphIntegrity;
  navDecoderLinks.glonassIono = putGloIono;
  navDecoderLinks.nmct = putNmct;
  navDecoderLinks.gpsPrnEntry = gpsPrnEntry;
  navDecoderLinks.compUdre = put_CompUdreData;
  navDecoderLinks.compCorrection = put_CompCorrData;
  navDecoderLinks.compIonoBlock = put_CompIonoBlock;
  navDecoderLinks.compSourceState = put_CompSourceState;
  navDecoderLinks.bdGlobalIono = putBdGlobalIono;
  navDecoderLinks.healthCheckSats = healthCheckSats;
  navDecoderLinks.b2bSource = b2bSource;
  satDataLinks.galNeQuick = putNeQuick;
}
