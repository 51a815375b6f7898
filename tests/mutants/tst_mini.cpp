// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

int clampPercent(int value);
bool isAlarm(const std::string& status);
int stepsDown(int left, int step);

int main()
{
    const bool ok = clampPercent(-5) == 0 && clampPercent(50) == 50 && isAlarm("critical") && !isAlarm("ok")
        && stepsDown(10, 5) == 2;
    return ok ? 0 : 1;
}
