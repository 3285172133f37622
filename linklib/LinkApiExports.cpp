// The shared library takes the whole static link library; this unit only
// gives the target a source of its own.
#include "LinkApi.h"
