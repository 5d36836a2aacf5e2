#pragma once

// The session may use what lies below it.
#include "core/server/ReachesUp.h"
