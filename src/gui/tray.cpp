// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/tray.h"

#include "core/alarms.h"
#include "core/icons.h"

NorvTray::NorvTray(const AlarmBook* book, QObject* parent)
    : QSystemTrayIcon(parent)
    , book(book)
{
    setIcon(icons::norvIcon(QStringLiteral("pending"), 64));
    connect(menu.addAction(QStringLiteral("Visa Norv")), &QAction::triggered, this, &NorvTray::showWindowRequested);
    menu.addSeparator();
    connect(menu.addAction(QStringLiteral("Avsluta")), &QAction::triggered, this, &NorvTray::quitRequested);
    setContextMenu(&menu);
    connect(this, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Q_EMIT toggleWindowRequested();
    });
    setToolTip(QStringLiteral("Norv"));
    blinkTimer.setInterval(600);
    connect(&blinkTimer, &QTimer::timeout, this, &NorvTray::blinkTick);
    connect(book, &AlarmBook::changed, this, &NorvTray::refresh);
}

bool NorvTray::available()
{
    return availabilityForTests().value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

std::optional<bool>& NorvTray::availabilityForTests()
{
    static std::optional<bool> forced;
    return forced;
}

void NorvTray::refresh()
{
    currentState = book->state();
    if (!book->anyAlarm()) {
        blinkTimer.stop();
        blinkPhase = true;
    } else if (!blinkTimer.isActive()) {
        blinkPhase = true;
        blinkTimer.start();
    }
    setIcon(icons::norvIcon(currentState, 64));
    const AlarmBook::Counts counts = book->counts();
    QString tip = QStringLiteral("Norv – %1: %2 kritiska, %3 varningar, %4 ok")
                      .arg(currentState.toUpper())
                      .arg(counts.critical)
                      .arg(counts.warning)
                      .arg(counts.ok);
    if (book->serverCount() > 1)
        tip += QStringLiteral(" (%1 servrar)").arg(book->serverCount());
    const QStringList silent = book->unreachableLabels();
    if (!silent.isEmpty())
        tip += QStringLiteral("\nSvarar inte: %1").arg(silent.join(QStringLiteral(", ")));
    if (unseen > 0)
        tip += QStringLiteral("\n%1 ändringar sedan du tittade senast").arg(unseen);
    setToolTip(tip);
}

void NorvTray::setUnseen(int count)
{
    if (count == unseen)
        return;
    unseen = count;
    refresh();
}

void NorvTray::showBalloon(const QString& title, const QString& body, QSystemTrayIcon::MessageIcon icon)
{
    Q_EMIT notified(title, body, icon);
    showMessage(title, body, icon, 10000);
}

void NorvTray::blinkTick()
{
    blinkPhase = !blinkPhase;
    setIcon(icons::norvIcon(blinkPhase ? currentState : QStringLiteral("none"), 64));
}
