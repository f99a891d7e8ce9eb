# Shared build rules: dependency lookup, library and test targets, install.

set(RAVIK_EXPORT_INCLUDE_DIR "${PROJECT_BINARY_DIR}/include")
set(RAVIK_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/ravik")
# g++ 12 reports asio's coroutine-frame operator delete as mismatched with the
# allocation it inlines (a false positive once optimised); real mismatches are
# caught by AddressSanitizer's alloc-dealloc check in the sanitizer build.
# In a batch (unity) source every .cc file counts as a header, and g++ then
# reports each coroutine frame holding a local type as having internal
# linkage, which only matters for real headers.
set(RAVIK_WARNINGS -Wall -Wextra -Wpedantic -Wno-mismatched-new-delete -Wno-subobject-linkage)
# Test programs and their support are compiled without optimisation: they
# spend their time waiting on browsers and pipes, and -O0 compiles them about
# a third faster. The libraries under test keep the build type's flags.
set(RAVIK_TEST_COMPILE_OPTIONS ${RAVIK_WARNINGS} -O0)
set_property(GLOBAL PROPERTY RAVIK_INSTALLED_TARGETS "")

# The sanitizer tree instruments the code under test: every library and
# program of the product. Test programs and their support are compiled plain
# (instrumenting them doubles their compile time and checks only the tests'
# own code); they still run with both runtimes linked in, so every call into
# the product is checked and every allocation is watched.
if(RAVIK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  list(APPEND RAVIK_TEST_COMPILE_OPTIONS -fno-sanitize=all)
endif()

# Finds the Debian packages every component builds against and wraps the
# header-only ones in imported targets.
macro(ravik_find_dependencies)
  find_package(Threads REQUIRED)
  find_package(nlohmann_json 3.10 REQUIRED)
  find_package(CURL REQUIRED)
  find_package(ICU REQUIRED COMPONENTS uc i18n)
  find_package(CLI11 REQUIRED)
  find_package(simdjson 3.0 REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
  if(NOT TARGET ravik_asio)
    add_library(ravik_asio INTERFACE)
    # asio picks its coroutine-frame allocator from a libstdc++ macro that is
    # only defined once a standard header was included, so the choice would
    # depend on include order; fix it for every translation unit, so a frame
    # allocated in one library and freed in another always matches.
    target_compile_definitions(ravik_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED ASIO_HAS_STD_ALIGNED_ALLOC=1)
    target_link_libraries(ravik_asio INTERFACE Threads::Threads)
    add_library(ravik::asio ALIAS ravik_asio)
    set_property(GLOBAL APPEND PROPERTY RAVIK_INSTALLED_TARGETS ravik_asio)
  endif()
endmacro()

# ravik_add_library(<name> SOURCES ... [HEADERS ...] [INTERNAL_HEADERS ...]
#                   [PUBLIC_LIBS ...] [PRIVATE_LIBS ...] [DEFINITIONS ...] [TEST_OBJECTS])
# The one place that says what a library is made of: creates the shared
# library ravik_<name> (alias ravik::<name>) from SOURCES, with hidden
# visibility, an export header <ravik/export/<name>_export.h> defining
# RAVIK_<NAME>_EXPORT, a SONAME from the project's major version, and install
# rules. HEADERS (paths relative to the calling directory) are the public
# headers a host program includes and are installed; INTERNAL_HEADERS (kept
# in an internal/ folder) are not. PUBLIC_LIBS and PRIVATE_LIBS are its link
# dependencies, DEFINITIONS compile definitions of its sources. TEST_OBJECTS
# compiles the sources once into an object library ravik_<name>_objects that
# the shared library is made of and that tests of unexported internals link.
function(ravik_add_library name)
  cmake_parse_arguments(ARG "TEST_OBJECTS" ""
    "SOURCES;HEADERS;INTERNAL_HEADERS;PUBLIC_LIBS;PRIVATE_LIBS;DEFINITIONS" ${ARGN})
  set(target ravik_${name})
  string(TOUPPER "${name}" upper)
  set(export_header "${RAVIK_EXPORT_INCLUDE_DIR}/ravik/export/${name}_export.h")
  add_library(${target} SHARED)
  add_library(ravik::${name} ALIAS ${target})
  generate_export_header(${target} BASE_NAME RAVIK_${upper} EXPORT_FILE_NAME "${export_header}")
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME ${name}
    OUTPUT_NAME ravik_${name}
    INSTALL_RPATH "$ORIGIN")
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_link_libraries(${target} PUBLIC ravik_asio nlohmann_json::nlohmann_json ${ARG_PUBLIC_LIBS}
                                  PRIVATE ${ARG_PRIVATE_LIBS})
  target_sources(${target}
    PUBLIC FILE_SET HEADERS BASE_DIRS "${PROJECT_SOURCE_DIR}" FILES ${ARG_HEADERS}
    PUBLIC FILE_SET export_headers TYPE HEADERS BASE_DIRS "${RAVIK_EXPORT_INCLUDE_DIR}" FILES "${export_header}")

  set(compiled ${target})
  if(ARG_TEST_OBJECTS)
    set(compiled ${target}_objects)
    add_library(${compiled} OBJECT)
    set_target_properties(${compiled} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_compile_features(${compiled} PUBLIC cxx_std_20)
    target_include_directories(${compiled} PUBLIC "${PROJECT_SOURCE_DIR}" "${RAVIK_EXPORT_INCLUDE_DIR}")
    target_link_libraries(${compiled} PUBLIC ravik_asio nlohmann_json::nlohmann_json ${ARG_PUBLIC_LIBS}
                                      PRIVATE ${ARG_PRIVATE_LIBS})
    # The export macro marks what the objects define, as in the library.
    target_compile_definitions(${compiled} PRIVATE ${target}_EXPORTS)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:${compiled}>)
  endif()
  target_sources(${compiled} PRIVATE ${ARG_SOURCES} ${ARG_INTERNAL_HEADERS})
  target_compile_definitions(${compiled} PRIVATE ${ARG_DEFINITIONS})
  target_compile_options(${compiled} PRIVATE ${RAVIK_WARNINGS})
  set_property(GLOBAL APPEND PROPERTY RAVIK_INSTALLED_TARGETS ${target})
endfunction()

# ravik_use_test_pch(<target>)
# Compiles the test target with the precompiled third-party headers that
# test programs and their support share (GoogleTest, asio, nlohmann::json):
# parsed once per build tree instead of once per test source batch. The
# precompiled header comes from ravik_test_pch, compiled with the same flags.
function(ravik_use_test_pch target)
  if(NOT TARGET ravik_test_pch)
    add_library(ravik_test_pch STATIC EXCLUDE_FROM_ALL "${PROJECT_SOURCE_DIR}/tests/support/precompiled_headers.cc")
    target_compile_features(ravik_test_pch PUBLIC cxx_std_20)
    target_compile_options(ravik_test_pch PRIVATE ${RAVIK_TEST_COMPILE_OPTIONS})
    target_link_libraries(ravik_test_pch PRIVATE ravik_asio nlohmann_json::nlohmann_json GTest::gtest GTest::gmock)
    target_precompile_headers(ravik_test_pch PRIVATE
      <gtest/gtest.h> <gmock/gmock.h> <nlohmann/json.hpp>
      <asio/awaitable.hpp> <asio/co_spawn.hpp> <asio/detached.hpp> <asio/io_context.hpp>
      <asio/steady_timer.hpp> <asio/this_coro.hpp> <asio/use_awaitable.hpp>
      <chrono> <filesystem> <fstream> <functional> <map> <memory> <optional> <string> <vector>)
  endif()
  # The header is valid only where the definitions it was compiled with hold.
  target_link_libraries(${target} PRIVATE ravik_asio nlohmann_json::nlohmann_json GTest::gtest GTest::gmock)
  target_precompile_headers(${target} REUSE_FROM ravik_test_pch)
endfunction()

# ravik_add_static_library(<name> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A static library ravik_<name> compiled once for the programs that link it
# (test support shared by several test programs); never installed.
function(ravik_add_static_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  set(target ravik_${name})
  add_library(${target} STATIC EXCLUDE_FROM_ALL ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE ${RAVIK_TEST_COMPILE_OPTIONS})
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  ravik_use_test_pch(${target})
endfunction()

# ravik_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT seconds])
# A GoogleTest program whose test cases CTest runs one by one, each in its
# own process under the name <name>.<Suite>.<Case>, so independent cases of
# one program run in parallel. TIMEOUT limits each case (default 300 s); CTest
# starts the cases with the longest limits first, so the slowest programs do
# not trail at the end of a run.
# Label "browser" marks tests that start Chromium; the quick loop skips them,
# and the sanitizer tree, which runs the unit tests only, does not even build
# them. Unit test programs are built by the target `unit_tests` rather than
# by default: a full run takes them from the sanitizer tree only.
function(ravik_add_test name)
  if(NOT RAVIK_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  if(RAVIK_SANITIZE AND NOT "unit" IN_LIST ARG_LABELS)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if("unit" IN_LIST ARG_LABELS)
    add_executable(${name} EXCLUDE_FROM_ALL ${ARG_SOURCES})
    ravik_add_to_unit_tests(${name})
  else()
    add_executable(${name} ${ARG_SOURCES})
  endif()
  target_compile_options(${name} PRIVATE ${RAVIK_TEST_COMPILE_OPTIONS})
  # GoogleTest and gmock themselves come with the precompiled header.
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  ravik_use_test_pch(${name})
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT} COST ${ARG_TIMEOUT})
endfunction()

# ravik_add_to_unit_tests(<target> ...)
# Makes the target `unit_tests` (everything the unit-labelled tests run)
# build the given targets.
function(ravik_add_to_unit_tests)
  if(NOT TARGET unit_tests)
    add_custom_target(unit_tests)
  endif()
  add_dependencies(unit_tests ${ARGN})
endfunction()

# Installs every library made by ravik_add_library, their headers, and a CMake
# package so that find_package(ravik) works for a host program. The libraries
# go into the install component "runtime"; headers, link-time names and the
# CMake package into "development". A library whose RAVIK_INSTALL_COMPONENT
# property names another component goes there whole, with its own export set
# that the package config loads when that component is installed.
function(ravik_install_package)
  get_property(targets GLOBAL PROPERTY RAVIK_INSTALLED_TARGETS)
  set(product_targets "")
  set(side_components "")
  foreach(target IN LISTS targets)
    get_target_property(component ${target} RAVIK_INSTALL_COMPONENT)
    if(component)
      list(APPEND side_components ${component})
      list(APPEND side_targets_${component} ${target})
    else()
      list(APPEND product_targets ${target})
    endif()
  endforeach()
  install(TARGETS ${product_targets}
    EXPORT ravikTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
    FILE_SET export_headers DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
  install(EXPORT ravikTargets NAMESPACE ravik:: DESTINATION ${RAVIK_INSTALL_CMAKEDIR} COMPONENT development)
  list(REMOVE_DUPLICATES side_components)
  foreach(component IN LISTS side_components)
    install(TARGETS ${side_targets_${component}}
      EXPORT ravik_${component}_targets
      LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
      ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
      RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
      FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
      FILE_SET export_headers DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
      COMPONENT ${component})
    install(EXPORT ravik_${component}_targets NAMESPACE ravik:: DESTINATION ${RAVIK_INSTALL_CMAKEDIR}
      FILE ravik_${component}_targets.cmake COMPONENT ${component})
  endforeach()
  set(RAVIK_SIDE_COMPONENTS "${side_components}")
  configure_package_config_file(
    "${PROJECT_SOURCE_DIR}/cmake/ravikConfig.cmake.in"
    "${PROJECT_BINARY_DIR}/ravikConfig.cmake"
    INSTALL_DESTINATION ${RAVIK_INSTALL_CMAKEDIR})
  write_basic_package_version_file("${PROJECT_BINARY_DIR}/ravikConfigVersion.cmake"
    COMPATIBILITY SameMajorVersion)
  install(FILES "${PROJECT_BINARY_DIR}/ravikConfig.cmake" "${PROJECT_BINARY_DIR}/ravikConfigVersion.cmake"
    DESTINATION ${RAVIK_INSTALL_CMAKEDIR} COMPONENT development)
endfunction()
