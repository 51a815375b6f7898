// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/settings.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QTabWidget>

#include <optional>

class ServerView;

// The tabs of the open servers, one view each, in the order of the server list however they were opened; and a
// server's life in the window: opened or reconnected, closed, removed (logged out and forgotten), renamed, logged
// in to anew. The window wires each view as it comes (`opened`) and hears of every change of the tabs. The tabs own
// the views. GUI thread only.
class ServerTabs : public QTabWidget {
    Q_OBJECT
public:
    explicit ServerTabs(QWidget* parent);

    // The server's tab, made current: its view, made now with the token (the stored one when empty), or the open
    // one, which a token reconnects.
    ServerView* open(const settings::ServerEntry& entry, const QString& token);
    // Closes the tab; the server stays known, with its token.
    void close(const QString& id);
    // Logs out at the server (best effort), closes its tab and forgets the server and its token.
    void remove(const QString& id);
    // Shows the name the server has now in the settings.
    void rename(const QString& id);
    // A login, in a dialog over the window, to a known server (its address locked) or, without an id, to a new one;
    // the server is remembered and opened. None when the operator cancels.
    std::optional<settings::ServerEntry> logIn(const QString& id);

    QList<ServerView*> views() const; // in tab order
    ServerView* view(const QString& id) const; // the open view of a server, or none
    ServerView* current() const;
    // Draws a view's status on its tab.
    void updateTab(ServerView* view);

Q_SIGNALS:
    // A new view, before its tab shows.
    void opened(ServerView* view);
    // A server's tab has closed.
    void closed(const QString& id);
    // Tabs came, went or were renamed.
    void changed();

private:
    QHash<QString, ServerView*> byId; // not owning
};
