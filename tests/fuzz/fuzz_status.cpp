// SPDX-License-Identifier: GPL-3.0-or-later
// The status and identity payloads through the alarm book, the list of open alarms and a server tab's status
// texts, delivered the way the tab's poller delivers them.

#include "core/alarms.h"
#include "fuzzsupport.h"
#include "gui/mainwindow.h"
#include "gui/serverview.h"
#include "net/poller.h"

namespace {

// A window with one tab whose poller talks to a port where nothing listens; its payloads come from the fuzzer instead.
struct Window {
    MainWindow* window = new MainWindow;
    ServerView* view = window->openServer(
        {QStringLiteral("0000000000aa"), QStringLiteral("http://127.0.0.1:9"), QString(), true, QString()},
        QStringLiteral("token"));
    PollerThread* poller = view->findChild<PollerThread*>();
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Window* const one = new Window;
    const QJsonObject payload = fuzzsupport::parse(data, size).object();
    AlarmBook* book = one->window->alarms();
    book->updateStatus(payload, QStringLiteral("a"), QStringLiteral("A"));
    book->updateStatus(payload, QStringLiteral("b"), QString());
    book->updateStatus(QJsonObject(), QStringLiteral("a"), QStringLiteral("A"));
    book->removeServer(QStringLiteral("b"));
    Q_EMIT one->poller->meReady(payload);
    Q_EMIT one->poller->statusReady(payload, nullptr);
    return 0;
}
