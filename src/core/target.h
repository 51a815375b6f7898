// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariantMap>

namespace treemodel {

// What a row of the tree, an open alarm or a notification stands for: the kind ("group", "host", "plugin" or
// "port") and the ids an action needs (0 when missing). A row stores it as a map (TargetRole).
struct Target {
    QString kind;
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
    bool chartable() const { return kind == QLatin1String("plugin") || kind == QLatin1String("port"); }
};

// Whether two targets are the same check or port, as an alarm and its row name it: a check by its host, check and
// instance (none counts as 0), a switch port by its port id alone. Names play no part.
bool operator==(const Target& a, const Target& b);
size_t qHash(const Target& target, size_t seed = 0);

// An id as every payload gives it: a whole number within 32 bits, or a text holding one; 0 for anything else.
int idOf(const QJsonValue& value);

} // namespace treemodel
