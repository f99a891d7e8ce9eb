// A host program built only from the installed headers, libraries and
// CMake package.
#include <iostream>

#include "ravik/config.h"
#include "ravik/version.h"

int main() {
  std::cout << "ravik " << ravik::version::get_version() << ", config in "
            << ravik::config::CONFIG_DIR().string() << '\n';
  return ravik::version::get_version().empty() ? 1 : 0;
}
