// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/statuses.h"

#include <QHash>

namespace statuses {

namespace {

struct Row {
    int rollUp;
    int windowRank;
    int alarmPriority;
    bool alarmingInTree;
    const char* light;
    const char* lightHandled;
    const char* dark;
    const char* darkHandled;
};

const Row& row(const QString& word)
{
    static const QHash<QString, Row> table {
        // Each word: its roll-up priority, window rank, alarm priority, whether the tree marks it alarming; its
        // colours light, light and muted, dark, dark and muted.
        {QStringLiteral("stale"), {6, 2, 0, true, "#92400e", "#8a6a4f", "#fb923c", "#cb9a7e"}},
        {QStringLiteral("critical"), {5, 5, 3, true, "#b91c1c", "#a65353", "#ff8080", "#cf9292"}},
        {QStringLiteral("warning"), {4, 3, 1, true, "#b45309", "#8f6a2f", "#f59e0b", "#c8a96e"}},
        {QStringLiteral("unknown"), {3, 4, 2, true, "#6d28d9", "#7a63a8", "#c4b5fd", "#a79ac7"}},
        {QStringLiteral("pending"), {2, 0, 0, false, "#6b7280", nullptr, "#97a2b6", nullptr}},
        {QStringLiteral("ok"), {1, 1, 0, false, "#15803d", nullptr, "#22c55e", nullptr}},
        {QStringLiteral("ignored"), {0, 0, 0, false, "#6b7280", nullptr, "#97a2b6", nullptr}},
        {QStringLiteral("none"), {-1, 0, 0, false, "#9ca3af", nullptr, "#949daf", nullptr}},
    };
    // A word the client does not know: drawn like "pending", ranked lowest.
    static const Row unknownWord {-1, 0, 0, false, "#6b7280", nullptr, "#97a2b6", nullptr};
    const auto found = table.constFind(word);
    return found == table.cend() ? unknownWord : *found;
}

} // namespace

int rollUpPriority(const QString& word)
{
    return row(word).rollUp;
}

int windowRank(const QString& word)
{
    return row(word).windowRank;
}

int alarmPriority(const QString& word)
{
    return row(word).alarmPriority;
}

bool isAlarm(const QString& word)
{
    return alarmPriority(word) > 0;
}

bool alarmingInTree(const QString& word)
{
    return row(word).alarmingInTree;
}

QString worst(const QList<QString>& words, int (*rank)(const QString&), const QString& start)
{
    QString kept = start;
    for (const QString& word : words) {
        if (rank(word) > rank(kept))
            kept = word;
    }
    return kept;
}

const char* colorName(const QString& word, bool handled, bool dark)
{
    const Row& r = row(word);
    const char* muted = dark ? r.darkHandled : r.lightHandled;
    return handled && muted ? muted : dark ? r.dark : r.light;
}

} // namespace statuses
