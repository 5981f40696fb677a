// The machine's network as the system asks about it: its adapters and their
// permanent (factory) addresses (GetAdaptersInfo and the adapter driver's
// OID_802_3_PERMANENT_ADDRESS query), the local host name and its IPv4
// addresses (Winsock gethostname and gethostbyname), and the flags of the
// plug-in's own sends.
//
// On POSIX systems a machine root may describe its adapters itself in
// "net/adapters" (one adapter a line: name, then the permanent address as 12
// hexadecimal digits, or "-" for a driver that does not answer); a test or a
// demo machine uses it in place of the kernel's interfaces. On Windows the
// adapters alone decide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wide.h"

namespace platform {

// Adapter names in the platform's list order (interface index order, loopback
// left out); false when the list is unavailable or empty.
bool ListAdapterNames(std::vector<std::string>* names);

// Device path prefix of an adapter, as in "//./" + name.
constexpr const WideChar* kAdapterDevicePrefix = WIDE("//./");

// Asks the adapter's driver for its permanent address; false when the device
// cannot be opened or the driver does not answer with 6 bytes.
bool QueryPermanentAddress(const WideString& devicePath, uint8_t address[6]);

// The host name into `buffer` of `size` bytes, zero-terminated; false when it
// cannot be read or does not fit whole.
bool LocalHostName(char* buffer, size_t size);

// Dotted-decimal IPv4 addresses of the name, in the resolver's order; empty
// when it does not resolve.
std::vector<std::string> ResolveIPv4(const char* name);

// Flags for every send on a socket of the plug-in's own. A peer that closes
// early must fail the send, not raise a signal in the host's process: the
// plug-in never touches the host's signal dispositions.
int SendFlagsWithoutSignal();

}  // namespace platform
