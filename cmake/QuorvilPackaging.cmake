# Packages (scripts/package): Debian packages from the release preset, a zip
# from the win32 preset.
set(CPACK_PACKAGE_NAME quorvil)
set(CPACK_PACKAGE_VENDOR "Quorvil project")
set(CPACK_PACKAGE_CONTACT "${QUORVIL_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
# The corresponding source, which the GPL asks to go with binaries that
# carry gSOAP: the tree as it is, without build output or version control
# (cpack --config CPackSourceConfig.cmake, run by scripts/package).
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME quorvil-${PROJECT_VERSION}-source)
set(CPACK_SOURCE_IGNORE_FILES "^${PROJECT_SOURCE_DIR}/build/" "^${PROJECT_SOURCE_DIR}/\\\\.git/"
    "^${PROJECT_SOURCE_DIR}/\\\\.git$")
# Installing builds nothing: scripts/package builds the installed targets.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "thin-client agent plug-in and workflow component library")
  set(CPACK_PACKAGE_FILE_NAME Quorvil-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_COMPONENTS_ALL libraries tools dev doc)
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libQuorvilComponent.so links the workflow host's framework, which the host
# (here quorvil-tools' stand-ins) brings.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/hosts/workflow)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

# Each package's copyright and changelog, where Debian looks for them. The
# date honours SOURCE_DATE_EPOCH.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
# The copyright files (cmake/licences/) name every licence inside each
# package's binaries, in Debian's machine-readable format.
foreach(package_component quorvil:libraries quorvil-tools:tools quorvil-dev:dev)
  string(REPLACE ":" ";" package_component ${package_component})
  list(GET package_component 0 pkg)
  list(GET package_component 1 component)
  set(dir ${PROJECT_BINARY_DIR}/generated/debian/${pkg})
  configure_file(cmake/debian/changelog.in ${dir}/changelog @ONLY)
  execute_process(COMMAND gzip -9nc ${dir}/changelog OUTPUT_FILE ${dir}/changelog.gz
    COMMAND_ERROR_IS_FATAL ANY)
  configure_file(cmake/licences/copyright-${pkg}.in ${dir}/copyright @ONLY)
  install(FILES ${dir}/changelog.gz ${dir}/copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg} COMPONENT ${component})
endforeach()

# Three packages: the libraries with their documentation (quorvil), the tools
# (quorvil-tools) and the interface for host developers (quorvil-dev).
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_DEBIAN_QUORVIL_PACKAGE_NAME quorvil)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quorvil-tools)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME quorvil-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# dpkg-shlibdeps adds the libraries each package links to these.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "quorvil (= ${PROJECT_VERSION})")
# A host compiles against exactly the gSOAP release the plug-in is built
# against (QuorvilGsoapRelease.cmake), any Debian revision of it: the runtime
# and headers, and soapcpp2 for the code they need; pkg-config finds them.
set(gsoap_release "(>= ${QUORVIL_GSOAP_RELEASE}), %s (<< ${QUORVIL_GSOAP_RELEASE}.~)")
string(REPLACE "%s" libgsoap-dev gsoap_dev_release "libgsoap-dev ${gsoap_release}")
string(REPLACE "%s" gsoap gsoap_tools_release "gsoap ${gsoap_release}")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "quorvil (= ${PROJECT_VERSION}), ${gsoap_dev_release}, ${gsoap_tools_release}, pkgconf | pkg-config")
set(CPACK_DEBIAN_QUORVIL_DESCRIPTION
  "thin-client agent plug-in and workflow component library
libQuorvil.so is a plug-in of the thin-client management agent: it delivers
TemplateConfig templates to the agent's local device-configuration service
and reports the task's progress to the management server.
libQuorvilComponent.so registers and creates the component class CComponentX
for the Drovemark workflow host, whose framework libraries it links.")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
  "template check and stand-ins for the programs around the Quorvil libraries
quorvil-template checks a configuration template before it is sent, with the
plug-in's own reading code, and shows the payload a terminal would deliver.
quorvil-agent (the agent host that loads libQuorvil.so), devconf-service (the
device-configuration service) and drovemark-host (the workflow host, with its
framework libraries libondra.so and libondraCore.so) stand in for the programs
around the libraries.")
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "host interface of the Quorvil agent plug-in
The header an agent host needs to declare its command objects and call the
plug-in's entry points, with a CMake package (find_package(Quorvil)) and a
pkg-config file (quorvil).")
include(CPack)

cpack_add_component_group(quorvil)
cpack_add_component(libraries GROUP quorvil)
cpack_add_component(doc GROUP quorvil)
cpack_add_component(tools)
cpack_add_component(dev)
