// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/servertabs.h"

#include "core/icons.h"
#include "gui/dialogs/logindialog.h"
#include "gui/serverview.h"
#include "net/apiclient.h"

ServerTabs::ServerTabs(QWidget* parent)
    : QTabWidget(parent)
{
    setObjectName(QStringLiteral("serverTabs"));
    setAccessibleName(QStringLiteral("Servrar"));
    setDocumentMode(true);
    setTabsClosable(true);
    setTabBarAutoHide(true);
    connect(this, &QTabWidget::tabCloseRequested, this, [this](int index) {
        if (auto* v = qobject_cast<ServerView*>(widget(index)))
            close(v->entry.id);
    });
}

ServerView* ServerTabs::open(const settings::ServerEntry& entry, const QString& token)
{
    if (ServerView* existing = byId.value(entry.id)) {
        if (!token.isEmpty())
            existing->reconnect(token);
        setCurrentWidget(existing);
        return existing;
    }
    ApiClient::pinCertificate(entry.url, entry.certSha256);
    auto* v = new ServerView(entry, token.isEmpty() ? settings::loadServerToken(entry.id) : token, nullptr);
    byId.insert(entry.id, v);
    Q_EMIT opened(v);

    // Tabs follow the order of the server list, however they were opened.
    QStringList order;
    for (const settings::ServerEntry& known : settings::servers())
        order.append(known.id);
    auto position = [&order](const QString& id) {
        const qsizetype at = order.indexOf(id);
        return at < 0 ? order.size() : at;
    };
    int index = 0;
    for (ServerView* other : views()) {
        if (position(other->entry.id) < position(entry.id))
            ++index;
    }
    insertTab(index, v, entry.label());
    setTabToolTip(index, entry.url);
    setCurrentWidget(v);
    updateTab(v);
    Q_EMIT changed();
    return v;
}

void ServerTabs::close(const QString& id)
{
    ServerView* v = byId.take(id);
    if (!v)
        return;
    v->shutdown();
    removeTab(indexOf(v));
    v->deleteLater(); // the request may come from the view's own signal
    Q_EMIT closed(id);
    Q_EMIT changed();
}

void ServerTabs::remove(const QString& id)
{
    if (ServerView* v = byId.value(id)) {
        v->logout();
        ApiClient::pinCertificate(v->entry.url, QString());
        close(id);
        settings::removeServer(id);
        return;
    }
    const std::optional<settings::ServerEntry> entry = settings::findServer(id);
    const QString token = settings::loadServerToken(id);
    if (entry && !token.isEmpty()) {
        ApiClient::pinCertificate(entry->url, entry->certSha256);
        ApiClient(entry->url, token).logout(); // best effort: a failing logout still lets the server go
        ApiClient::pinCertificate(entry->url, QString());
    }
    settings::removeServer(id);
}

void ServerTabs::rename(const QString& id)
{
    ServerView* v = byId.value(id);
    const std::optional<settings::ServerEntry> entry = settings::findServer(id);
    if (!v || !entry)
        return;
    v->setEntry(*entry);
    updateTab(v);
    Q_EMIT changed();
}

std::optional<settings::ServerEntry> ServerTabs::logIn(const QString& id)
{
    const std::optional<settings::ServerEntry> known = id.isEmpty() ? std::nullopt : settings::findServer(id);
    if (!id.isEmpty() && !known)
        return std::nullopt;
    LoginDialog dialog(window(), known ? known->url : QString(), bool(known));
    if (dialog.exec() != QDialog::Accepted || !dialog.client)
        return std::nullopt;
    const QString token = dialog.client->token();
    const settings::ServerEntry stored
        = settings::rememberLogin(known ? known->url : dialog.url, token, dialog.certSha256);
    open(stored, token);
    return stored;
}

QList<ServerView*> ServerTabs::views() const
{
    QList<ServerView*> list;
    for (int i = 0; i < count(); ++i) {
        if (auto* v = qobject_cast<ServerView*>(widget(i)))
            list.append(v);
    }
    return list;
}

ServerView* ServerTabs::view(const QString& id) const
{
    return byId.value(id);
}

ServerView* ServerTabs::current() const
{
    return qobject_cast<ServerView*>(currentWidget());
}

void ServerTabs::updateTab(ServerView* v)
{
    const int index = indexOf(v);
    if (index < 0)
        return;
    setTabIcon(index, icons::norvIcon(v->status, 64));
    // How many of its rows changed while the operator was away: "Demo (5)".
    const int unseen = v->unseenCount();
    setTabText(index, unseen > 0 ? QStringLiteral("%1 (%2)").arg(v->entry.label()).arg(unseen) : v->entry.label());
}
