// Module Quorvil: handling of one command from the agent host.
#pragma once

#include <cstdint>

#include "plugin/host_command.h"

// Reads the command through the host's interfaces and handles TemplateConfig.
// Faults on the calling thread leave as ErrObj; nothing is caught here.
void HandleCommand(HostCommand* command);

// Undoes quoted-printable encoding into memory of `soap`: the decoded bytes
// and a zero byte after them, with their count in `decodedSize`; null when the
// memory cannot be had. An "=" not followed by two hexadecimal digits (and not
// a soft line break) stands for itself and still consumes three bytes.
char* DecodeQuotedPrintable(const char* encoded, struct soap* soap, int32_t size,
                            int32_t* decodedSize);
