# What `cmake --install` puts where. Components:
#   libraries  the plug-in and the component library
#   tools      quorvil-template; quorvil-agent, devconf-service, drovemark-host
#              and the workflow framework stand-ins they load (not on Windows)
#   dev        the host interface headers, the CMake package, the pkg-config file
#   doc        the README and the examples
include(CMakePackageConfigHelpers)

# The host interface, generated at build time from the headers the plug-in is
# built with.
set(QUORVIL_HOST_INTERFACE ${PROJECT_BINARY_DIR}/generated/quorvil/host_interface.h)
set(host_interface_inputs
  ${PROJECT_SOURCE_DIR}/platform/wide.h
  ${PROJECT_SOURCE_DIR}/plugin/host_command.h
  ${PROJECT_SOURCE_DIR}/plugin/exports.h)
add_custom_command(OUTPUT ${QUORVIL_HOST_INTERFACE}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${QUORVIL_HOST_INTERFACE} -DVERSION=${PROJECT_VERSION}
          "-DINPUTS=${host_interface_inputs}" -P ${PROJECT_SOURCE_DIR}/cmake/HostInterfaceHeader.cmake
  DEPENDS ${host_interface_inputs} ${PROJECT_SOURCE_DIR}/cmake/HostInterfaceHeader.cmake
  COMMENT "host interface header"
  VERBATIM)
add_custom_target(quorvil_host_interface ALL DEPENDS ${QUORVIL_HOST_INTERFACE})

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
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${doc_dir} COMPONENT doc)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${doc_dir}/examples COMPONENT doc)

if(WIN32)
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
