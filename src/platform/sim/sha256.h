// A plain SHA-256 (FIPS 180-4) for the simulated machine, which has no CNG to ask.
#pragma once
#include <string_view>

#include "platform/payload_integrity.h"

namespace sim {

platform::Sha256Digest Sha256(std::string_view bytes);

}  // namespace sim
