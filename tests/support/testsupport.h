#pragma once

#include <QApplication>
#include <QMap>
#include <QString>
#include <QtTest>

#include <functional>

// Shared test fixtures: a private configuration directory per test process, and helpers that drive modal dialogs
// and menus through their real code paths.
namespace testsupport {

// Points the configuration home at a fresh temporary directory and selects the offscreen platform; called before
// the application object exists, so that settings and token files never touch the user's own.
void prepareEnvironment();
// Gives the application the identity the client's start-up gives it (which decides where settings live).
void nameApplication();

QString configHome();
QString iniPath();
QString tokenDir();
// Removes the client's settings and every token file.
void resetConfig();
// Every file under the configuration home with its bytes, to prove that something left them alone.
QMap<QString, QByteArray> configSnapshot();
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// Acts on the next modal widget (dialog, message box) once it is shown, from a timer while the caller blocks in
// its exec(). Stops looking after timeoutMs.
void whenModal(const std::function<void(QWidget*)>& act, int timeoutMs = 10000);
// The same for the next popup (a context menu).
void whenPopup(const std::function<void(QWidget*)>& act, int timeoutMs = 10000);

} // namespace testsupport

#define NORV_TEST_MAIN(TestObject)                                                                                     \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        testsupport::prepareEnvironment();                                                                             \
        QApplication app(argc, argv);                                                                                  \
        testsupport::nameApplication();                                                                                \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
