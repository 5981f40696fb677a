// A machine root's own description of its adapters ("net/adapters"), which a
// test or a demo machine uses in place of the kernel's adapter list. POSIX
// stand-in only: on Windows no setting of the process decides the identity.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wide.h"

namespace platform {

struct DescribedAdapter {
  std::string name;
  bool answers;  // false: the driver does not answer the address query
  uint8_t address[6];
};

// False when the machine root has no description.
bool DescribedAdapters(std::vector<DescribedAdapter>* out);

// The adapter name of "//./" + name; empty for any other path.
std::string AdapterNameFromPath(const WideString& devicePath);

// The system's own adapters, behind ListAdapterNames and
// QueryPermanentAddress when the machine root describes none; one file per
// POSIX system.
bool SystemAdapterNames(std::vector<std::string>* names);
bool SystemPermanentAddress(const WideString& devicePath, uint8_t address[6]);

}  // namespace platform
