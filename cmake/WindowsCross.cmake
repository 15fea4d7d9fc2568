# A cross build for Windows finds no Windows builds of the header-only CLI11
# or of GoogleTest among the host's packages: CLI11's headers are taken from
# the host (through a folder of their own, so the host's other headers stay
# out of sight) and GoogleTest is built from the sources Debian ships.
if(NOT (CMAKE_CROSSCOMPILING AND WIN32))
  return()
endif()

find_path(VANTOR_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(cli11 ${CMAKE_BINARY_DIR}/cli11-include)
file(MAKE_DIRECTORY ${cli11})
if(NOT EXISTS ${cli11}/CLI)
  file(CREATE_LINK ${VANTOR_CLI11_INCLUDE}/CLI ${cli11}/CLI SYMBOLIC)
endif()
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${cli11})

if(VANTOR_TESTS)
  set(VANTOR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources, built for the cross target")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VANTOR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Its code is not ours to hold to our warnings.
  target_compile_options(gtest PRIVATE -Wno-error)
  target_compile_options(gtest_main PRIVATE -Wno-error)
endif()
