#include "ravik/version.h"

namespace ravik::version {

std::string get_version() { return RAVIK_VERSION; }

}  // namespace ravik::version
