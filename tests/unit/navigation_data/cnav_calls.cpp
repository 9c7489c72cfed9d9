#include "unit/navigation_data/cnav_calls.h"

namespace cnavcalls {
namespace {
Calls& calls() {
  static Calls c;
  return c;
}
}  // namespace
Calls take() {
  Calls c = std::move(calls());
  calls() = Calls{};
  return c;
}
}  // namespace cnavcalls

// The linker's names of SatelliteDataProcessor::update_GpsCnavDCData(SvIdType, const
// GpsCnavDCDataType&) and update_GpsCnavSysOffsetData(int, const GpsCnavSysOffsetDataType&).
extern "C" {
int __real__ZN22SatelliteDataProcessor20update_GpsCnavDCDataE8SvIdTypeRKN7NavData17GpsCnavDCDataTypeE(
    SatelliteDataProcessor* self, SvIdType id, const NavData::GpsCnavDCDataType& r);
int __real__ZN22SatelliteDataProcessor27update_GpsCnavSysOffsetDataEiRKN7NavData24GpsCnavSysOffsetDataTypeE(
    SatelliteDataProcessor* self, int sys, const NavData::GpsCnavSysOffsetDataType& r);

int __wrap__ZN22SatelliteDataProcessor20update_GpsCnavDCDataE8SvIdTypeRKN7NavData17GpsCnavDCDataTypeE(
    SatelliteDataProcessor* self, SvIdType id, const NavData::GpsCnavDCDataType& r) {
  cnavcalls::calls().dc.emplace_back(id, r);
  return __real__ZN22SatelliteDataProcessor20update_GpsCnavDCDataE8SvIdTypeRKN7NavData17GpsCnavDCDataTypeE(self, id, r);
}
int __wrap__ZN22SatelliteDataProcessor27update_GpsCnavSysOffsetDataEiRKN7NavData24GpsCnavSysOffsetDataTypeE(
    SatelliteDataProcessor* self, int sys, const NavData::GpsCnavSysOffsetDataType& r) {
  cnavcalls::calls().offset.emplace_back(sys, r);
  return __real__ZN22SatelliteDataProcessor27update_GpsCnavSysOffsetDataEiRKN7NavData24GpsCnavSysOffsetDataTypeE(self, sys,
                                                                                                                  r);
}
}
