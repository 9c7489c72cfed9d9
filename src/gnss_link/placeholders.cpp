#include "gnss_link/placeholders.h"

// ---- Decoder status, latency and the input-decoder table, used by the native-format decoder --
bool DecoderStatus::putStatus(int, const Record&, int) { return false; }
bool decUtilsGetLatency(long, int, std::int32_t*) { return false; }
ZrtDecoder* InDecs::decs_[InDecs::kDecPorts] = {};
// ---- end of the native-format decoder's stand-ins ---------------------------------------------
