// What the plug-in loader asks of the system: open a shared library, find a
// symbol, close it, and where the running program lies.
#pragma once

#include <string>

namespace module_loader {

// Null with `error` saying why.
void* Open(const std::string& path, std::string* error);
void* Find(void* module, const char* name);
void Close(void* module);

// The running program's folder, without a trailing separator.
std::string ExecutableFolder();
bool Exists(const std::string& path);

// Where the build puts the plug-in, relative to the program's folder: beside
// it first, then in plugin/ of the build tree.
extern const char* const kPluginCandidates[2];

}  // namespace module_loader
