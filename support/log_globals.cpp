// The library's two log channels. mainLog is built first and dbgLog last;
// both live until the library is unloaded.
#include "support/log_module.h"

__attribute__((init_priority(101))) LogModule mainLog(WIDE("Quorvil"));
LogModule dbgLog(WIDE("DbgPlugin"));
