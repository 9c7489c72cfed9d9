// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.
#pragma once

// ---- Receiver settings read by the geoid file loader -----------------------------------------
// The geoid file name of the receiver settings (empty for none). Here: nullptr, not available,
// which the loader treats as no file configured.
const char* rcvGeoidFileName();
// ---- end of the geoid file loader's stand-ins -------------------------------------------------
