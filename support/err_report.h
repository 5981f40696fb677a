// How the library's error objects report themselves: on its debug channel.
#pragma once

#include "support/err_obj.h"

// One line "Err occur, Code:%d\t%s\n\t%s" on the "DbgPlugin" channel: the code
// as a signed number, "Windows Error" for a system error or nothing, and the
// description.
void ReportOnDbgLog(const ErrObj& error);
