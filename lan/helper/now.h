// The helper's clock: milliseconds of the monotonic clock, the same in each
// of its processes, for deadlines and ages.
#pragma once
#include <ctime>

inline long long NowMs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
