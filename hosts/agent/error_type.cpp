// The host's link to ErrObj: its type, so that the host can catch the error
// objects the plug-in throws, without the plug-in's log channels.
//
// The host has no log of its own: linking the runtime support library would
// build a second pair of log instances in the host process, each opening the
// log file. ErrObj's code is therefore compiled here on its own; its Report
// always runs in the plug-in's copy, reached through the thrown object's
// vtable, so this copy's channel is never written.
#include "support/log_module.h"

void DbgPrint(const WideChar* /*format*/, ...) {}
