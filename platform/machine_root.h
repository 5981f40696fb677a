// The directory that stands for the Windows machine's fixed places.
#pragma once

#include <string>

namespace platform {

// $QUORVIL_ROOT, or /var/lib/quorvil when unset; no trailing slash.
std::string MachineRoot();

// "C:\a\b" -> "$QUORVIL_ROOT/drive_c/a/b". A path without a drive letter is
// returned with its backslashes turned into slashes.
std::string NativePath(const std::string& windowsPath);

// A native path as the system writes it for people: "C:\runtime.log" on
// Windows, the path itself elsewhere.
std::string DisplayPath(const std::string& nativePath);

}  // namespace platform

namespace platform {

// Creates the folder and its missing parents; true when it exists afterwards.
bool MakeDirectories(const std::string& dir);

}  // namespace platform
