#include <cstring>

#include "positioning/geodesy/datum_in_use.h"
#include "positioning/geodesy/got_datum.h"
#include "settings/nav_settings.h"

bool assignDatum(const char* name, NavTask::DATUM_IN_USE* datum) {
    if (datum == nullptr) return false;
    // The received datum is always in the list, as the last received set left it.
    if (name != nullptr && std::strcmp(name, "GOT") == 0) {
        *datum = GotDatum.datum;
        return true;
    }
    DtmList::ELL_PARAMS ell;
    DtmList::DATUM_PARAMS_STORE store;
    int index = 0;
    if (!DtmList::getDatum(name, &ell, &store, &index)) return false;
    std::memcpy(datum->name, store.name, sizeof datum->name);
    EllMath::setEllPar(ell, &datum->ell);
    DtmList::transform(store, &datum->prm);
    datum->res = nullptr;
    datum->area = nullptr;
    datum->separateResidualHeight = 0;
    datum->heightType = 0;
    return true;
}

void navDatumDefaults(std::uint8_t* area, std::size_t size) {
    static_assert(sizeof(NavTask::DATUM_IN_USE) <= NavTask::kDatumBytes);
    static_assert(alignof(NavTask::DATUM_IN_USE) <= 8);
    if (area == nullptr || size < sizeof(NavTask::DATUM_IN_USE)) return;
    NavTask::DATUM_IN_USE d{};
    if (assignDatum("W84", &d)) std::memcpy(area, &d, sizeof d);
}
