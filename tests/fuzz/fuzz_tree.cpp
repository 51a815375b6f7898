// SPDX-License-Identifier: GPL-3.0-or-later
// The tree payload through the poller's reader (simdjson) and through Qt's document, and the model kept in step with
// both, watched by Qt's model tester. The poller's reader must give exactly what Qt's parser gives, or leave the text
// to it.

#include "fuzzsupport.h"
#include "tree/livetree.h"
#include "tree/treemodel.h"
#include "treebuild.h"

#include <QAbstractItemModelTester>
#include <QStandardItemModel>

namespace {

bool same(const treemodel::TreeReader& reader, const treemodel::Tree& tree)
{
    const treemodel::TreeShape& shape = *reader.shape();
    if (shape.nodes.size() != tree.shape->nodes.size())
        return false;
    for (qsizetype n = 0; n < shape.nodes.size(); ++n) {
        const treemodel::Place& a = shape.nodes.at(n);
        const treemodel::Place& b = tree.shape->nodes.at(n);
        if (a.size != b.size || a.key != b.key || !(reader.row(int(n)) == *tree.rows.find(int(n))))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    const treemodel::Tree fromQt = treemodel::readTree(doc.object());
    static treemodel::TreeReader reader; // one for every text, as a poller has
    const bool read = reader.read(text);
    if (read && !text.isEmpty()
        && (error.error != QJsonParseError::NoError || !doc.isObject() || !same(reader, fromQt)))
        __builtin_trap();

    QStandardItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    treemodel::LiveTree live(&model);
    treemodel::TreeDiff diff;
    if (read) {
        live.apply(diff.next(reader)); // every row
        live.apply(diff.next(reader)); // nothing changed
    }
    treemodel::buildTreeModel(doc.object(), &model); // the same rows, with other hashes, in place
    treemodel::buildTreeModel(QJsonObject(), &model); // taken apart in place
    treemodel::buildTreeModel(doc.object(), &model);
    return 0;
}
