// SPDX-License-Identifier: GPL-3.0-or-later
// A page of the alarm log as the alarm-log tab shows it.

#include "fuzzsupport.h"
#include "gui/alarmview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static AlarmLogView* view = new AlarmLogView(nullptr, nullptr);
    view->showPage(fuzzsupport::parse(data, size).object());
    return 0;
}
