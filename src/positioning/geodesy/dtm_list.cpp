#include "positioning/geodesy/dtm_list.h"

#include <cmath>
#include <cstring>

namespace {
constexpr double kArcsecToRad = 4.84813681109536e-6;

void copyName(char* dst, size_t size, const char* src) {
    size_t n = std::strlen(src);
    if (n >= size) n = size - 1;
    std::memcpy(dst, src, n);
    std::memset(dst + n, 0, size - n);
}
}  // namespace

const char cRtcmBaseDatumName[2][7][6] = {
    {"W84", "P90-R", "W84", "W84", "W84", "W84", "W84"},
    {"W84", "P90", "W84", "W84", "W84", "W84", "W84"},
};
const char cSlasBaseDatumName[7][6] = {"W84", "P90", "W84", "W84", "W84", "W84", "W84"};

bool DtmList::getEll(int i, ELL_PARAMS* ell) {
    if (i < 0 || i >= ELL_TOTAL || ell == nullptr) return false;
    copyName(ell->name, sizeof ell->name, Ellips[i].code);
    ell->a = Ellips[i].a;
    ell->rf = Ellips[i].rf;
    return true;
}

bool DtmList::getDatum(const char* name, ELL_PARAMS* ell, DATUM_PARAMS_STORE* store, int* index) {
    if (name == nullptr) return false;
    for (int i = 0; i < DATUM_TOTAL; ++i) {
        const DATUM_ROW& row = Datum[i];
        if (std::strcmp(row.name, name) != 0) continue;
        ELL_PARAMS e;
        if (!getEll(row.ell, &e)) return false;
        if (ell) *ell = e;
        if (store) {
            copyName(store->name, sizeof store->name, row.name);
            store->dx = row.dx;
            store->dy = row.dy;
            store->dz = row.dz;
            store->rx = row.rot ? row.rot[0] : 0.0;
            store->ry = row.rot ? row.rot[1] : 0.0;
            store->rz = row.rot ? row.rot[2] : 0.0;
            store->scale = row.rot ? row.rot[3] : 0.0;
        }
        if (index) *index = i;
        return true;
    }
    return false;
}

void DtmList::transform(const DATUM_PARAMS_STORE& s, DATUM_PARAMS_COMPUTE* c, bool reversed, bool full) {
    c->dx = s.dx;
    c->dy = s.dy;
    c->dz = s.dz;
    c->rx = s.rx * kArcsecToRad;
    c->ry = s.ry * kArcsecToRad;
    c->rz = s.rz * kArcsecToRad;
    c->sinRx = std::sin(c->rx);
    c->cosRx = std::cos(c->rx);
    c->sinRy = std::sin(c->ry);
    c->cosRy = std::cos(c->ry);
    c->sinRz = std::sin(c->rz);
    c->cosRz = std::cos(c->rz);
    c->scale = s.scale;
    c->reversed = reversed ? 1 : 0;
    c->full = full ? 1 : 0;
    std::memset(c->spare, 0, sizeof c->spare);
}
