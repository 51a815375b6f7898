// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/treerecords.h"

#include <QHash>

#include <utility>
#include <vector>

namespace treemodel {

// What the records of the last payload gave, by the hash of their text: a record that comes again with the same
// text is not read again. Most records of a poll are as they were, and in their place; a record whose text is not
// in its place changed there, unless records moved: the array grew or shrank, or the text is one place off.
// Only then are the last records looked up by their text.
template <typename T> class Memo {
public:
    const T* find(const records::Source& source, records::Array array, int index, const records::TextHash& text)
    {
        if (const T* known = inPlace(index, text))
            return known;
        if (size_t(source.count(array)) == last.size() && !inPlace(index - 1, text) && !inPlace(index + 1, text))
            return nullptr;
        if (!indexed) {
            byText.reserve(qsizetype(last.size()));
            for (size_t i = 0; i < last.size(); ++i)
                byText.insert(last[i].first, int(i));
            indexed = true;
        }
        const auto found = byText.constFind(text);
        return found == byText.constEnd() ? nullptr : &last[size_t(*found)].second;
    }
    void note(const records::TextHash& text, const T& value) { now.emplace_back(text, value); }
    void begin(qsizetype records)
    {
        now.clear();
        now.reserve(size_t(records));
    }
    // The records just read are the ones to compare with next time.
    void end()
    {
        last.swap(now);
        now.clear();
        byText.clear();
        indexed = false;
    }

private:
    const T* inPlace(int index, const records::TextHash& text) const
    {
        return size_t(index) < last.size() && last[size_t(index)].first == text ? &last[size_t(index)].second : nullptr;
    }

    std::vector<std::pair<records::TextHash, T>> last, now;
    QHash<records::TextHash, int> byText; // of last, made when records moved
    bool indexed = false;
};

} // namespace treemodel
