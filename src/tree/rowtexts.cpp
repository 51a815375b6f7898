// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/rowtexts.h"

#include <QStringList>

namespace treemodel {

using namespace records;
using lenient::flag;
using lenient::integer;

namespace {

const QString Separator = QStringLiteral(" \u00b7 ");

} // namespace

QString Texts::text(const lenient::Scalar& s, const QString& byDefault)
{
    if (s.type != lenient::Scalar::String || s.wide)
        return lenient::text(s, byDefault);
    const QByteArray bytes = QByteArray::fromRawData(s.bytes.data(), qsizetype(s.bytes.size()));
    const auto known = made.constFind(bytes);
    if (known != made.constEnd())
        return *known;
    const QString decoded = lenient::text(s);
    made.insert(QByteArray(bytes.constData(), bytes.size()), decoded);
    return decoded;
}

QString flagText(const Fields& record, Texts& texts)
{
    QStringList parts;
    if (flag(record[Acknowledged])) {
        const QString by = texts.text(record[AcknowledgedByName]);
        parts.append(by.isEmpty() ? QStringLiteral("\u2713 Sett") : QStringLiteral("\u2713 Sett av %1").arg(by));
    }
    if (flag(record[Dnd]))
        parts.append(QStringLiteral("\U0001F515 Stör ej"));
    const QString reason = texts.text(record[SuppressedReason]);
    if (!reason.isEmpty())
        parts.append(QStringLiteral("\U0001F515 %1").arg(reason));
    if (record.has(Hard) && !flag(record[Hard])) {
        parts.append(QStringLiteral("försök %1/%2")
                         .arg(integer(record[ConsecutiveFailures], 0))
                         .arg(integer(record[MaxAttempts], 1)));
    }
    return parts.join(Separator);
}

QString spokenFlags(const QString& shown)
{
    const QString bell = QStringLiteral("\U0001F515 ");
    QStringList parts = shown.split(Separator, Qt::SkipEmptyParts);
    for (QString& part : parts) {
        if (part.startsWith(bell))
            part = part.startsWith(bell + QStringLiteral("Stör ej"))
                ? part.mid(bell.size())
                : QStringLiteral("tystad: ") + part.mid(bell.size());
        else if (part.startsWith(QStringLiteral("\u2713 ")) || part.startsWith(QStringLiteral("\u25cf ")))
            part = part.mid(2);
    }
    return parts.join(QStringLiteral(", "));
}

QString rollupFlags(const Fields& record)
{
    QStringList parts;
    if (flag(record[Dnd]))
        parts.append(QStringLiteral("\U0001F515 Stör ej"));
    else if (flag(record[HasDnd]))
        parts.append(QStringLiteral("\U0001F515 Stör ej under"));
    if (flag(record[HasAcked]))
        parts.append(QStringLiteral("\u2713 kvitterat under"));
    return parts.join(Separator);
}

} // namespace treemodel
