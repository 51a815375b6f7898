// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// The status words of a Norv server and everything the client makes of each, in one table: the three orders it ranks
// them in (which are not interchangeable), whether a word is an alarm, and the colours it is drawn in. A word the
// client does not know ranks lowest everywhere and is drawn like "pending". Words are compared case-sensitively.
namespace statuses {

// The tree's roll-up priority: a placeholder group shows the highest of its children. "stale" ranks above
// everything, so that a group whose results have gone old cannot pass for one that is merely critical.
int rollUpPriority(const QString& word);
// The main window's rank: the window's icon shows the highest of its tabs' statuses.
int windowRank(const QString& word);
// The alarm priority of the tray icon and of "Aktiva larm": "critical" over "unknown" over "warning"; 0 for any
// word that is no alarm.
int alarmPriority(const QString& word);

// The alarm rule. An alarm is a problem the operator is told of, counted by the tray and listed in "Aktiva larm":
// "warning", "unknown" and "critical". The tree marks "stale" as alarming too: the check's last result is too old to
// be trusted, which the operator should see ("Bara problem" keeps it, and a handled stale row is drawn muted). But a
// stale check is not announced or counted as an alarm: the server raises none for it, and it clears by itself when
// results come in again.
bool isAlarm(const QString& word);
bool alarmingInTree(const QString& word);

// The worst of some words by one of the orders above: `start`, replaced by each word that ranks strictly higher
// than the one kept, so the first of equals wins.
QString worst(const QList<QString>& words, int (*rank)(const QString&), const QString& start);

// The colours of a word: in the light or dark look, and muted for a handled alarm (only alarming words have a muted
// colour of their own). As "#rrggbb".
const char* colorName(const QString& word, bool handled, bool dark);

} // namespace statuses
