// Network adapters from the IP Helper list and their permanent addresses from
// the adapter driver (IOCTL_NDIS_QUERY_GLOBAL_STATS). Nothing else decides the
// identity here: a machine root's adapter description is the POSIX stand-in's.
#include "platform/network.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <winioctl.h>

#include <cstring>

namespace platform {
namespace {

// From ntddndis.h, which the cross headers do not all carry.
constexpr DWORD kIoctlNdisQueryGlobalStats =
    CTL_CODE(FILE_DEVICE_PHYSICAL_NETCARD, 0, METHOD_OUT_DIRECT, FILE_ANY_ACCESS);
constexpr DWORD kOid8023PermanentAddress = 0x01010101;

}  // namespace

bool ListAdapterNames(std::vector<std::string>* names) {
  names->clear();
  ULONG size = 0;
  if (::GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return false;
  std::vector<unsigned char> buffer(size);
  auto* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (::GetAdaptersInfo(list, &size) != ERROR_SUCCESS) return false;
  for (const IP_ADAPTER_INFO* a = list; a != nullptr; a = a->Next) names->push_back(a->AdapterName);
  return !names->empty();
}

bool QueryPermanentAddress(const WideString& devicePath, uint8_t address[6]) {
  // Access 0, not GENERIC_READ | GENERIC_WRITE: the query needs no access
  // right, and an agent running without administrator rights still reads the
  // address instead of being refused the device.
  HANDLE device = ::CreateFileW(devicePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return false;
  DWORD oid = kOid8023PermanentAddress;
  uint8_t answer[6] = {};
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(device, kIoctlNdisQueryGlobalStats, &oid, sizeof oid, answer,
                                    sizeof answer, &returned, nullptr);
  ::CloseHandle(device);
  // A shorter answer would leave zeros in the address: no address.
  if (!ok || returned != sizeof answer) return false;
  std::memcpy(address, answer, sizeof answer);
  return true;
}

}  // namespace platform
