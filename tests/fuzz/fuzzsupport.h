// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/settings.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

// What every fuzz target shares: one widget application on the offscreen platform, made before the first input,
// and the input read as JSON the way the client reads a server's answer. Each target is one file that includes this.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "norv-fuzz";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // New alarms among the inputs must not reach the desktop of whoever runs the fuzzer.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/norv-fuzz-bus");
    static QApplication* app = new QApplication(argc, argv);
    settings::nameApplication();
    Q_UNUSED(app)
    return 0;
}

namespace fuzzsupport {

inline QJsonDocument parse(const uint8_t* data, size_t size)
{
    return QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
}

} // namespace fuzzsupport
