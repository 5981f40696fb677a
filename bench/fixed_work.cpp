// The fixed work the design asks of every command, whatever its template:
// the schedule identifier read from the command text, the log lines, the
// proxy settings and the host name under their machine-wide locks, the
// proxy's console line and the machine identity. The same calls on the same
// files and locks as the plug-in's, built from the same sources into this
// library.
#include "bench/bare_set.h"
#include "service/local_address.h"
#include "service/proxy_settings.h"
#include "support/buffer_sizes.h"
#include "support/log_module.h"
#include "support/machine_id.h"
#include "xmlconfig/xml_config.h"

#include <cstring>

QUORVIL_BENCH_EXPORT void BenchFixedWork(const char* serverUrl) {
  WideString scheduleId;
  CXmlConfig(WIDE("<TemplateConfig><ScheduleId>42</ScheduleId></TemplateConfig>"))
      .GetString(WIDE("/TemplateConfig/ScheduleId"), scheduleId);
  // The command's lines, each flushed; a short one stands for the template's.
  for (int i = 0; i < 13; ++i) {
    mainLog.Print(WIDE("yes,attachment not null in%s(%d)"), WIDE(".\\Quorvil"), 100 + i);
  }
  // Each of the two Set calls builds the sender's address list (proxy flag
  // and host name, each under its lock); the call to the server goes through
  // the proxy settings once more and prints its URL.
  char addresses[kTextBufferSize] = {};
  GetLocalAddressList(addresses);
  GetLocalAddressList(addresses);
  char url[kTextBufferSize] = {};
  std::strncpy(url, serverUrl, sizeof url - 1);
  ApplyProxy(url);
  WideChar identity[kMachineIdUnits] = {};
  GetMachineId(identity);
}
