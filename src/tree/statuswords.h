// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/lenient.h"

#include <QString>
#include <QStringView>

// The status words the tree knows, each in a byte: a row of a tree of thousands keeps which of them its status is,
// or that it is another word. What the words mean is decided by statuses. For the tree's reader.
namespace treemodel {

enum Word : quint8 { None, Ignored, Ok, Pending, Unknown, Warning, Critical, Stale, OtherWord };

// The word's text; empty for another word.
QString wordText(Word word);
Word wordOf(QStringView text);
// Which known word a status field holds, with the default for an absent or null field.
Word wordOf(const lenient::Scalar& value, Word byDefault);
// Whether the tree marks the word as alarming.
bool alarming(Word word);

} // namespace treemodel
