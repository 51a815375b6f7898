// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/lenient.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

// The records of a tree payload as the tree's reader takes them: the fields of each record of the four arrays, with
// their JSON values, from the payload's text (read with simdjson, which only treerecords.cpp knows) or from Qt's
// document of it. For the tree's reader only.
namespace treemodel::records {

// The four arrays of a payload.
enum Array : quint8 { Groups, Hosts, Plugins, Ports, ArrayCount };
inline constexpr std::string_view ArrayNames[ArrayCount] = {"groups", "hosts", "plugins", "ports"};

// The fields of the tree's records that any rule reads.
enum Field : quint8 {
    Id,
    Name,
    Status,
    ParentId,
    Dnd,
    HasDnd,
    HasAcked,
    Address,
    GroupId,
    Handled,
    HostId,
    PluginId,
    InstanceId,
    Key,
    OutputText,
    LastSuccessAt,
    Acknowledged,
    AcknowledgedByName,
    SuppressedReason,
    Hard,
    ConsecutiveFailures,
    MaxAttempts,
    PortId,
    CollectedAt,
    FieldCount
};

inline constexpr std::string_view FieldNames[FieldCount]
    = {"id", "name", "status", "parent_id", "dnd", "has_dnd", "has_acked", "address", "group_id", "handled", "host_id",
        "plugin_id", "instance_id", "key", "output_text", "last_success_at", "acknowledged", "acknowledged_by_name",
        "suppressed_reason", "hard", "consecutive_failures", "max_attempts", "port_id", "collected_at"};

// The fields each array's records have.
inline const std::initializer_list<Field> FieldsOf[ArrayCount] = {
    {Id, Name, Status, ParentId, Dnd, HasDnd, HasAcked},
    {Id, Name, Address, GroupId, Status, Handled, Dnd, HasDnd, HasAcked},
    {HostId, PluginId, InstanceId, Key, Name, Status, OutputText, LastSuccessAt, Handled, Acknowledged,
        AcknowledgedByName, Dnd, SuppressedReason, Hard, ConsecutiveFailures, MaxAttempts},
    {HostId, PortId, Name, Status, OutputText, CollectedAt, Handled, Acknowledged, AcknowledgedByName, Dnd,
        SuppressedReason, Hard, ConsecutiveFailures, MaxAttempts},
};

// One field's JSON value.
using Scalar = lenient::Scalar;

inline const Scalar Absent;

// The fields one record has; a field given twice keeps its last value, as in a JSON object.
class Fields {
public:
    void clear() { present = 0; }
    Scalar& set(Field field)
    {
        present |= 1u << field;
        return values[field];
    }
    bool has(Field field) const { return present & (1u << field); }
    const Scalar& operator[](Field field) const { return has(field) ? values[field] : Absent; }

private:
    quint32 present = 0;
    Scalar values[FieldCount];
};

// A hash of a record's JSON text, long enough that two different texts never share it.
struct TextHash {
    size_t low = 0;
    size_t high = 0;
    bool operator==(const TextHash& o) const { return low == o.low && high == o.high; }
    friend size_t qHash(const TextHash& h, size_t seed = 0) { return h.low ^ seed; }
};

// Where the records of a payload come from: simdjson's reading of the JSON text, or Qt's document.
class Source {
public:
    virtual ~Source() = default;
    virtual int count(Array array) const = 0;
    // The fields of a record (none for an element that is no object). False when the record holds a value that Qt's
    // parser may read otherwise.
    virtual bool fields(Array array, int index, Fields& out) const = 0;
    // A hash of a record's text, when the source has one: records with the same text have the same fields.
    virtual bool textHash(Array array, int index, TextHash& out) const = 0;
};

// The payload's JSON text, read with simdjson's On-Demand parser. The text is read through once: each record's text
// is noted, and checked when its fields are read (a record whose text came before was checked then), and every other
// value is checked on the way. A value passes only when Qt's parser reads it the same way, so that both give the same
// tree and the same errors: Qt's parser passes over a byte order mark, reads 1024 levels of nesting, keeps a whole
// number written as a fraction or with an exponent ("1.0", "1e2") as an integer, and refuses a number that underflows
// or overflows ("1e-400"); such numbers are converted with Qt's own conversion. The parsers and their memory are kept
// from one text to the next.
class JsonSource : public Source {
public:
    JsonSource();
    ~JsonSource() override;
    JsonSource(const JsonSource&) = delete;
    JsonSource& operator=(const JsonSource&) = delete;

    // Reads the text through; false when it is no object, or simdjson or Qt's parser may refuse it. The text must
    // stay as it is while records are read from it.
    bool parse(QByteArray& json);

    int count(Array array) const override;
    bool fields(Array array, int index, Fields& out) const override;
    bool textHash(Array array, int index, TextHash& out) const override;

private:
    struct Parsers;
    std::unique_ptr<Parsers> parsers;
    const char* end = nullptr; // of the text with its padding
    std::vector<std::string_view> records[ArrayCount]; // the text of each record; none for one that is no object
};

// Qt's document of a payload.
class DocumentSource : public Source {
public:
    explicit DocumentSource(const QJsonObject& payload);

    int count(Array array) const override;
    bool fields(Array array, int index, Fields& out) const override;
    bool textHash(Array array, int index, TextHash& out) const override;

private:
    QJsonArray arrays[ArrayCount];
};

} // namespace treemodel::records
