// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariantMap>

namespace treemodel {

// What a row stands for: a group, a host, a check ("plugin") or a switch port; none for a server's own alarm.
enum class Kind : quint8 { None, Group, Host, Plugin, Port };
// The kind's name in a row's map and in requests: "group", "host", "plugin" or "port"; empty for none.
QString kindName(Kind kind);

// What a row of the tree, an open alarm or a notification stands for: the kind and the ids an action needs (0 when
// missing). A row stores it as a map (TargetRole).
struct Target {
    Kind kind = Kind::None;
    int hostId = 0;
    int pluginId = 0;
    int portId = 0;
    int instanceId = 0;
    QString shownName; // the name as given, possibly empty

    static Target of(const QVariantMap& map);
    // What an alarm of the status payload is about: a check, or a switch port when it names a port and no check.
    static Target ofProblem(const QJsonObject& problem, const QString& name);
    // The map a row stores and the chart dialog takes.
    QVariantMap map() const;
    QString name() const { return shownName.isEmpty() ? QStringLiteral("?") : shownName; }
    bool chartable() const { return kind == Kind::Plugin || kind == Kind::Port; }
};

// The map a row stores: the kind's name, the ids of its kind (a group's as "group_id", a check's or port's own as
// "plugin_id" or "port_id") and the name.
QVariantMap targetMap(Kind kind, int hostId, int id, int instanceId, const QString& name);

// Whether two targets are the same check or port, as an alarm and its row name it: a check by its host, check and
// instance (none counts as 0), a switch port by its port id alone. Names play no part.
bool operator==(const Target& a, const Target& b);
size_t qHash(const Target& target, size_t seed = 0);

} // namespace treemodel
