// The library's two log channels. mainLog is built first and dbgLog last;
// both live until the library is unloaded. Error objects report on dbgLog
// while it lives.
#include "support/err_report.h"
#include "support/log_module.h"

__attribute__((init_priority(101))) LogModule mainLog(WIDE("Quorvil"));
LogModule dbgLog(WIDE("DbgPlugin"));

namespace {

struct ErrorReports {
  ErrorReports() { ErrObj::SetReporter(ReportOnDbgLog); }
  ~ErrorReports() { ErrObj::SetReporter(nullptr); }
  ErrorReports(const ErrorReports&) = delete;
  ErrorReports& operator=(const ErrorReports&) = delete;
} errorReports;

}  // namespace
