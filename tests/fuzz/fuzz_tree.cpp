// The tree payload through both of the tree's readers and its building in place, watched by Qt's model tester. The
// poller's own reader must give exactly what Qt's JSON parser gives, or give way to it.

#include "fuzzsupport.h"
#include "treemodel.h"

#include <QAbstractItemModelTester>
#include <QStandardItemModel>

namespace {

bool same(const treemodel::Tree& a, const treemodel::Tree& b)
{
    if (a.nodes.size() != b.nodes.size())
        return false;
    for (qsizetype i = 0; i < a.nodes.size(); ++i) {
        if (!a.nodes.at(i).sameRow(b.nodes.at(i)) || a.nodes.at(i).size != b.nodes.at(i).size)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    treemodel::Tree fast;
    if (treemodel::readTree(text, &fast) && !text.isEmpty()) {
        if (error.error != QJsonParseError::NoError || !doc.isObject()
            || !same(fast, treemodel::readTree(doc.object())))
            __builtin_trap();
    }
    QStandardItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    treemodel::buildTreeModel(doc.object(), &model);
    treemodel::buildTreeModel(QJsonObject(), &model); // the tree taken apart in place
    treemodel::buildTreeModel(doc.object(), &model);
    return 0;
}
