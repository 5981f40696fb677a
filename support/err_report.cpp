#include "support/err_report.h"

#include "support/log_module.h"

void ReportOnDbgLog(const ErrObj& error) {
  const WideString text = error.GetDescription();
  const uint32_t value = error.GetCode();
  const WideChar* kind = error.IsSystemError() ? WIDE("Windows Error") : WIDE("");
  DbgPrint(WIDE("Err occur, Code:%d\t%s\n\t%s"), static_cast<int32_t>(value), kind, text.c_str());
}
