# What `cmake --install` puts where. Components:
#   libraries  the plug-in and the component library
#   tools      quorvil-template; quorvil-agent, devconf-service, drovemark-host
#              and the workflow framework stand-ins they load (not on Windows)
#   dev        the host interface headers, the CMake package, the pkg-config file
#   doc        the operators' page (docs/deploying.md) and the examples
include(CMakePackageConfigHelpers)

set(QUORVIL_PACKAGE_CONTACT "Quorvil project <quorvil@example.org>" CACHE STRING
  "maintainer of the packages: name <address>")

# The C++ compiler as Debian's package names it, with the thread model of its
# runtime, e.g. "g++-mingw-w64-i686-posix 12.2.0-14+deb12u1+25.2+b1
# (i686-w64-mingw32-g++-posix, thread model posix)": a host that shares the
# plug-in's C++ runtime is built with the same.
function(quorvil_compiler_package out)
  get_filename_component(name "${CMAKE_CXX_COMPILER}" NAME)
  execute_process(COMMAND dpkg -S "${CMAKE_CXX_COMPILER}"
    OUTPUT_VARIABLE owner OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REGEX REPLACE ":.*" "" package "${owner}")
  set(version "")
  if(package)
    execute_process(COMMAND dpkg-query -W "-f=\${Version}" ${package}
      OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  else()
    set(package "${name}")
  endif()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -v ERROR_VARIABLE about OUTPUT_QUIET)
  string(REGEX MATCH "Thread model: [^\n]+" threads "${about}")
  string(REPLACE "Thread model: " "" threads "${threads}")
  string(STRIP "${package} ${version}" package)
  set(${out} "${package} (${name}, thread model ${threads})" PARENT_SCOPE)
endfunction()

# The host interface: the very header the plug-in is built with
# (plugin/include/quorvil/), and the generated version header it includes.
set(QUORVIL_HOST_INTERFACE ${PROJECT_SOURCE_DIR}/plugin/include/quorvil/host_interface.h)

if(WIN32)
  # One folder, copied beside the agent host as it is: the DLLs at its top,
  # where Windows looks first for a program's DLLs.
  set(plugin_dir .)
  set(include_dir include)
  set(doc_dir .)
else()
  # The plug-in and the component library are loaded by path (dlopen), not
  # linked: no SONAME contract and nothing for ldconfig, so they live in a
  # folder of their own, as Debian keeps private and plug-in libraries. The
  # tools and the framework stand-ins join them there: the agent stand-in finds
  # the plug-in beside its own executable, as on Windows, and every program
  # finds the rest through RUNPATH $ORIGIN; bin/ holds links to the programs.
  set(plugin_dir ${CMAKE_INSTALL_LIBDIR}/quorvil)
  set(include_dir ${CMAKE_INSTALL_INCLUDEDIR})
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvil)
endif()

# The component library links the framework, which sits beside it.
set_target_properties(QuorvilComponent PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS Quorvil QuorvilComponent
  LIBRARY DESTINATION ${plugin_dir} COMPONENT libraries
  RUNTIME DESTINATION ${plugin_dir} COMPONENT libraries)
install(FILES ${QUORVIL_HOST_INTERFACE} ${PROJECT_BINARY_DIR}/generated/quorvil/version.h
  DESTINATION ${include_dir}/quorvil COMPONENT dev)
# What an operator needs to deploy (the developers' README stays in the tree).
install(FILES ${PROJECT_SOURCE_DIR}/docs/deploying.md DESTINATION ${doc_dir} COMPONENT doc)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${doc_dir}/examples COMPONENT doc
  PATTERN host EXCLUDE)
# The sample host, for integrators (quorvil-dev; the zip).
if(WIN32)
  set(dev_doc_dir ${doc_dir})
else()
  set(dev_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvil-dev)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/host DESTINATION ${dev_doc_dir}/examples COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/docs/integrating.md DESTINATION ${dev_doc_dir} COMPONENT dev)

# The licence texts the copyright files (cmake/licences/copyright-*.in) are
# assembled with, and the Debian source package the gSOAP runtime inside the
# plug-in was compiled from (its .dsc sits two folders above the runtime).
file(READ ${PROJECT_SOURCE_DIR}/cmake/licences/mit.txt QUORVIL_LICENCE_MIT)
file(READ ${PROJECT_SOURCE_DIR}/cmake/licences/gpl-2-openssl.txt QUORVIL_LICENCE_GPL)
string(STRIP "${QUORVIL_LICENCE_MIT}" QUORVIL_LICENCE_MIT)
string(STRIP "${QUORVIL_LICENCE_GPL}" QUORVIL_LICENCE_GPL)
get_filename_component(gsoap_source_package "${QUORVIL_GSOAP_SOURCE_DIR}/../.." ABSOLUTE)
file(GLOB gsoap_dsc "${gsoap_source_package}/*.dsc")
set(QUORVIL_GSOAP_SOURCE_VERSION "")
if(gsoap_dsc)
  list(GET gsoap_dsc 0 gsoap_dsc)
  file(STRINGS "${gsoap_dsc}" gsoap_dsc_version REGEX "^Version: ")
  string(REGEX REPLACE "^Version: *" "" QUORVIL_GSOAP_SOURCE_VERSION "${gsoap_dsc_version}")
endif()
if(NOT QUORVIL_GSOAP_SOURCE_VERSION)
  message(FATAL_ERROR "no Debian source package (.dsc) above ${QUORVIL_GSOAP_SOURCE_DIR}")
endif()

if(WIN32)
  # The licence: the project's, and a copyright file naming every licence
  # inside the zip, with the full texts and upstream copyright files it cites.
  set(QUORVIL_LIBXML2_SOURCE_VERSION "$ENV{QUORVIL_LIBXML2_VERSION}")
  if(NOT QUORVIL_LIBXML2_SOURCE_VERSION)
    execute_process(COMMAND dpkg-query -W "-f=\${source:Version}" libxml2-dev
      OUTPUT_VARIABLE QUORVIL_LIBXML2_SOURCE_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  quorvil_compiler_package(QUORVIL_COMPILER_PACKAGE)
  string(REPLACE "On Debian systems, the complete text of the GPL version 2 license can be\n found in '/usr/share/common-licenses/GPL-2'."
    "The complete text of the GPL version 2 is in licenses/GPL-2.txt."
    QUORVIL_LICENCE_GPL "${QUORVIL_LICENCE_GPL}")
  configure_file(cmake/licences/copyright-win32.in ${PROJECT_BINARY_DIR}/generated/win32/copyright @ONLY)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/generated/win32/copyright
    DESTINATION ${doc_dir} COMPONENT doc)
  set(licence_files
    GPL-2.txt=/usr/share/common-licenses/GPL-2
    GPL-3.txt=/usr/share/common-licenses/GPL-3
    gsoap-copyright.txt=${QUORVIL_GSOAP_SOURCE_DIR}/../debian/copyright
    libxml2-copyright.txt=/usr/share/doc/libxml2/copyright
    mingw-w64-copyright.txt=/usr/share/doc/mingw-w64-common/copyright
    gcc-copyright.txt=/usr/share/doc/gcc-mingw-w64-base/copyright)
  foreach(entry IN LISTS licence_files)
    string(REGEX MATCH "^[^=]+" name "${entry}")
    string(REGEX REPLACE "^[^=]+=" "" file "${entry}")
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "the zip's licences need ${file}")
    endif()
    install(FILES ${file} DESTINATION ${doc_dir}/licenses RENAME ${name} COMPONENT doc)
  endforeach()

  # The Windows kit: the gSOAP runtime built as the plug-in's (by
  # scripts/build-win32-deps, with the same compiler and options), the source
  # it was compiled from, and the compiler a host must be built with.
  install(FILES ${QUORVIL_WIN32_DEPS}/lib/libgsoap++.a DESTINATION gsoap/lib COMPONENT dev)
  install(FILES ${QUORVIL_WIN32_DEPS}/include/stdsoap2.h DESTINATION gsoap/include COMPONENT dev)
  install(FILES ${QUORVIL_GSOAP_SOURCE_DIR}/stdsoap2.cpp ${QUORVIL_GSOAP_SOURCE_DIR}/dom.cpp
                ${QUORVIL_GSOAP_SOURCE_DIR}/stdsoap2.h
    DESTINATION gsoap/src COMPONENT dev)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/licences/COMPILER.txt.in
    ${PROJECT_BINARY_DIR}/generated/win32/COMPILER.txt @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/generated/win32/COMPILER.txt DESTINATION ${doc_dir} COMPONENT dev)

  # The compiler's runtime DLLs, shared by the plug-in and the host on purpose
  # (a fault thrown in the plug-in unwinds through the host's frames).
  set(runtime_dlls)
  foreach(dll libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
      OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
      file(GLOB_RECURSE found /usr/lib/gcc/i686-w64-mingw32/*posix*/${dll}
                             /usr/i686-w64-mingw32/lib/${dll})
      list(GET found 0 found)
    endif()
    if(NOT EXISTS "${found}")
      message(FATAL_ERROR "cannot find the compiler runtime ${dll}")
    endif()
    list(APPEND runtime_dlls ${found})
  endforeach()
  install(FILES ${runtime_dlls} DESTINATION ${plugin_dir} COMPONENT libraries)
  # The operators' template check, run from a command prompt in the folder:
  # it uses the same runtime DLLs and nothing else of the zip.
  install(TARGETS quorvil-template RUNTIME DESTINATION ${plugin_dir} COMPONENT tools)
  # The compiler ships them with their symbols (libstdc++-6.dll: 21 MB).
  if(CMAKE_STRIP)
    foreach(dll IN LISTS runtime_dlls)
      get_filename_component(name ${dll} NAME)
      install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${name}\" COMMAND_ERROR_IS_FATAL ANY)"
        COMPONENT libraries)
    endforeach()
  endif()
  return()
endif()

# Tools, with links in bin/.
set(tools quorvil-agent devconf-service drovemark-host quorvil-template)
set_target_properties(drovemark-host ondra PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${tools} ondra ondraCore
  RUNTIME DESTINATION ${plugin_dir} COMPONENT tools
  LIBRARY DESTINATION ${plugin_dir} COMPONENT tools)
file(RELATIVE_PATH bin_to_plugin_dir /${CMAKE_INSTALL_BINDIR} /${plugin_dir})
foreach(tool IN LISTS tools)
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${tool}\")
    message(STATUS \"Installing: \${link}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK \"${bin_to_plugin_dir}/${tool}\" \"\${link}\" SYMBOLIC)
    " COMPONENT tools)
endforeach()

# The CMake package and the pkg-config file, both relative to where they are
# installed, so the tree may move.
set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvil)
configure_package_config_file(cmake/QuorvilConfig.cmake.in
  ${PROJECT_BINARY_DIR}/generated/QuorvilConfig.cmake
  INSTALL_DESTINATION ${cmake_dir}
  PATH_VARS include_dir plugin_dir)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/generated/QuorvilConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/generated/QuorvilConfig.cmake
              ${PROJECT_BINARY_DIR}/generated/QuorvilConfigVersion.cmake
  DESTINATION ${cmake_dir} COMPONENT dev)

set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH pc_to_prefix /${pkgconfig_dir} /)
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(cmake/quorvil.pc.in ${PROJECT_BINARY_DIR}/generated/quorvil.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/generated/quorvil.pc DESTINATION ${pkgconfig_dir} COMPONENT dev)
