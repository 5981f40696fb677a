// The program's namespace table, which the shared gSOAP runtime looks up by name.
#include "agentH.h"
#include "AgentHost.nsmap"
