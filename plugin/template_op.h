// Module TemplateOp: delivery of a template to the agent's local service and
// the task status report to the management server.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wide.h"
#include "plugin/template_read.h"  // ReshapeTemplate, ReshapeUtf8Template

// The agent's local service.
constexpr const char* kLocalServiceUrl = "http://127.0.0.1:8000";

// What DispatchTemplate answers when the local service was not called, or its
// request never went out: the progress the server is told in that case.
constexpr int32_t kNotDelivered = -2;

// Units of the status document, its terminating zero included.
constexpr size_t kStatusDocumentUnits = 1024;

// Reshapes the template (Template="true", OS="All", CSC wrapping), sends it to
// the local service and reports progress to `endpoint`. Answers the local
// service's r, 0 when its request went out without a valid reply, or
// kNotDelivered. `templateText` and `scheduleId` may be null (not given).
int32_t DispatchTemplate(const WideString& endpoint, const WideChar* templateText,
                         const WideChar* scheduleId);
// DispatchTemplate of the text that `size` bytes of valid UTF-8 without a
// zero byte convert to: logged, parsed and delivered alike, without the text
// ever being made.
int32_t DispatchUtf8Template(const WideString& endpoint, const char* utf8, size_t size,
                             const WideChar* scheduleId);

// The TaskStatusResponse document; false, with `document` left alone, when it
// would not fit in kStatusDocumentUnits units.
bool BuildTaskStatusDocument(const WideChar* machineId, const WideChar* scheduleId,
                             int32_t progress, WideString* document);

// Sends the progress report; 0 without an endpoint (nothing sent), 2 when the
// document would not fit (nothing sent), otherwise the status of the call.
int32_t SendTaskRes(const WideChar* scheduleId, const char* endpoint, int32_t progress);
