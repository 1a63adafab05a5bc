// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/processors.h"

#include <sched.h>
#include <unistd.h>

namespace pictavo {

int usable_processor_count()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        const int count = CPU_COUNT(&allowed);
        if (count > 0)
            return count;
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

} // namespace pictavo
