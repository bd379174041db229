// Wall-clock time for animations and rates: a monotonic clock in milliseconds, unaffected
// by changes of the system time and counting while the process sleeps or waits.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary fixed point; only differences are meaningful.
int64_t MonotonicMillis();
