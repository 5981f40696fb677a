// SPDX-License-Identifier: MIT
// Loads the plug-in by path and finds an entry point by name:
// plugin_loader_posix.cpp (dlopen) or plugin_loader_win.cpp (LoadLibraryW).
#pragma once

// The entry point NAME of the plug-in at PATH, or null with a message on
// standard error. The plug-in stays loaded until the program ends.
void* LoadEntryPoint(const char* path, const char* name);
