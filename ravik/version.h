// The running ravik release.
#pragma once

#include <string>

#include "ravik/export/host_export.h"

namespace ravik::version {

// The project's version text, e.g. "0.1.0".
RAVIK_HOST_EXPORT std::string get_version();

}  // namespace ravik::version
