#include "dialogs.h"
#include "icons.h"
#include "logindialog.h"
#include "mainwindow.h"
#include "serverview.h"
#include "settings.h"
#include "standinserver.h"
#include "testsupport.h"
#include "tray.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeView>

#include <memory>

using standin::Fault;
using testsupport::child;

namespace {

QColor iconColor(const QIcon& icon)
{
    return QColor(icon.pixmap(64, 64).toImage().pixel(32, 2));
}

// A row of the servers dialog: name, address, connect at start, status.
QString rowText(QTableWidget* table, int row)
{
    return QStringList(
        {table->item(row, 0)->text(), table->item(row, 1)->text(),
            table->item(row, 2)->checkState() == Qt::Checked ? QStringLiteral("on") : QStringLiteral("off"),
            table->item(row, 3)->text()})
        .join(QLatin1Char('|'));
}

QString enabledButtons(QWidget* dialog)
{
    QStringList names;
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->isEnabled() && button->text() != QLatin1String("&Close")
            && button->text() != QLatin1String("Close"))
            names.append(button->text());
    }
    return names.join(QLatin1Char(','));
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

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void worstStatus_data();
    void worstStatus();
    void tabsFollowServerList();
    void iconTitleAndStatusBar();
    void openingAnOpenServer();
    void closingKeepsServerAndToken();
    void removingLogsOutAndDeletes_data();
    void removingLogsOutAndDeletes();
    void reloginReconnectsOpenTab();
    void filterField();
    void closingWithoutTrayEndsProgram();
    void addServerThroughLogin();
    void settingsDialogShowsAndSaves();
    void acceptedSettingsApply();
    void serversDialogTable();
    void serversDialogRenameAndAutoconnect();
    void serversDialogConnectDisconnect();
    void serversDialogRemove();

private:
    settings::ServerEntry store(standin::StandinServer& server, const QString& user = QStringLiteral("operator"))
    {
        return settings::addOrUpdateServer(server.url(), server.issueToken(user));
    }
    // Waits for a whole first round: the tree comes last, so after it the server hears nothing until the next poll.
    void waitForStatus(ServerView* view)
    {
        QTRY_VERIFY_WITH_TIMEOUT(view->hasStatus && child<QTreeView>(view, "tree")->model()->rowCount() > 0, 10000);
    }
    // Runs the servers dialog; act works on it while it is open, then it is closed.
    void withServersDialog(const std::function<void(ServersDialog*)>& act);

    standin::StandinServer a, b, c;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(a.listen());
    QVERIFY(b.listen());
    QVERIFY(c.listen());
}

void TestMainWindow::init()
{
    testsupport::resetConfig();
    for (standin::StandinServer* s : {&a, &b, &c}) {
        s->clearFaults();
        s->clearRequests();
        s->setNetwork(standin::Network::sample());
    }
    window = std::make_unique<MainWindow>();
}

void TestMainWindow::cleanup()
{
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestMainWindow::withServersDialog(const std::function<void(ServersDialog*)>& act)
{
    testsupport::whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<ServersDialog*>(modal);
        QVERIFY(dialog);
        act(dialog);
        dialog->reject();
    });
    window->openServersDialog();
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
    const settings::ServerEntry ea = store(a);
    const settings::ServerEntry eb = store(b);
    const settings::ServerEntry ec = store(c);
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
    QCOMPARE(child<QTabWidget>(window.get(), "serverTabs")->tabToolTip(2), c.url());

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
    ServerView* va = window->openServer(store(a), QString());
    ServerView* vb = window->openServer(store(b), QString());
    waitForStatus(va);
    waitForStatus(vb);
    QTRY_COMPARE(iconColor(window->windowIcon()), icons::statusColor(QStringLiteral("critical"), false));
    auto* tabs = child<QTabWidget>(window.get(), "serverTabs");
    QCOMPARE(iconColor(tabs->tabIcon(1)), icons::statusColor(QStringLiteral("ok"), false));
    QCOMPARE(iconColor(tabs->tabIcon(0)), icons::statusColor(QStringLiteral("critical"), false));

    for (ServerView* view : {vb, va}) {
        tabs->setCurrentWidget(view);
        QCOMPARE(window->windowTitle(), QStringLiteral("Norv – %1").arg(view->entry.url));
        QCOMPARE(child<QLabel>(window.get(), "summaryLabel")->text(), view->summaryText);
        QCOMPARE(child<QLabel>(window.get(), "timeLabel")->text(), view->serverTimeText);
    }
    // The tray sums both servers up.
    QTRY_VERIFY(window->trayIcon()->toolTip().endsWith(QStringLiteral("(2 servrar)")));
}

void TestMainWindow::openingAnOpenServer()
{
    const settings::ServerEntry ea = store(a);
    const settings::ServerEntry eb = store(b);
    ServerView* va = window->openServer(ea, QString());
    window->openServer(eb, QString());
    waitForStatus(va);
    a.clearRequests();
    QCOMPARE(window->openServer(ea, QString()), va);
    QCOMPARE(window->currentView(), va);
    QTest::qWait(200);
    QVERIFY(a.requests().isEmpty()); // only switched to it
    const QString fresh = a.issueToken(QStringLiteral("admin"));
    QCOMPARE(window->openServer(ea, fresh), va);
    QTRY_VERIFY(!a.requests().isEmpty());
    QCOMPARE(a.requests().first().header("authorization"), "Bearer " + fresh.toUtf8());
    QCOMPARE(window->views().size(), 2);
}

void TestMainWindow::closingKeepsServerAndToken()
{
    const settings::ServerEntry ea = store(a);
    const settings::ServerEntry eb = store(b);
    const QString token = settings::loadServerToken(ea.id);
    window->openServer(ea, QString());
    ServerView* vb = window->openServer(eb, QString());
    waitForStatus(vb);
    QTRY_VERIFY(window->trayIcon()->toolTip().endsWith(QStringLiteral("(2 servrar)")));
    auto* tabs = child<QTabWidget>(window.get(), "serverTabs");
    Q_EMIT tabs->tabCloseRequested(0); // the tab's close button
    QCOMPARE(window->views(), QList<ServerView*>({vb}));
    QCOMPARE(settings::servers().size(), 2);
    QCOMPARE(settings::loadServerToken(ea.id), token);
    QVERIFY(!window->trayIcon()->toolTip().endsWith(QStringLiteral("servrar)")));
    window->closeServer(eb.id);
    window->closeServer(eb.id); // already closed: nothing
    QCOMPARE(child<QStackedWidget>(window.get(), "stack")->currentIndex(), 0); // the empty page
    QCOMPARE(window->windowTitle() + child<QLabel>(window.get(), "summaryLabel")->text(), QStringLiteral("Norv"));
    QCOMPARE(iconColor(window->windowIcon()), icons::statusColor(QStringLiteral("ok"), false));
}

void TestMainWindow::removingLogsOutAndDeletes_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("tokenValid");
    // clang-format off
    QTest::newRow("open tab") << true << true;
    QTest::newRow("open tab, token already revoked") << true << false;
    QTest::newRow("not open") << false << true;
    QTest::newRow("not open, server refuses") << false << false;
    // clang-format on
}

void TestMainWindow::removingLogsOutAndDeletes()
{
    QFETCH(bool, open);
    QFETCH(bool, tokenValid);
    const settings::ServerEntry ea = store(a);
    const settings::ServerEntry eb = store(b);
    const QString token = settings::loadServerToken(ea.id);
    if (open)
        waitForStatus(window->openServer(ea, QString()));
    if (!tokenValid) {
        a.revokeToken(token);
        a.setFault(QStringLiteral("/api/auth/logout"), Fault::raw(401, R"({"error":"Okänd token"})"));
    }
    a.clearRequests();
    const int tokensBefore = a.tokenCount();
    window->removeServer(ea.id);
    const QList<standin::RecordedRequest> logouts = a.requests(QStringLiteral("/api/auth/logout"));
    QCOMPARE(logouts.size(), 1);
    QCOMPARE(logouts.first().header("authorization"), "Bearer " + token.toUtf8());
    if (tokenValid)
        QCOMPARE(a.tokenCount(), tokensBefore - 1);
    QVERIFY(!settings::findServer(ea.id) && !window->view(ea.id));
    QVERIFY(!QFile::exists(settings::serverTokenPath(ea.id)));
    QVERIFY(!settings::loadServerToken(eb.id).isEmpty());
}

void TestMainWindow::reloginReconnectsOpenTab()
{
    const settings::ServerEntry ea = store(a);
    ServerView* va = window->openServer(ea, QString());
    waitForStatus(va);
    a.revokeToken(settings::loadServerToken(ea.id));
    va->refreshNow();
    QTRY_COMPARE(va->summaryText, QStringLiteral("Inte inloggad"));
    QVERIFY(!QFile::exists(settings::serverTokenPath(ea.id)));

    QString lockedUrl;
    bool readOnly = false;
    testsupport::whenModal([&](QWidget* modal) {
        auto* login = qobject_cast<LoginDialog*>(modal);
        lockedUrl = child<QLineEdit>(login, "urlEdit")->text();
        readOnly = child<QLineEdit>(login, "urlEdit")->isReadOnly();
        child<QLineEdit>(login, "userEdit")->setText(QStringLiteral("admin"));
        child<QLineEdit>(login, "passwordEdit")->setText(QStringLiteral("admin"));
        QTest::mouseClick(login->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    QTest::mouseClick(child<QPushButton>(va, "bannerButton"), Qt::LeftButton);
    QCOMPARE(lockedUrl, a.url());
    QVERIFY(readOnly);
    const QString stored = settings::loadServerToken(ea.id);
    QCOMPARE(window->views(), QList<ServerView*>({va}));
    QTRY_COMPARE(va->summaryText, QStringLiteral("2 kritiska · 2 varningar · 0 stale · 5 ok av 9"));
    QCOMPARE(a.requests().last().header("authorization"), "Bearer " + stored.toUtf8());
    QCOMPARE(settings::servers().size(), 1);
}

void TestMainWindow::filterField()
{
    ServerView* va = window->openServer(store(a), QString());
    waitForStatus(va);
    QTRY_VERIFY(child<QTreeView>(va, "tree")->model()->rowCount() > 0);
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
    ServerView* vb = window->openServer(store(b), QString());
    waitForStatus(vb);
    QTRY_COMPARE(child<QTreeView>(vb, "tree")->model()->rowCount(), 1);
}

// On a desktop without a tray (the offscreen platform has none) a closed window could never come back: closing it
// ends the program instead of hiding it.
void TestMainWindow::closingWithoutTrayEndsProgram()
{
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    ServerView* va = window->openServer(store(a), QString());
    waitForStatus(va);
    window->show();
    QVERIFY(window->close());
    QVERIFY(window->isQuitting());
    a.clearRequests();
    va->refreshNow(); // shut down: no poller any more
    QTest::qWait(300);
    QVERIFY(a.requests().isEmpty());
}

void TestMainWindow::addServerThroughLogin()
{
    testsupport::whenModal([&](QWidget* modal) {
        auto* login = qobject_cast<LoginDialog*>(modal);
        QCOMPARE(child<QLineEdit>(login, "urlEdit")->text(), QStringLiteral("https://"));
        child<QLineEdit>(login, "urlEdit")->setText(c.url() + QStringLiteral("/"));
        child<QLineEdit>(login, "userEdit")->setText(QStringLiteral("viewer"));
        child<QLineEdit>(login, "passwordEdit")->setText(QStringLiteral("viewer"));
        QTest::mouseClick(login->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    QTest::mouseClick(
        buttonNamed(child<QWidget>(window.get(), "emptyPage"), QStringLiteral("Lägg till server…")), Qt::LeftButton);
    const QList<settings::ServerEntry> list = settings::servers();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().url, c.url());
    QCOMPARE(window->views().size(), 1);
    waitForStatus(window->view(list.first().id));

    // Cancelled: nothing is stored or opened.
    testsupport::whenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    QVERIFY(!window->addServer());
    QCOMPARE(settings::servers().size(), 1);
}

void TestMainWindow::settingsDialogShowsAndSaves()
{
    testsupport::writeFile(testsupport::iniPath(),
        "[General]\ntheme=Blå\nfont_size=0\nrefresh_seconds=900\n"
        "alarm_on_soft=yes\nfont_family=\n");
    SettingsDialog dialog;
    auto* theme = child<QComboBox>(&dialog, "themeCombo");
    auto* size = child<QSpinBox>(&dialog, "fontSizeSpin");
    auto* interval = child<QSpinBox>(&dialog, "intervalSpin");
    QCOMPARE(theme->currentText(), QStringLiteral("Följ systemet"));
    QCOMPARE(size->text(), QStringLiteral("Systemets standard"));
    QCOMPARE(interval->text(), QStringLiteral("300 s")); // stored 900, shown clamped
    QVERIFY(child<QCheckBox>(&dialog, "alarmOnSoftCheck")->isChecked());
    dialog.save();
    QCOMPARE(settings::theme() + QString::number(settings::refreshSeconds()) + QString::number(settings::fontSize()),
        QStringLiteral("system3000"));
    // The family shown is stored even when none was.
    QCOMPARE(settings::fontFamily(), child<QFontComboBox>(&dialog, "fontCombo")->currentFont().family());
    theme->setCurrentIndex(2);
    size->setValue(13);
    interval->setValue(4); // below the range: stays 5
    child<QCheckBox>(&dialog, "alarmOnSoftCheck")->setChecked(false);
    dialog.save();
    QCOMPARE(settings::theme() + QString::number(settings::refreshSeconds()) + QString::number(settings::fontSize()),
        QStringLiteral("dark513"));
    QVERIFY(!settings::alarmOnSoft());
}

void TestMainWindow::acceptedSettingsApply()
{
    ServerView* va = window->openServer(store(a), QString());
    waitForStatus(va);
    a.clearRequests();
    const QPalette before = QApplication::palette();
    testsupport::whenModal([](QWidget* modal) {
        child<QComboBox>(modal, "themeCombo")->setCurrentIndex(2);
        QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    window->openSettings();
    QCOMPARE(settings::theme(), QStringLiteral("dark"));
    QCOMPARE(QApplication::palette().color(QPalette::Window).name(), QStringLiteral("#171e2b"));
    QTRY_VERIFY(!a.requests(QStringLiteral("/api/status")).isEmpty()); // every tab polls at once
    // The tab badge is repainted in the dark look.
    QCOMPARE(iconColor(child<QTabWidget>(window.get(), "serverTabs")->tabIcon(0)).name(), QStringLiteral("#ff8080"));
    settings::setTheme(QStringLiteral("system"));
    settings::applySavedTheme();
    QCOMPARE(QApplication::palette().color(QPalette::Window), before.color(QPalette::Window));
}

void TestMainWindow::serversDialogTable()
{
    const settings::ServerEntry ea = store(a);
    settings::ServerEntry eb = store(b);
    settings::setServerName(eb.id, QStringLiteral("Drift"));
    settings::setServerAutoconnect(eb.id, false);
    window->openServer(ea, QString());
    withServersDialog([&](ServersDialog* dialog) {
        auto* table = child<QTableWidget>(dialog, "table");
        QCOMPARE(rowText(table, 0), QStringLiteral("127.0.0.1|%1|on|Ansluten").arg(a.url()));
        QCOMPARE(rowText(table, 1), QStringLiteral("Drift|%1|off|Inte ansluten").arg(b.url()));
        QVERIFY(
            !(table->item(1, 1)->flags() & Qt::ItemIsEditable) && (table->item(1, 0)->flags() & Qt::ItemIsEditable));
        QCOMPARE(enabledButtons(dialog), QStringLiteral("Lägg till server…")); // nothing selected
        table->selectRow(0);
        QCOMPARE(enabledButtons(dialog), QStringLiteral("Lägg till server…,Koppla från,Ta bort…"));
        table->selectRow(1);
        QCOMPARE(enabledButtons(dialog), QStringLiteral("Lägg till server…,Anslut,Ta bort…"));
    });
}

void TestMainWindow::serversDialogRenameAndAutoconnect()
{
    const settings::ServerEntry ea = store(a);
    ServerView* va = window->openServer(ea, QString());
    withServersDialog([&](ServersDialog* dialog) {
        auto* table = child<QTableWidget>(dialog, "table");
        table->item(0, 0)->setText(QStringLiteral("  Produktion  "));
        QCOMPARE(settings::findServer(ea.id)->name, QStringLiteral("Produktion"));
        QCOMPARE(child<QTabWidget>(window.get(), "serverTabs")->tabText(0), QStringLiteral("Produktion"));
        QTRY_COMPARE(table->item(0, 0)->text(), QStringLiteral("Produktion")); // reloaded after the edit
        QCOMPARE(dialog->selectedId(), ea.id);

        // Renamed to the URL's own host: stored as no name, so the label keeps following the URL.
        table->item(0, 0)->setText(QStringLiteral("127.0.0.1"));
        QCOMPARE(settings::findServer(ea.id)->name, QString());
        table->item(0, 0)->setText(QStringLiteral("   "));
        QCOMPARE(settings::findServer(ea.id)->name, QString());
        QTRY_COMPARE(table->item(0, 0)->text(), QStringLiteral("127.0.0.1"));

        table->item(0, 2)->setCheckState(Qt::Unchecked);
        QVERIFY(!settings::findServer(ea.id)->autoconnect);
        QCOMPARE(window->view(ea.id), va); // still connected
    });
}

void TestMainWindow::serversDialogConnectDisconnect()
{
    const settings::ServerEntry ea = store(a);
    const settings::ServerEntry eb = store(b);
    withServersDialog([&](ServersDialog* dialog) {
        auto* table = child<QTableWidget>(dialog, "table");
        table->selectRow(0);
        QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Anslut")), Qt::LeftButton);
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("Ansluten"));
        QCOMPARE(dialog->selectedId(), ea.id);

        // A double-click on the status cell connects as well.
        table->selectRow(1);
        const QRect cell = table->visualItemRect(table->item(1, 3));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("Ansluten"));

        table->selectRow(0);
        QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Koppla från")), Qt::LeftButton);
        QVERIFY(!window->view(ea.id));
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("Inte ansluten"));
    });
    // Connected with the stored token.
    QTRY_VERIFY(window->view(eb.id)->hasStatus);
}

void TestMainWindow::serversDialogRemove()
{
    const settings::ServerEntry ea = store(a);
    const settings::ServerEntry eb = store(b);
    window->openServer(ea, QString());
    withServersDialog([&](ServersDialog* dialog) {
        auto* table = child<QTableWidget>(dialog, "table");
        table->selectRow(0);
        QString question;
        testsupport::whenMessageBox([&](QMessageBox* box) {
            question = box->windowTitle() + QLatin1Char('|') + box->text();
            box->button(QMessageBox::No)->click();
        });
        QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Ta bort…")), Qt::LeftButton);
        QCOMPARE(question,
            QStringLiteral("Ta bort server|Ta bort 127.0.0.1 (%1) ur listan?\n\nInloggningen återkallas "
                           "på servern och tokenen tas bort från den här datorn.")
                .arg(a.url()));
        QCOMPARE(settings::servers().size(), 2);

        testsupport::whenMessageBox([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
        QTest::mouseClick(buttonNamed(dialog, QStringLiteral("Ta bort…")), Qt::LeftButton);
        QCOMPARE(settings::servers().size(), 1);
        QCOMPARE(table->rowCount(), 1);
        QVERIFY(dialog->selectedId().isEmpty());
        QCOMPARE(a.requests(QStringLiteral("/api/auth/logout")).size(), 1);
    });
}

NORV_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
