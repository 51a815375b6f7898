// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/settings.h"
#include "standinserver.h"
#include "treebuild.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include <functional>

class MainWindow;
class ServerView;

// Shared test fixtures: a private configuration directory per test program, a stand-in server, short waits, and
// helpers that drive modal dialogs and menus through their real code paths.
namespace testsupport {

// Points the configuration home at a fresh temporary directory and selects the offscreen platform; called before
// the application object exists, so that settings and token files never touch the user's own.
void prepareEnvironment();
// Drops the warnings of the offscreen platform and of font fallback, which say nothing about the code under test.
void filterPlatformNoise();

QString configHome();
QString iniPath();
// Removes the client's settings and every token file.
void resetConfig();
// A fresh configuration for a test of server tabs: polls only when the test asks (the interval is five minutes).
void resetForTabs();
// Every file under the configuration home with its bytes, to prove that something left them alone.
QMap<QString, QByteArray> configSnapshot();
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// Requests give up, and pollers sleep, in a small fraction of the shipped times.
void shortTimes();

// Opens a server's tab in the window and waits for its first whole round: the tree comes last, so after it the
// server hears nothing until the next poll.
ServerView* openTab(MainWindow* window, const settings::ServerEntry& entry);

// A stand-in Norv server on loopback for the whole test program; reset() before each test.
class Standin : public standin::StandinServer {
public:
    Standin();
    // Stored in the settings with a token of the user's, as after a login.
    settings::ServerEntry store(const QString& user = QStringLiteral("operator"));
};

// Declares the columns of a data table: one type for each name, in order.
template <typename... Types, typename... Names> void columns(Names... names)
{
    (QTest::addColumn<Types>(names), ...);
}

// The current row's value in a column of the test's data table, as QFETCH reads it, for a value used only once.
template <typename T> T fetch(const char* column)
{
    return *static_cast<T*>(QTest::qData(column, qMetaTypeId<T>()));
}

// The child of the given type and object name; ends the test program when there is none.
template <typename T> T* child(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

// The visible top-level widgets of a type (dialogs opened without waiting, for instance).
template <typename T> QList<T*> topLevels()
{
    QList<T*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            found.append(t);
    }
    return found;
}

// Fills in a login dialog (the address only when one is given) and presses OK.
void logIn(QWidget* dialog, const QString& url, const QString& user, const QString& password);

// Acts on the next modal widget (dialog, message box) once it is shown, from a timer while the caller blocks in
// its exec(). Stops looking after timeoutMs; deleting the returned watcher stops it at once.
QPointer<QTimer> whenModal(const std::function<void(QWidget*)>& act, int timeoutMs = 10000);
// The same for the next message box, passing over other modal dialogs (the one that will bring the box up).
QPointer<QTimer> whenMessageBox(const std::function<void(QMessageBox*)>& act, int timeoutMs = 10000);
// Picks an entry of the next popup menu as a user does (highlight, Return), by its text without the accelerator
// mark; without such an entry, or when it is disabled, closes the menu.
// With `shown`, notes first every entry of the menu as "text", "(text)" when disabled, or "|" for a line.
QPointer<QTimer> whenMenu(const QString& pick, int timeoutMs = 10000, QStringList* shown = nullptr);

// The rows of a status tree whose keys match a wildcard pattern, depth first; at most `hits` of them (-1: all).
QModelIndexList rows(QTreeView* tree, const QString& pattern, int hits = -1);
// Opens the context menu of a tree's row as a right click does, and picks an entry as whenMenu() does. The menu
// runs inside the event: the entry's action has run on return.
void contextMenu(QTreeView* tree, const QString& key, const QString& pick);

// The controls under `root` a screen reader would announce without a name, or with only a symbol: every shown widget
// that takes the focus, as "class objectName".
QStringList unnamedControls(QWidget* root);
// The controls under `root` in the order Tab visits them, as "objectName@x,y"; empty when that is the visual order
// (rows top to bottom, each left to right).
QStringList tabOrderOutOfPlace(QWidget* root);

} // namespace testsupport

#define NORV_TEST_MAIN(TestObject)                                                                                     \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        testsupport::prepareEnvironment();                                                                             \
        QApplication app(argc, argv);                                                                                  \
        settings::nameApplication();                                                                                   \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        QTest::qInit(&tc, argc, argv);                                                                                 \
        testsupport::filterPlatformNoise();                                                                            \
        const int result = QTest::qRun();                                                                              \
        QTest::qCleanup();                                                                                             \
        return result;                                                                                                 \
    }
