#include <cstring>

#include "positioning/geodesy/datum_in_use.h"

bool assignDatum(const char* name, NavTask::DATUM_IN_USE* datum) {
    if (datum == nullptr) return false;
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
