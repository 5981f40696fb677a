// The floor of a Set call: the generated client alone, on the plug-in's own
// gSOAP runtime, in a library of its own so it can sit beside the host's.
#pragma once

#define QUORVIL_BENCH_EXPORT extern "C" __attribute__((visibility("default")))

// One Set of `xIn` to `url` on a fresh context, without header, proxy or
// address list; answers the runtime's status and stores the reply's r.
QUORVIL_BENCH_EXPORT int BenchBareSet(const char* url, const wchar_t* xIn, int* r);

// The work every command does whatever its template (fixed_work.cpp), with
// `serverUrl` as the management server's endpoint.
QUORVIL_BENCH_EXPORT void BenchFixedWork(const char* serverUrl);
