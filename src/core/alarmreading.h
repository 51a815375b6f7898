// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

// The alarm book's reading of one status payload: the problems that may alarm, each with its alarm key, in key
// order. A poller makes it on its own thread, beside the payload, so that the window only compares readings.
struct AlarmReading {
    struct Problem {
        QString key; // the ids of the host, check, port and instance: the alarm key after the server's id
        QJsonObject problem; // as received
        bool soft = false; // a soft state: an alarm only for an operator who asked for those
        bool same = false; // the reading before held this key with this same problem (see `follows`)
    };

    QJsonObject summary;
    QList<Problem> problems; // alarming, neither acknowledged nor silenced; a key the payload holds twice is its last
    quint64 reader = 0; // which reader made it (0: read alone), and its how-manieth reading
    quint64 serial = 0;

    // Whether the `same` marks hold against the given reading: the one its reader made just before.
    bool follows(const AlarmReading& before) const
    {
        return reader != 0 && reader == before.reader && serial == before.serial + 1;
    }

    // A reading without marks.
    static AlarmReading of(const QJsonObject& status);
};
using AlarmReadingPtr = std::shared_ptr<const AlarmReading>;

// Reads one server's status payloads in turn and marks the problems that did not change since the payload before.
// Lives on the poller's thread. It keeps the readings of its last two payloads, so that one the window let go of
// is taken apart here, not in the window.
class AlarmReader {
public:
    AlarmReader();

    AlarmReadingPtr read(const QJsonObject& status);

private:
    quint64 id;
    quint64 count = 0;
    AlarmReadingPtr last;
    AlarmReadingPtr beforeLast;
};
