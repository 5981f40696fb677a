// Moved to tests/common/; kept until the tests that still name this path
// are rewritten.
#pragma once
#include "tests/common/devconf_peer.h"
