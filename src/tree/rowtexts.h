// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/treerecords.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// What the rows of the tree say in their texts, read from their records: a payload's strings, each made once, and
// the Swedish flags of checks, ports, groups and hosts. For the tree's reader.
namespace treemodel {

// The texts of one payload: fields read as text by the lenient rule, each distinct string made once (many rows share
// a status word, a time or a name).
class Texts {
public:
    QString text(const lenient::Scalar& value, const QString& byDefault = QString());
    void clear() { made.clear(); }

private:
    QHash<QByteArray, QString> made;
};

// The flags of a check or port: acknowledged (and by whom), silenced, why the server holds it back, and a soft
// state's attempts.
QString flagText(const records::Fields& record, Texts& texts);
// The flags of a group or host: silenced, or something below silenced or acknowledged.
QString rollupFlags(const records::Fields& record);
// Flags as a screen reader should say them: in words, without the symbols (a bell, a check mark, a dot) that stand
// for them on the screen.
QString spokenFlags(const QString& shown);

} // namespace treemodel
