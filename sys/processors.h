// SPDX-License-Identifier: GPL-3.0-or-later
// How many processors this process may run on.
#pragma once

namespace pictavo {

// The CPUs in this process's affinity mask (what taskset or a container allows), else the
// online processors; at least 1.
int usable_processor_count();

} // namespace pictavo
