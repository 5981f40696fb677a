// Loading a component library and finding its entry points.
#pragma once

#include <string>

// Null when the library cannot be loaded; LibraryLoadError() then says why.
void* OpenLibrary(const char* path);
void* LibrarySymbol(void* library, const char* name);
void CloseLibrary(void* library);
std::string LibraryLoadError();
