#pragma once

#include <sys/resource.h>

#include "clocks.h"

namespace kiv::bench {

Usage FromRusage(const rusage& usage);

}  // namespace kiv::bench
