// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonValue>
#include <QString>

#include <string_view>

// Reading the values of server data leniently: a missing, null or ill-typed field takes a stated default, never an
// error. One reader for every payload: the tree's (read with simdjson or from Qt's document), the status payload,
// the alarm book's problems, the alarm log's records.
namespace lenient {

// One JSON value, as far as the lenient rules tell values apart. A string is either bytes of a JSON text (UTF-8) or
// a text of Qt's document. Numbers are kept as Qt's parser keeps them: a whole number within 64 bits as an integer,
// whatever way it is written.
struct Scalar {
    enum Type : quint8 { Absent, Null, False, True, Integer, Double, String, Container };
    Type type = Absent;
    bool wide = false; // a string of Qt's document, in text
    qint64 integer = 0;
    double number = 0;
    std::string_view bytes;
    QString text;

    static Scalar of(const QJsonValue& value);
};

// A field as text: a string as it is, a number or a truth value in its text form, an array or object as empty
// text; absence and null give the default.
QString text(const Scalar& value, const QString& byDefault = QString());
QString text(const QJsonValue& value, const QString& byDefault = QString());
// A field that only a string fills, such as a name: absence, null and every other type give the default.
QString string(const QJsonValue& value, const QString& byDefault = QString());
// A whole number within 32 bits, or a text that holds one in decimal (0 when it does not); the default for
// anything else.
int integer(const Scalar& value, int byDefault);
int integer(const QJsonValue& value, int byDefault = 0);
// True only for true.
inline bool flag(const Scalar& value)
{
    return value.type == Scalar::True;
}

} // namespace lenient
