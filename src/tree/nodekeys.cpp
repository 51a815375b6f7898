// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/nodekeys.h"

#include <QHashFunctions>

#include <utility>

namespace treemodel {

// Written out digit by digit.
void writeKey(KeyText& out, std::string_view prefix, std::initializer_list<int> numbers)
{
    const qsizetype start = out.size();
    out.resize(start + qsizetype(prefix.size()) + 12 * qsizetype(numbers.size()));
    char16_t* at = out.data() + start;
    for (const char c : prefix)
        *at++ = char16_t(c);
    bool first = true;
    for (const int n : numbers) {
        if (!std::exchange(first, false))
            *at++ = u':';
        qint64 value = n;
        if (value < 0) {
            *at++ = u'-';
            value = -value;
        }
        char16_t digits[12];
        int count = 0;
        do {
            digits[count++] = char16_t(u'0' + value % 10);
            value /= 10;
        } while (value > 0);
        while (count > 0)
            *at++ = digits[--count];
    }
    out.resize(at - out.data());
}

void writeCheckKey(KeyText& out, const QString& serverKey, int hostId, int pluginId, int instanceId)
{
    if (!serverKey.isEmpty()) {
        writeKey(out, "p:", {});
        out.append(reinterpret_cast<const char16_t*>(serverKey.constData()), serverKey.size());
    } else if (instanceId > 0) {
        writeKey(out, "p:", {hostId, pluginId, instanceId});
    } else {
        writeKey(out, "p:", {hostId, pluginId});
    }
}

QString toString(const KeyText& key)
{
    return QString(reinterpret_cast<const QChar*>(key.constData()), key.size());
}

size_t keyHash(const KeyText& key)
{
    return nodeKeyHash(QStringView(key.constData(), key.size()));
}

size_t nodeKeyHash(QStringView key)
{
    return qHash(key, QHashSeed::globalSeed());
}

} // namespace treemodel
