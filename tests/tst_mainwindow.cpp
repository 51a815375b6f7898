#include "dialogs.h"
#include "icons.h"
#include "logindialog.h"
#include "mainwindow.h"
#include "serverview.h"
#include "testsupport.h"
#include "tray.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeView>

using standin::Fault;
using testsupport::child;

namespace {

QColor iconColor(const QIcon& icon)
{
    return QColor(icon.pixmap(64, 64).toImage().pixel(32, 2));
}

QPushButton* buttonNamed(QWidget* parent, const QString& text)
{
    for (QPushButton* button : parent->findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    qFatal("no button %s", qPrintable(text));
    return nullptr;
}

// Fills in the login dialog and presses OK.
void logIn(QWidget* modal, const QString& url, const QString& user)
{
    if (!url.isEmpty())
        child<QLineEdit>(modal, "urlEdit")->setText(url);
    child<QLineEdit>(modal, "userEdit")->setText(user);
    child<QLineEdit>(modal, "passwordEdit")->setText(user);
    QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testsupport::shortTimes(); }
    void init();
    void cleanup();

    void worstStatus_data();
    void worstStatus();
    void tabsFollowServerList();
    void iconTitleAndStatusBar();
    void unreachableServerInTabIconAndTray();
    void openingAnOpenServer();
    void closingAndRemoving_data();
    void closingAndRemoving();
    void lostLoginAndRelogin();
    void filterField();
    void closingTheWindow_data();
    void closingTheWindow();
    void addServerThroughLogin();
    void acceptedSettingsApply();
    void serversDialog();

private:
    // Waits for a whole first round: the tree comes last, so after it the server hears nothing until the next poll.
    void waitForRound(ServerView* view)
    {
        QTRY_VERIFY_WITH_TIMEOUT(view->hasStatus && child<QTreeView>(view, "tree")->model()->rowCount() > 0, 10000);
    }
    QTabWidget* tabs() { return child<QTabWidget>(window.get(), "serverTabs"); }

    testsupport::Standin a, b, c;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    testsupport::resetConfig();
    settings::setRefreshSeconds(300); // the tests ask for each round themselves
    for (testsupport::Standin* s : {&a, &b, &c})
        s->reset();
    window = std::make_unique<MainWindow>();
}

void TestMainWindow::cleanup()
{
    window.reset();
    NorvTray::availabilityForTests().reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestMainWindow::worstStatus_data()
{
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("worst");
    // clang-format off
    QTest::newRow("none") << QStringList() << "ok";
    QTest::newRow("warning and stale") << QStringList({"stale", "warning"}) << "warning";
    QTest::newRow("pending beside ok") << QStringList({"pending", "ok"}) << "ok";
    QTest::newRow("unknown words rank 0") << QStringList({"none", "ignored", ""}) << "pending";
    QTest::newRow("critical over unknown") << QStringList({"unknown", "critical", "warning"}) << "critical";
    // clang-format on
}

void TestMainWindow::worstStatus()
{
    QFETCH(QStringList, statuses);
    QTEST(::worstStatus(statuses), "worst");
}

void TestMainWindow::tabsFollowServerList()
{
    const settings::ServerEntry ea = a.store();
    const settings::ServerEntry eb = b.store();
    const settings::ServerEntry ec = c.store();
    window->openServer(ec, QString());
    window->openServer(ea, QString());
    window->openServer(eb, QString());
    const auto ids = [this] {
        QStringList ids;
        for (ServerView* view : window->views())
            ids.append(view->entry.id);
        return ids;
    };
    QCOMPARE(ids(), QStringList({ea.id, eb.id, ec.id}));
    QCOMPARE(window->currentView()->entry.id, eb.id); // the last opened is current
    QCOMPARE(tabs()->tabToolTip(2), c.url());
    // A server that is not in the list goes last.
    const settings::ServerEntry stranger {
        QStringLiteral("fffffffffff0"), a.url() + QStringLiteral("/x"), QStringLiteral("Främling"), true};
    window->openServer(stranger, a.issueToken(QStringLiteral("viewer")));
    window->closeServer(eb.id);
    window->openServer(eb, QString());
    QCOMPARE(ids(), QStringList({ea.id, eb.id, ec.id, stranger.id}));
}

void TestMainWindow::iconTitleAndStatusBar()
{
    b.update([](standin::Network& n) {
        for (standin::Check& check : n.checks)
            check.status = QStringLiteral("ok");
        for (standin::Port& port : n.ports)
            port.status = QStringLiteral("ok");
    });
    ServerView* va = window->openServer(a.store(), QString());
    ServerView* vb = window->openServer(b.store(), QString());
    waitForRound(va);
    waitForRound(vb);
    QTRY_COMPARE(iconColor(window->windowIcon()), icons::statusColor(QStringLiteral("critical"), false));
    QCOMPARE(iconColor(tabs()->tabIcon(1)), icons::statusColor(QStringLiteral("ok"), false));
    for (ServerView* view : {vb, va}) {
        tabs()->setCurrentWidget(view);
        QCOMPARE(window->windowTitle(), QStringLiteral("Norv – %1").arg(view->entry.url));
        QCOMPARE(child<QLabel>(window.get(), "summaryLabel")->text(), view->summaryText);
        QCOMPARE(child<QLabel>(window.get(), "timeLabel")->text(), view->serverTimeText);
    }
    QTRY_VERIFY(window->trayIcon()->toolTip().endsWith(QStringLiteral("(2 servrar)"))); // the tray sums both up
}

// Two failed rounds in a row: the tab, the window icon and the tray show "unknown", and the tray says so once; a
// third says nothing more; the next answer puts the server back without a word, and only what appeared while it was
// away is announced.
void TestMainWindow::unreachableServerInTabIconAndTray()
{
    b.update([](standin::Network& n) { n.checks.clear(), n.ports.clear(); });
    ServerView* va = window->openServer(a.store(), QString());
    ServerView* vb = window->openServer(b.store(), QString());
    waitForRound(va);
    waitForRound(vb);
    QSignalSpy notified(window->trayIcon(), &NorvTray::notified);
    b.setFault(QStringLiteral("/api/status"), Fault::drop());
    for (int round = 1; round <= 3; ++round) {
        vb->refreshNow();
        QTRY_VERIFY(child<QWidget>(vb, "banner")->isVisibleTo(vb));
        QTRY_COMPARE(vb->unreachable, round >= 2);
        QTest::qWait(50);
        QCOMPARE(notified.count(), round >= 2 ? 1 : 0);
    }
    QCOMPARE(iconColor(tabs()->tabIcon(1)), icons::statusColor(QStringLiteral("unknown"), false));
    tabs()->setCurrentWidget(va);
    QCOMPARE(iconColor(window->windowIcon()), icons::statusColor(QStringLiteral("critical"), false));
    QVERIFY(window->trayIcon()->toolTip().endsWith(QStringLiteral("\nSvarar inte: 127.0.0.1")));
    QCOMPARE(notified.first().at(1).toString(), QStringLiteral("127.0.0.1: servern svarar inte"));
    window->closeServer(va->entry.id);
    QCOMPARE(iconColor(window->windowIcon()), icons::statusColor(QStringLiteral("unknown"), false));

    b.clearFaults();
    b.update([](standin::Network& n) { n = standin::Network::sample(); });
    vb->refreshNow();
    QTRY_VERIFY(!vb->unreachable);
    QTRY_COMPARE(notified.count(), 2);
    QVERIFY(notified.last().at(0).toString().startsWith(QStringLiteral("Norv: ")));
    QVERIFY(!notified.last().at(1).toString().contains(QStringLiteral("svarar inte")));
    QVERIFY(!window->trayIcon()->toolTip().contains(QStringLiteral("Svarar inte")));
}

void TestMainWindow::openingAnOpenServer()
{
    const settings::ServerEntry ea = a.store();
    ServerView* va = window->openServer(ea, QString());
    window->openServer(b.store(), QString());
    waitForRound(va);
    a.clearRequests();
    QCOMPARE(window->openServer(ea, QString()), va); // only switched to it
    QCOMPARE(window->currentView(), va);
    const QString fresh = a.issueToken(QStringLiteral("admin"));
    QCOMPARE(window->openServer(ea, fresh), va); // reconnected with the new token
    QTRY_VERIFY(!a.requests().isEmpty());
    QCOMPARE(a.requests().first().header("authorization"), "Bearer " + fresh.toUtf8());
    QCOMPARE(window->views().size(), 2);
}

void TestMainWindow::closingAndRemoving_data()
{
    QTest::addColumn<bool>("remove");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("tokenValid");
    // clang-format off
    QTest::newRow("closed tab keeps server and token") << false << true << true;
    QTest::newRow("removed open tab") << true << true << true;
    QTest::newRow("removed open tab, token already revoked") << true << true << false;
    QTest::newRow("removed, not open") << true << false << true;
    QTest::newRow("removed, not open, server refuses") << true << false << false;
    // clang-format on
}

void TestMainWindow::closingAndRemoving()
{
    QFETCH(bool, remove);
    QFETCH(bool, open);
    QFETCH(bool, tokenValid);
    const settings::ServerEntry ea = a.store();
    const settings::ServerEntry eb = b.store();
    const QString token = settings::loadServerToken(ea.id);
    if (open)
        waitForRound(window->openServer(ea, QString()));
    if (!tokenValid) {
        a.revokeToken(token);
        a.setFault(QStringLiteral("/api/auth/logout"), Fault::raw(401, R"({"error":"Okänd token"})"));
    }
    a.clearRequests();
    if (remove)
        window->removeServer(ea.id);
    else
        Q_EMIT tabs()->tabCloseRequested(0); // the tab's close button
    QVERIFY(!window->view(ea.id));
    QCOMPARE(child<QStackedWidget>(window.get(), "stack")->currentIndex(), 0); // the empty page
    QCOMPARE(window->windowTitle() + child<QLabel>(window.get(), "summaryLabel")->text(), QStringLiteral("Norv"));
    QCOMPARE(bool(settings::findServer(ea.id)), !remove);
    QCOMPARE(settings::loadServerToken(ea.id), remove ? QString() : token);
    QCOMPARE(a.requests(QStringLiteral("/api/auth/logout")).size(), remove ? 1 : 0);
    if (remove)
        QCOMPARE(a.requests().first().header("authorization"), "Bearer " + token.toUtf8());
    QVERIFY(!settings::loadServerToken(eb.id).isEmpty());
}

// A lost login: the tab says so, the tray tells of it and forgets the server; the banner's button logs in again to
// the same address and reconnects the same tab.
void TestMainWindow::lostLoginAndRelogin()
{
    const settings::ServerEntry ea = a.store();
    ServerView* va = window->openServer(ea, QString());
    waitForRound(va);
    QSignalSpy notified(window->trayIcon(), &NorvTray::notified);
    a.revokeToken(settings::loadServerToken(ea.id));
    va->refreshNow();
    QTRY_COMPARE(va->summaryText, QStringLiteral("Inte inloggad"));
    QCOMPARE(notified.count(), 1);
    QCOMPARE(notified.first(), QVariantList({"Norv", "Inloggningen på 127.0.0.1 har gått ut – logga in igen."}));
    QCOMPARE(window->trayIcon()->toolTip(), QStringLiteral("Norv – OK: 0 kritiska, 0 varningar, 0 ok"));

    QString lockedUrl;
    testsupport::whenModal([&](QWidget* modal) {
        QVERIFY(child<QLineEdit>(modal, "urlEdit")->isReadOnly());
        lockedUrl = child<QLineEdit>(modal, "urlEdit")->text();
        logIn(modal, QString(), QStringLiteral("admin"));
    });
    QTest::mouseClick(child<QPushButton>(va, "bannerButton"), Qt::LeftButton);
    QCOMPARE(lockedUrl, a.url());
    QCOMPARE(window->views(), QList<ServerView*>({va}));
    QTRY_VERIFY(va->hasStatus);
    QCOMPARE(a.requests().last().header("authorization"), "Bearer " + settings::loadServerToken(ea.id).toUtf8());
    QCOMPARE(settings::servers().size(), 1);
}

void TestMainWindow::filterField()
{
    ServerView* va = window->openServer(a.store(), QString());
    waitForRound(va);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto* filter = child<QLineEdit>(window.get(), "filterEdit");
    auto* tree = child<QTreeView>(va, "tree");
    QTest::keyClicks(filter, QStringLiteral("postgres"));
    QCOMPARE(tree->model()->rowCount(), 1); // only Stockholm holds a match
    QTest::keyClick(filter, Qt::Key_Return);
    QCOMPARE(filter->text(), QStringLiteral("postgres"));
    QVERIFY(tree->hasFocus());
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier); // the Find key
    QVERIFY(filter->hasFocus());
    QCOMPARE(filter->selectedText(), QStringLiteral("postgres"));
    QTest::keyClick(filter, Qt::Key_Escape);
    QCOMPARE(filter->text(), QString());
    QVERIFY(tree->hasFocus());
    QCOMPARE(tree->model()->rowCount(), 3);
    // A tab opened while a filter is in force gets it too.
    filter->setText(QStringLiteral("gi0"));
    ServerView* vb = window->openServer(b.store(), QString());
    waitForRound(vb);
    QTRY_COMPARE(child<QTreeView>(vb, "tree")->model()->rowCount(), 1);
}

void TestMainWindow::closingTheWindow_data()
{
    QTest::addColumn<bool>("tray");
    QTest::newRow("a tray shows the icon: hidden, still polling") << true;
    // Without a tray a closed window could never come back: closing it ends the program.
    QTest::newRow("no tray: the program ends") << false;
}

void TestMainWindow::closingTheWindow()
{
    QFETCH(bool, tray);
    NorvTray::availabilityForTests() = tray;
    ServerView* va = window->openServer(a.store(), QString());
    waitForRound(va);
    window->show();
    QCOMPARE(window->close(), !tray);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->isQuitting(), !tray);
    a.clearRequests();
    va->refreshNow();
    QTest::qWait(300);
    QCOMPARE(a.requests().isEmpty(), !tray);
}

void TestMainWindow::addServerThroughLogin()
{
    testsupport::whenModal([&](QWidget* modal) {
        QCOMPARE(child<QLineEdit>(modal, "urlEdit")->text(), QStringLiteral("https://"));
        logIn(modal, c.url() + QStringLiteral("/"), QStringLiteral("viewer"));
    });
    QTest::mouseClick(
        buttonNamed(child<QWidget>(window.get(), "emptyPage"), QStringLiteral("Lägg till server…")), Qt::LeftButton);
    QCOMPARE(settings::servers().size(), 1);
    QCOMPARE(settings::servers().first().url, c.url());
    waitForRound(window->view(settings::servers().first().id));
    // Cancelled: nothing is stored or opened.
    testsupport::whenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    QVERIFY(!window->addServer());
    QCOMPARE(settings::servers().size(), 1);
}

// Accepted settings take effect at once: the palette and the badges follow the theme, and every tab polls at once
// and then at the new interval.
void TestMainWindow::acceptedSettingsApply()
{
    ServerView* va = window->openServer(a.store(), QString());
    waitForRound(va);
    a.clearRequests();
    testsupport::whenModal([](QWidget* modal) {
        child<QComboBox>(modal, "themeCombo")->setCurrentIndex(2);
        child<QSpinBox>(modal, "intervalSpin")->setValue(settings::MinRefreshSeconds);
        QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    window->openSettings();
    QCOMPARE(QApplication::palette().color(QPalette::Window), settings::darkPalette().color(QPalette::Window));
    QCOMPARE(iconColor(tabs()->tabIcon(0)), icons::statusColor(QStringLiteral("critical"), false, true));
    QTRY_COMPARE_WITH_TIMEOUT(a.requests(QStringLiteral("/api/status")).size(), 3, 5000);
    settings::setTheme(QStringLiteral("system"));
    settings::applySavedTheme();
}

// The servers dialog: the table, renaming (a name equal to the host stores none), connecting from the status
// cell, disconnecting and removing after a question.
void TestMainWindow::serversDialog()
{
    const settings::ServerEntry ea = a.store();
    const settings::ServerEntry eb = b.store();
    settings::setServerAutoconnect(eb.id, false);
    window->openServer(ea, QString());
    testsupport::whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<ServersDialog*>(modal);
        auto* table = child<QTableWidget>(dialog, "table");
        auto row = [table](int r) {
            return QStringList({table->item(r, 0)->text(), table->item(r, 2)->checkState() == Qt::Checked ? "på" : "av",
                table->item(r, 3)->text()});
        };
        QCOMPARE(row(0), QStringList({"127.0.0.1", "på", "Ansluten"}));
        QCOMPARE(row(1), QStringList({"127.0.0.1", "av", "Inte ansluten"}));
        QVERIFY(!buttonNamed(dialog, QStringLiteral("Ta bort…"))->isEnabled()); // nothing selected
        table->item(0, 0)->setText(QStringLiteral("  Produktion  "));
        QCOMPARE(tabs()->tabText(0), QStringLiteral("Produktion"));
        table->item(0, 0)->setText(QStringLiteral("127.0.0.1"));
        QCOMPARE(settings::findServer(ea.id)->name, QString());
        table->item(0, 2)->setCheckState(Qt::Unchecked);
        QVERIFY(!settings::findServer(ea.id)->autoconnect && window->view(ea.id));
        QTRY_COMPARE(dialog->selectedId(), ea.id); // reloaded after the rename, still selected

        table->selectRow(1);
        const QRect cell = table->visualItemRect(table->item(1, 3));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(row(1).last(), QStringLiteral("Ansluten"));
        QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Koppla från")), Qt::LeftButton);
        QVERIFY(!window->view(eb.id));
        for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
            testsupport::whenMessageBox([answer](QMessageBox* box) { box->button(answer)->click(); });
            QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Ta bort…")), Qt::LeftButton);
        }
        QCOMPARE(table->rowCount(), 1);
        dialog->reject();
    });
    window->openServersDialog();
    QCOMPARE(settings::servers().size(), 1);
    QCOMPARE(b.requests(QStringLiteral("/api/auth/logout")).size(), 1);
}

NORV_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
