// Network adapters from the IP Helper list and their permanent addresses from
// the adapter driver (IOCTL_NDIS_QUERY_GLOBAL_STATS).
#include "platform/net_adapters.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <winioctl.h>

#include <cstring>

#include "platform/adapter_description.h"

namespace platform {
namespace {

// From ntddndis.h, which the cross headers do not all carry.
constexpr DWORD kIoctlNdisQueryGlobalStats =
    CTL_CODE(FILE_DEVICE_PHYSICAL_NETCARD, 0, METHOD_OUT_DIRECT, FILE_ANY_ACCESS);
constexpr DWORD kOid8023PermanentAddress = 0x01010101;

}  // namespace

bool SystemAdapterNames(std::vector<std::string>* names) {
  ULONG size = 0;
  if (::GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return false;
  std::vector<unsigned char> buffer(size);
  auto* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (::GetAdaptersInfo(list, &size) != ERROR_SUCCESS) return false;
  for (const IP_ADAPTER_INFO* a = list; a != nullptr; a = a->Next) names->push_back(a->AdapterName);
  return !names->empty();
}

bool SystemPermanentAddress(const WideString& devicePath, uint8_t address[6]) {
  HANDLE device = ::CreateFileW(devicePath.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
  if (device == INVALID_HANDLE_VALUE) return false;
  DWORD oid = kOid8023PermanentAddress;
  uint8_t answer[32] = {};
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(device, kIoctlNdisQueryGlobalStats, &oid, sizeof oid, answer,
                                    sizeof answer, &returned, nullptr);
  ::CloseHandle(device);
  if (!ok || returned != 6) return false;
  std::memcpy(address, answer, 6);
  return true;
}

}  // namespace platform
