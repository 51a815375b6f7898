// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/treerecords.h"

#include <QHashFunctions>
#include <QJsonValue>
#include <QVariant>

#include <simdjson.h>

#include <array>
#include <cmath>
#include <cstring>
#include <new>

namespace treemodel::records {

namespace {

// Qt's parser reads this many levels of nesting, and refuses a text with more; walk() does the same. simdjson counts
// nesting too, and in a debugging build asserts that it stays below its limit: its limit is one level above.
constexpr int QtDepth = 1024;
constexpr size_t MaxDepth = QtDepth + 1;

// The field a key names, or -1. Every record has a dozen keys, so they are looked up by a hash of their length and
// three letters in a table in which the names do not collide, and compared once.
int fieldOf(std::string_view key)
{
    constexpr size_t Slots = 256;
    auto slot = [](std::string_view k) {
        return (k.size() * 3 + uchar(k[0]) * 37 + uchar(k[k.size() / 2]) * 7 + uchar(k.back())) % Slots;
    };
    static const auto table = [&slot] {
        std::array<qint8, Slots> fields;
        fields.fill(-1);
        for (int f = 0; f < FieldCount; ++f) {
            Q_ASSERT(fields[slot(FieldNames[f])] < 0);
            fields[slot(FieldNames[f])] = qint8(f);
        }
        return fields;
    }();
    if (key.empty())
        return -1;
    const int field = table[slot(key)];
    return field >= 0 && key == FieldNames[field] ? field : -1;
}

// A number: an integer as simdjson reads it; a fraction or exponent with Qt's conversion of its text.
bool number(simdjson::ondemand::value value, Scalar& s)
{
    const std::string_view text = value.raw_json_token();
    simdjson::ondemand::number n;
    if (value.get_number().get(n) != simdjson::SUCCESS)
        return false; // malformed, or a whole number beyond 64 bits
    switch (n.get_number_type()) {
    case simdjson::ondemand::number_type::signed_integer:
        s.type = Scalar::Integer;
        s.integer = n.get_int64();
        return true;
    case simdjson::ondemand::number_type::unsigned_integer: // beyond qint64
        s.type = Scalar::Double;
        s.number = double(n.get_uint64());
        return true;
    case simdjson::ondemand::number_type::floating_point_number:
        break;
    }
    bool ok = false;
    const double d = QByteArrayView(text.data(), qsizetype(text.size())).toDouble(&ok);
    if (!ok)
        return false;
    constexpr double Limit = 9223372036854775808.0; // 2^63
    if (std::trunc(d) == d && d >= -Limit && d < Limit) {
        s.type = Scalar::Integer;
        s.integer = qint64(d);
    } else {
        s.type = Scalar::Double;
        s.number = d;
    }
    return true;
}

// Reads a value to its end, with `depth` containers around it, into a scalar when one is given.
bool walk(simdjson::ondemand::value value, int depth, Scalar* into)
{
    Scalar ignored;
    Scalar& s = into ? *into : ignored;
    s.wide = false;
    simdjson::ondemand::json_type type;
    if (value.type().get(type) != simdjson::SUCCESS)
        return false;
    switch (type) {
    case simdjson::ondemand::json_type::object: {
        simdjson::ondemand::object object;
        if (depth >= QtDepth || value.get_object().get(object) != simdjson::SUCCESS)
            return false;
        for (auto member : object) {
            std::string_view key;
            simdjson::ondemand::value inner;
            if (member.unescaped_key().get(key) != simdjson::SUCCESS || member.value().get(inner) != simdjson::SUCCESS
                || !walk(inner, depth + 1, nullptr))
                return false;
        }
        s.type = Scalar::Container;
        return true;
    }
    case simdjson::ondemand::json_type::array: {
        simdjson::ondemand::array array;
        if (depth >= QtDepth || value.get_array().get(array) != simdjson::SUCCESS)
            return false;
        for (auto element : array) {
            simdjson::ondemand::value inner;
            if (element.get(inner) != simdjson::SUCCESS || !walk(inner, depth + 1, nullptr))
                return false;
        }
        s.type = Scalar::Container;
        return true;
    }
    case simdjson::ondemand::json_type::string:
        s.type = Scalar::String;
        return value.get_string().get(s.bytes) == simdjson::SUCCESS;
    case simdjson::ondemand::json_type::number:
        return number(value, s);
    case simdjson::ondemand::json_type::boolean: {
        bool b = false;
        if (value.get_bool().get(b) != simdjson::SUCCESS)
            return false;
        s.type = b ? Scalar::True : Scalar::False;
        return true;
    }
    case simdjson::ondemand::json_type::null: {
        bool null = false;
        s.type = Scalar::Null;
        return value.is_null().get(null) == simdjson::SUCCESS && null;
    }
    }
    return false;
}

// The text of each element of an array; an element that is no object is checked here and has none.
bool recordsOf(simdjson::ondemand::value value, std::vector<std::string_view>& list)
{
    simdjson::ondemand::json_type type;
    if (value.type().get(type) != simdjson::SUCCESS)
        return false;
    if (type != simdjson::ondemand::json_type::array)
        return walk(value, 1, nullptr); // no records
    simdjson::ondemand::array elements;
    if (value.get_array().get(elements) != simdjson::SUCCESS)
        return false;
    for (auto element : elements) {
        simdjson::ondemand::value item;
        if (element.get(item) != simdjson::SUCCESS || item.type().get(type) != simdjson::SUCCESS)
            return false;
        std::string_view text;
        simdjson::ondemand::object object;
        if (type != simdjson::ondemand::json_type::object) {
            if (!walk(item, 2, nullptr))
                return false;
        } else if (item.get_object().get(object) != simdjson::SUCCESS
            || object.raw_json().get(text) != simdjson::SUCCESS) {
            return false;
        }
        list.push_back(text);
    }
    return true;
}

// Reads a text that holds one JSON object, member by member; false when it holds anything else, when a member cannot
// be read, or when onMember refuses one. `room` is how far the text's memory reaches beyond its start.
template <typename OnMember>
bool readObject(simdjson::ondemand::parser& parser, const char* data, size_t length, size_t room, OnMember onMember)
{
    simdjson::ondemand::document doc;
    simdjson::ondemand::object object;
    if (parser.iterate(data, length, room).get(doc) != simdjson::SUCCESS
        || doc.get_object().get(object) != simdjson::SUCCESS)
        return false;
    for (auto member : object) {
        std::string_view key;
        simdjson::ondemand::value value;
        if (member.unescaped_key().get(key) != simdjson::SUCCESS || member.value().get(value) != simdjson::SUCCESS
            || !onMember(key, value))
            return false;
    }
    // Nothing may follow the object.
    std::string_view whole;
    return doc.raw_json().get(whole) == simdjson::SUCCESS && whole.data() + whole.size() == data + length;
}

} // namespace

struct JsonSource::Parsers {
    Parsers()
    {
        // Allocated here only for the depth; the room for a text comes with the text.
        if (document.allocate(0, MaxDepth) != simdjson::SUCCESS || record.allocate(0, MaxDepth) != simdjson::SUCCESS)
            throw std::bad_alloc();
    }
    simdjson::ondemand::parser document; // the whole text
    simdjson::ondemand::parser record; // one record's text at a time
};

JsonSource::JsonSource()
    : parsers(std::make_unique<Parsers>())
{ }

JsonSource::~JsonSource() = default;

bool JsonSource::parse(QByteArray& json)
{
    for (auto& list : records)
        list.clear();
    // simdjson reads (and never writes) a little beyond the text.
    if (json.capacity() - json.size() < qsizetype(simdjson::SIMDJSON_PADDING))
        json.reserve(json.size() + qsizetype(simdjson::SIMDJSON_PADDING));
    const char* data = json.constData();
    size_t length = size_t(json.size());
    if (length >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
        data += 3;
        length -= 3;
    }
    end = json.constData() + json.capacity();
    return readObject(parsers->document, data, length, size_t(end - data),
        [this](std::string_view key, simdjson::ondemand::value value) {
            int array = ArrayCount - 1;
            while (array >= 0 && key != ArrayNames[array])
                --array;
            if (array < 0)
                return walk(value, 1, nullptr);
            // An array given twice is the last one, but Qt's parser reads the earlier one too.
            Fields ignored;
            for (int i = 0; i < count(Array(array)); ++i) {
                if (!fields(Array(array), i, ignored))
                    return false;
            }
            records[array].clear();
            return recordsOf(value, records[array]);
        });
}

int JsonSource::count(Array array) const
{
    return int(records[array].size());
}

bool JsonSource::fields(Array array, int index, Fields& out) const
{
    out.clear();
    const std::string_view text = records[array][size_t(index)];
    if (text.empty())
        return true; // no object; checked when the text was read through
    return readObject(parsers->record, text.data(), text.size(), size_t(end - text.data()),
        [&out](std::string_view key, simdjson::ondemand::value value) {
            const int field = fieldOf(key);
            return walk(value, 3, field < 0 ? nullptr : &out.set(Field(field)));
        });
}

bool JsonSource::textHash(Array array, int index, TextHash& out) const
{
    const std::string_view text = records[array][size_t(index)];
    out = {qHashBits(text.data(), text.size(), QHashSeed::globalSeed()),
        qHashBits(text.data(), text.size(), ~size_t(QHashSeed::globalSeed()))};
    return true;
}

DocumentSource::DocumentSource(const QJsonObject& payload)
{
    for (int array = 0; array < ArrayCount; ++array)
        arrays[array]
            = payload.value(QLatin1String(ArrayNames[array].data(), qsizetype(ArrayNames[array].size()))).toArray();
}

int DocumentSource::count(Array array) const
{
    return int(arrays[array].size());
}

bool DocumentSource::textHash(Array, int, TextHash&) const
{
    return false;
}

bool DocumentSource::fields(Array array, int index, Fields& out) const
{
    out.clear();
    const QJsonObject object = arrays[array].at(index).toObject();
    for (const Field field : FieldsOf[array]) {
        const auto it = object.constFind(QLatin1String(FieldNames[field].data(), FieldNames[field].size()));
        if (it != object.constEnd())
            out.set(field) = Scalar::of(QJsonValue(*it));
    }
    return true;
}

} // namespace treemodel::records
