// The tree payload through the tree building of a server tab, watched by Qt's model tester.

#include "fuzzsupport.h"
#include "treemodel.h"

#include <QAbstractItemModelTester>
#include <QStandardItemModel>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QJsonDocument doc = fuzzsupport::parse(data, size);
    QStandardItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    treemodel::buildTreeModel(doc.object(), &model);
    treemodel::buildTreeModel(doc.object(), &model); // a rebuild takes the first tree apart
    return 0;
}
