// A page of the alarm log as the alarm-log tab shows it.

#include "alarmview.h"
#include "fuzzsupport.h"

namespace {

AlarmLogView* view = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::startApplication();
    view = new AlarmLogView(nullptr, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    view->showPage(fuzzsupport::parse(data, size).object());
    return 0;
}
