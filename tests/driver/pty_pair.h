#pragma once

// Moved to tests/support, where the serial tests use it too.
#include "tests/support/pty_pair.h"
