// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

constexpr int Limit = 100;
static_assert(Limit == 100, "a mutant here does not compile");

int clampPercent(int value)
{
    if (value < 0)
        return 0;
    return value > Limit ? Limit : value;
}

bool isAlarm(const std::string& status)
{
    return status == "critical" || status == "warning";
}

int stepsDown(int left, int step)
{
    int steps = 0;
    while (left > 0) {
        left -= step;
        ++steps;
    }
    return steps;
}
