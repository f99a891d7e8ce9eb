# The Debian packages made by `cpack -G DEB` from the build tree:
#   ravik_<version>_<arch>.deb      the command, the libraries, the pinned driver
#   ravik-dev_<version>_<arch>.deb  headers and the CMake package
# The stand-in site (install component "standin") and the test programs are in
# neither. Installed under /usr whatever prefix the build was configured with:
# the command finds its libraries and the libraries their driver relative to
# themselves.

set(CPACK_PACKAGE_NAME ravik)
set(CPACK_PACKAGE_VENDOR "ravik")
set(CPACK_PACKAGE_CONTACT "ravik maintainers <ravik@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SellerSprite collector, API scenarios and Rufus question bank for Amazon sellers")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Headers and CMake package for host programs of the ravik libraries")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ravik)
# The collector drives Debian's Chromium through the pinned driver, which runs on node.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "chromium, nodejs")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ravik-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "ravik (= ${PROJECT_VERSION}), nlohmann-json3-dev (>= 3.10), libasio-dev")

include(CPack)
