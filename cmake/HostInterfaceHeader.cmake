# cmake -DOUTPUT=<file> -DVERSION=<x.y.z> -DINPUTS=<header;header...> -P HostInterfaceHeader.cmake
#
# Writes the installed host interface: the headers a host needs to declare its
# command objects and call the entry points, merged into one file in the order
# given. Each input may include the inputs before it (those lines are dropped);
# any other project header it includes would leave the installed header
# incomplete, so that stops the build.
set(merged "")
set(names "")
foreach(input IN LISTS INPUTS)
  file(READ "${input}" text)
  string(REPLACE "#pragma once\n" "" text "${text}")
  foreach(name IN LISTS names)
    string(REPLACE "#include \"${name}\"\n" "" text "${text}")
  endforeach()
  string(REGEX MATCHALL "#include \"[^\"]+\"" internal "${text}")
  if(internal)
    message(FATAL_ERROR "${input}: ${internal} is not part of the installed host interface; "
                        "add it to the interface's inputs or drop the include")
  endif()
  get_filename_component(dir "${input}" DIRECTORY)
  get_filename_component(dir "${dir}" NAME)
  get_filename_component(file "${input}" NAME)
  list(APPEND names "${dir}/${file}")
  string(APPEND merged "\n// ---- ${dir}/${file}\n${text}")
endforeach()

set(content "// SPDX-License-Identifier: MIT
// The Quorvil ${VERSION} host interface: the command objects an agent host
// passes to the plug-in and the plug-in's entry points. Generated from the
// plug-in's own headers, so host and plug-in share one declaration.
#pragma once
${merged}")
# Unchanged content keeps its time stamp, so dependants do not rebuild.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
