# The gSOAP release the plug-in is built against, taken from the build: the
# GSOAP_VERSION of the stdsoap2.h it compiles with (service/ checks that the
# runtime's sources carry the very same header), which must be the release
# pkg-config's gsoap++ claims. A host must use exactly this release, so the
# installed header, quorvil.pc, the CMake package and quorvil-dev's
# dependencies all name it. Sets
#   QUORVIL_GSOAP_VERSION  GSOAP_VERSION's number, e.g. 208124
#   QUORVIL_GSOAP_RELEASE  the release, e.g. 2.8.124
find_file(QUORVIL_SYSTEM_STDSOAP2_H stdsoap2.h HINTS ${GSOAP_INCLUDE_DIRS} REQUIRED)
file(STRINGS "${QUORVIL_SYSTEM_STDSOAP2_H}" version_line REGEX "^#define GSOAP_VERSION [0-9]+$")
if(NOT version_line MATCHES "GSOAP_VERSION ([0-9]+)$")
  message(FATAL_ERROR "${QUORVIL_SYSTEM_STDSOAP2_H} defines no GSOAP_VERSION")
endif()
set(QUORVIL_GSOAP_VERSION ${CMAKE_MATCH_1})
math(EXPR gsoap_major "${QUORVIL_GSOAP_VERSION} / 100000")
math(EXPR gsoap_minor "${QUORVIL_GSOAP_VERSION} / 1000 % 100")
math(EXPR gsoap_patch "${QUORVIL_GSOAP_VERSION} % 1000")
set(QUORVIL_GSOAP_RELEASE ${gsoap_major}.${gsoap_minor}.${gsoap_patch})
if(NOT QUORVIL_GSOAP_RELEASE VERSION_EQUAL GSOAP_VERSION)
  message(FATAL_ERROR "${QUORVIL_SYSTEM_STDSOAP2_H} is gSOAP ${QUORVIL_GSOAP_RELEASE}, "
                      "but pkg-config's gsoap++ claims ${GSOAP_VERSION}")
endif()
unset(version_line)
