// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/statuswords.h"

#include "core/statuses.h"

#include <array>
#include <string_view>

namespace treemodel {

namespace {

constexpr std::string_view Words[] = {"none", "ignored", "ok", "pending", "unknown", "warning", "critical", "stale"};

} // namespace

QString wordText(Word word)
{
    return word == OtherWord ? QString() : QString::fromLatin1(Words[word].data(), qsizetype(Words[word].size()));
}

Word wordOf(QStringView text)
{
    for (int w = 0; w < OtherWord; ++w) {
        if (text == QLatin1String(Words[w].data(), qsizetype(Words[w].size())))
            return Word(w);
    }
    return OtherWord;
}

bool alarming(Word word)
{
    static const auto table = [] {
        std::array<bool, OtherWord + 1> alarmingWords {};
        for (int w = 0; w < OtherWord; ++w)
            alarmingWords[size_t(w)] = statuses::alarmingInTree(wordText(Word(w)));
        return alarmingWords;
    }();
    return table[word];
}

Word wordOf(const lenient::Scalar& s, Word def)
{
    if (s.type == lenient::Scalar::Absent || s.type == lenient::Scalar::Null)
        return def;
    if (s.type != lenient::Scalar::String)
        return OtherWord;
    if (s.wide)
        return wordOf(s.text);
    for (int w = 0; w < OtherWord; ++w) {
        if (s.bytes == Words[w])
            return Word(w);
    }
    return OtherWord;
}

} // namespace treemodel
