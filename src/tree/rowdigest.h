// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/lenient.h"

#include <QHashFunctions>
#include <QVarLengthArray>

#include <cstring>

namespace treemodel {

// A hash of everything a row's cells are made of: the fields of its record, in their lenient types, and what the
// tree adds (ids, the handled flag). Rows with the same hash show the same cells; 0 is never a hash. Written into a
// buffer that is used again for every row.
class Digest {
public:
    explicit Digest(QVarLengthArray<char, 512>& bytes, char tag)
        : bytes(bytes)
    {
        bytes.clear();
        append(&tag, 1);
    }
    Digest& add(const lenient::Scalar& s)
    {
        append(&s.type, 1);
        switch (s.type) {
        case lenient::Scalar::Integer:
            append(&s.integer, sizeof s.integer);
            break;
        case lenient::Scalar::Double:
            append(&s.number, sizeof s.number);
            break;
        case lenient::Scalar::String: {
            const size_t size = s.wide ? size_t(s.text.size()) * sizeof(QChar) : s.bytes.size();
            append(s.wide ? "w" : "u", 1);
            append(&size, sizeof size);
            append(s.wide ? static_cast<const void*>(s.text.constData()) : s.bytes.data(), size);
            break;
        }
        default:
            break;
        }
        return *this;
    }
    Digest& add(int value)
    {
        append(&value, sizeof value);
        return *this;
    }
    Digest& add(size_t value)
    {
        append(&value, sizeof value);
        return *this;
    }
    size_t finish() const
    {
        const size_t hash = qHashBits(bytes.constData(), size_t(bytes.size()), QHashSeed::globalSeed());
        return hash ? hash : 1;
    }

private:
    void append(const void* data, size_t size)
    {
        const qsizetype at = bytes.size();
        bytes.resize(at + qsizetype(size));
        std::memcpy(bytes.data() + at, data, size);
    }
    QVarLengthArray<char, 512>& bytes;
};

} // namespace treemodel
