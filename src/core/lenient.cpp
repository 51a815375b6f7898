// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/lenient.h"

#include <QVariant>

#include <climits>

namespace lenient {

Scalar Scalar::of(const QJsonValue& value)
{
    Scalar s;
    switch (value.type()) {
    case QJsonValue::Undefined:
        break;
    case QJsonValue::Null:
        s.type = Null;
        break;
    case QJsonValue::Bool:
        s.type = value.toBool() ? True : False;
        break;
    case QJsonValue::Double: {
        const QVariant v = value.toVariant();
        if (v.typeId() == QMetaType::LongLong) {
            s.type = Integer;
            s.integer = v.toLongLong();
        } else {
            s.type = Double;
            s.number = v.toDouble();
        }
        break;
    }
    case QJsonValue::String:
        s.type = String;
        s.wide = true;
        s.text = value.toString();
        break;
    default:
        s.type = Container;
    }
    return s;
}

QString text(const Scalar& s, const QString& byDefault)
{
    switch (s.type) {
    case Scalar::String: {
        if (s.wide)
            return s.text;
        // An empty string is an empty text, not a null one.
        const QString decoded = QString::fromUtf8(s.bytes.data(), qsizetype(s.bytes.size()));
        return decoded.isNull() ? QStringLiteral("") : decoded;
    }
    case Scalar::Integer:
        return QString::number(s.integer);
    case Scalar::Double:
        return QVariant(s.number).toString();
    case Scalar::True:
        return QStringLiteral("true");
    case Scalar::False:
        return QStringLiteral("false");
    case Scalar::Container:
        return QString();
    default:
        return byDefault;
    }
}

QString text(const QJsonValue& value, const QString& byDefault)
{
    return text(Scalar::of(value), byDefault);
}

QString string(const QJsonValue& value, const QString& byDefault)
{
    return value.isString() ? value.toString() : byDefault;
}

int integer(const Scalar& s, int byDefault)
{
    switch (s.type) {
    case Scalar::Integer:
        return s.integer >= INT_MIN && s.integer <= INT_MAX ? int(s.integer) : byDefault;
    case Scalar::Double:
        return QJsonValue(s.number).toInt(byDefault);
    case Scalar::String: {
        bool ok = false;
        const int value = text(s).toInt(&ok, 10);
        return ok ? value : 0;
    }
    default:
        return byDefault;
    }
}

int integer(const QJsonValue& value, int byDefault)
{
    return integer(Scalar::of(value), byDefault);
}

} // namespace lenient
