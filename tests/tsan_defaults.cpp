// SPDX-License-Identifier: GPL-3.0-or-later
// ThreadSanitizer's settings for the test programs: stop at the first report, and read the
// suppressions for libraries that are not built with it.

extern "C" const char* __tsan_default_options()
{
    return "halt_on_error=1 second_deadlock_stack=1 suppressions=" PICTAVO_TSAN_SUPPRESSIONS;
}
