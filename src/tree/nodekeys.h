// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <initializer_list>
#include <string_view>

// The node keys of the tree's rows, which identify a row from one tree to the next: "g:%1" for a group, "h:%1" for a
// host, "p:%1:%2" for a check (with ":%3" for an instance above 0, or "p:" and the server's own key of the check),
// "sp:%1" for a switch port. Written straight into a buffer, and compared by their hash: a key is made for every row
// of every tree.
namespace treemodel {

using KeyText = QVarLengthArray<char16_t, 48>;

// Appends to a key a prefix and numbers joined by ":".
void writeKey(KeyText& out, std::string_view prefix, std::initializer_list<int> numbers);
// Appends a check's key: the server's own, or made of the ids.
void writeCheckKey(KeyText& out, const QString& serverKey, int hostId, int pluginId, int instanceId);
QString toString(const KeyText& key);
// The hash of a node key, by which trees are compared.
size_t nodeKeyHash(QStringView key);
size_t keyHash(const KeyText& key);

} // namespace treemodel
