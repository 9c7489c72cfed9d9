#include "positioning/geodesy/got_datum.h"

GOT_DATUM GotDatum{};
std::uint32_t datumChangeCnt = 0;
std::uint32_t prjChangeCnt = 0;
