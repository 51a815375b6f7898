// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport.h"

#include "gui/mainwindow.h"
#include "gui/serverview.h"
#include "net/apiclient.h"
#include "net/poller.h"
#include "tree/treemodel.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QMenu>
#include <QRegularExpression>
#include <QSortFilterProxyModel>

namespace testsupport {

namespace {

QTemporaryDir& home()
{
    static QTemporaryDir dir;
    return dir;
}

QPointer<QTimer> whenWidget(
    const std::function<QWidget*()>& find, const std::function<void(QWidget*)>& act, int timeoutMs)
{
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(timeoutMs);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* widget = find();
        if (!widget && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (widget)
            act(widget);
    });
    timer->start();
    return timer;
}

} // namespace

void prepareEnvironment()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home().path() + QStringLiteral("/config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home().path() + QStringLiteral("/cache")));
    const QString runtime = home().path() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    // No test talks to the desktop of whoever runs it: the session bus is one the test starts, or none.
    qputenv("DBUS_SESSION_BUS_ADDRESS", QFile::encodeName(QStringLiteral("unix:path=%1/no-bus").arg(runtime)));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void filterPlatformNoise()
{
    static QtMessageHandler testLog = nullptr;
    testLog = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtWarningMsg
            && (message.startsWith(QLatin1String("This plugin does not support"))
                || message.contains(QLatin1String("OpenType support missing"))
                || message.contains(QLatin1String("systemTrayWindowChanged"))))
            return;
        testLog(type, context, message);
    });
}

QString configHome()
{
    return home().path() + QStringLiteral("/config");
}

QString iniPath()
{
    return configHome() + QStringLiteral("/Trelvik/NorvGUI.ini");
}

void resetConfig()
{
    QDir(configHome() + QStringLiteral("/Trelvik")).removeRecursively();
}

void resetForTabs()
{
    resetConfig();
    settings::setRefreshSeconds(300);
}

ServerView* openTab(MainWindow* window, const settings::ServerEntry& entry)
{
    ServerView* view = window->openServer(entry, QString());
    // Its tree has rows, whether or not a filter shows them.
    const auto* rows = qobject_cast<QSortFilterProxyModel*>(child<QTreeView>(view, "tree")->model())->sourceModel();
    const bool shown = QTest::qWaitFor([view, rows] { return view->hasStatus && rows->rowCount() > 0; }, 10000);
    if (!shown)
        QTest::qFail("the tab showed no whole first round", __FILE__, __LINE__);
    return view;
}

QMap<QString, QByteArray> configSnapshot()
{
    QMap<QString, QByteArray> files;
    QDirIterator it(configHome(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, readFile(path));
    }
    return files;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(bytes);
    file.flush();
    // QSettings takes a file of the same size and second as the one it read last for that one: every file written
    // here gets a time of its own.
    static int written = 0;
    file.setFileTime(QDateTime::currentDateTime().addSecs(++written - 100000), QFileDevice::FileModificationTime);
}

void shortTimes()
{
    ApiClient::RequestLimits& limits = ApiClient::limits();
    limits.silenceMs = 400;
    limits.stallWindowMs = 400;
    limits.capMs = 20000;
    PollerThread::secondMs() = 40; // a 5 s interval sleeps 0.2 s
}

Standin::Standin()
{
    if (!listen())
        qFatal("the stand-in server cannot listen");
}

settings::ServerEntry Standin::store(const QString& user)
{
    return settings::addOrUpdateServer(url(), issueToken(user));
}

void logIn(QWidget* dialog, const QString& url, const QString& user, const QString& password)
{
    if (!url.isNull())
        child<QLineEdit>(dialog, "urlEdit")->setText(url);
    child<QLineEdit>(dialog, "userEdit")->setText(user);
    child<QLineEdit>(dialog, "passwordEdit")->setText(password);
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

QPointer<QTimer> whenModal(const std::function<void(QWidget*)>& act, int timeoutMs)
{
    return whenWidget([] { return QApplication::activeModalWidget(); }, act, timeoutMs);
}

QPointer<QTimer> whenMessageBox(const std::function<void(QMessageBox*)>& act, int timeoutMs)
{
    return whenWidget([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
        [act](QWidget* box) { act(static_cast<QMessageBox*>(box)); }, timeoutMs);
}

QPointer<QTimer> whenMenu(const QString& pick, int timeoutMs, QStringList* shown)
{
    const auto act = [=](QWidget* popup) {
        auto* menu = qobject_cast<QMenu*>(popup);
        for (QAction* action : menu->actions()) {
            if (shown) {
                const QString text = action->text().remove(QLatin1Char('&'));
                shown->append(action->isSeparator() ? QStringLiteral("|")
                        : action->isEnabled()       ? text
                                                    : QLatin1Char('(') + text + QLatin1Char(')'));
            }
        }
        for (QAction* action : menu->actions()) {
            if (action->isEnabled() && !action->isSeparator() && action->text().remove(QLatin1Char('&')) == pick) {
                menu->setActiveAction(action);
                return QTest::keyClick(menu, Qt::Key_Return);
            }
        }
        menu->close();
    };
    return whenWidget([] { return QApplication::activePopupWidget(); }, act, timeoutMs);
}

QModelIndexList rows(QTreeView* tree, const QString& pattern, int hits)
{
    const auto flags = Qt::MatchWildcard | Qt::MatchRecursive | Qt::MatchCaseSensitive;
    return tree->model()->match(tree->model()->index(0, 0), treemodel::KeyRole, pattern, hits, flags);
}

void contextMenu(QTreeView* tree, const QString& key, const QString& pick)
{
    QPointer<QTimer> watcher = whenMenu(pick);
    const QModelIndex row = rows(tree, key, 1).value(0);
    tree->scrollTo(row);
    const QPoint at = tree->visualRect(row).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);
    delete watcher;
}

QStringList tabOrderOutOfPlace(QWidget* root)
{
    QList<QWidget*> chain;
    for (QWidget* w = root->nextInFocusChain(); w != root && !chain.contains(w); w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(root) && w->isEnabled() && !w->focusProxy())
            chain.append(w);
    }
    const auto place = [root](const QWidget* w) { return w->mapTo(root, QPoint(0, w->height() / 2)); };
    QStringList order;
    bool inPlace = true;
    for (int n = 0; n < chain.size(); ++n) {
        const QPoint at = place(chain.at(n));
        order.append(QStringLiteral("%1@%2,%3").arg(chain.at(n)->objectName()).arg(at.x()).arg(at.y()));
        // The next control is on a lower row, or on the same row further right.
        if (n > 0) {
            const QPoint before = place(chain.at(n - 1));
            const bool sameRow = std::abs(at.y() - before.y()) < chain.at(n)->height() / 2 + 1;
            inPlace = inPlace && (sameRow ? at.x() > before.x() : at.y() > before.y());
        }
    }
    return inPlace ? QStringList() : order;
}

QStringList unnamedControls(QWidget* root)
{
    QStringList unnamed;
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        // The editor inside a spin box or combo box, and a view's viewport, are read as part of it.
        const auto* area = qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
        const bool part = qobject_cast<QAbstractSpinBox*>(widget->parentWidget())
            || qobject_cast<QComboBox*>(widget->parentWidget()) || (area && area->viewport() == widget);
        if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(root) || part)
            continue;
        const QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        // A name without a letter or digit ("◀") is a symbol a screen reader cannot say.
        if (!face || !face->text(QAccessible::Name).contains(QRegularExpression(QStringLiteral("[\\p{L}\\p{N}]"))))
            unnamed.append(QStringLiteral("%1 %2").arg(widget->metaObject()->className(), widget->objectName()));
    }
    return unnamed;
}

} // namespace testsupport
