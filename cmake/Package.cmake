# The distributable package: target `package_zip` makes
#   <build>/VornexSetup-<version>.zip  =  VornexSetup-<version>\{SetUp.exe, Data\..., README.txt}
#   <build>/Vornex-<version>.msi       the Windows Installer package of the same SetUp.exe and Data\
# with scripts/package.sh, signing SetUp.exe first when a certificate is configured.
# Included from src/CMakeLists.txt once the SetUp target exists (Windows builds only).

set(SETUP_DEMO_PAYLOAD_DIR ${PROJECT_SOURCE_DIR}/demo/payload)
set(SETUP_PAYLOAD_DIR ${SETUP_DEMO_PAYLOAD_DIR} CACHE PATH
  "The add-on's files, packaged in Data\\ beside SetUp.exe (default: the repository's DEMO files)")

# Signing is optional. The password is better given as the environment variable SETUP_SIGN_PASS
# when building: a cache variable is written in plain text into CMakeCache.txt. Each variable left
# empty here is taken from the environment of `cmake --build` instead.
set(SETUP_SIGN_CERT "" CACHE FILEPATH "Authenticode certificate for SetUp.exe: PEM (with SETUP_SIGN_KEY) or PKCS#12 (.pfx/.p12)")
set(SETUP_SIGN_KEY "" CACHE FILEPATH "Private key (PEM) of a PEM SETUP_SIGN_CERT")
set(SETUP_SIGN_PASS "" CACHE STRING "Password of the key or PKCS#12 file (prefer the environment variable)")
set(SETUP_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server (off by default: it needs the network)")

# The version is the project's (project() in the top CMakeLists.txt); the version resource and
# the program's own constant repeat it, and must not drift from it unseen.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/ui/res/setup.rc setup_rc_version REGEX "VALUE \"FileVersion\"")
if(setup_rc_version AND NOT setup_rc_version MATCHES "\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "src/ui/res/setup.rc has ${setup_rc_version}, the project is ${PROJECT_VERSION}")
endif()
string(REPLACE "." "" setup_version_number "${PROJECT_VERSION}")
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/ui/build_constants.h setup_constant_version REGEX "g_nVersion = ")
if(setup_constant_version AND NOT setup_constant_version MATCHES "= ${setup_version_number}([^0-9]|$)")
  message(FATAL_ERROR "src/ui/build_constants.h has ${setup_constant_version}, the project is ${PROJECT_VERSION}")
endif()

set(setup_package_zip ${CMAKE_BINARY_DIR}/VornexSetup-${PROJECT_VERSION}.zip)
get_filename_component(setup_payload_real "${SETUP_PAYLOAD_DIR}" REALPATH)
get_filename_component(setup_demo_real "${SETUP_DEMO_PAYLOAD_DIR}" REALPATH)
set(setup_package_flags)
if(setup_payload_real STREQUAL setup_demo_real)
  list(APPEND setup_package_flags --demo)
  message(STATUS "package_zip: the payload is the DEMO payload (set SETUP_PAYLOAD_DIR for the real one)")
endif()
set(setup_sign_env)
foreach(var SETUP_SIGN_CERT SETUP_SIGN_KEY SETUP_SIGN_PASS SETUP_SIGN_TIMESTAMP_URL)
  if(NOT "${${var}}" STREQUAL "")
    list(APPEND setup_sign_env "${var}=${${var}}")
  endif()
endforeach()

find_program(SETUP_BASH bash REQUIRED)
add_custom_target(package_zip
  COMMAND ${CMAKE_COMMAND} -E env ${setup_sign_env}
          ${SETUP_BASH} ${PROJECT_SOURCE_DIR}/scripts/package.sh
          --exe $<TARGET_FILE:SetUp> --payload ${SETUP_PAYLOAD_DIR}
          --version ${PROJECT_VERSION} --out ${setup_package_zip} ${setup_package_flags}
  DEPENDS SetUp
  BYPRODUCTS ${setup_package_zip} ${CMAKE_BINARY_DIR}/Vornex-${PROJECT_VERSION}.msi
  COMMENT "Packaging SetUp.exe and its payload into VornexSetup-${PROJECT_VERSION}.zip"
  VERBATIM)
