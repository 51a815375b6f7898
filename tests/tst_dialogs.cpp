// SPDX-License-Identifier: GPL-3.0-or-later
#include "buildconfig.h"
#include "core/version.h"
#include "gui/appearance.h"
#include "gui/dialogs/dialogs.h"
#include "gui/dialogs/logindialog.h"
#include "gui/dialogs/serversdialog.h"
#include "gui/dialogs/versionnotice.h"
#include "gui/mainwindow.h"
#include "gui/metricchart.h"
#include "gui/servertabs.h"
#include "net/apiworker.h"
#include "testsupport.h"

#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QLineSeries>
#include <QMenu>
#include <QTableWidget>
#include <QValueAxis>

using standin::Fault;
using testsupport::child;
using Opener = std::function<void(MainWindow&)>; // opens a dialog and returns once it has closed
Q_DECLARE_METATYPE(Opener)

const QString LoadSeries = QStringLiteral("/api/hosts/10/plugins/102/metrics/data");

class TestDialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { server.reset(); }
    void cleanup()
    {
        delete chart;
        QTRY_VERIFY(ApiWorker::active().isEmpty());
    }

    void scaleSeries_data()
    {
        // The value axis has a decimal while the scaled values stay below 100.
        testsupport::columns<QList<double>, QString, double, QString, QString>(
            "values", "unit", "divisor", "label", "axisFormat");
        // clang-format off
        QTest::newRow("bps megabits") << QList<double> {12500000, 3} << "bps" << 1e6 << "Mbit/s" << "%.1f";
        QTest::newRow("bps negative counts by size") << QList<double> {-2500, 10} << "bps" << 1e3 << "kbit/s" << "%.1f";
        QTest::newRow("bps beyond tera") << QList<double> {5e15} << "bps" << 1e12 << "Tbit/s" << "%.0f";
        QTest::newRow("unit at 1000") << QList<double> {1000} << "ms" << 1e3 << "kms" << "%.1f";
        QTest::newRow("empty unit large") << QList<double> {2e9} << "" << 1e9 << "G" << "%.1f";
        QTest::newRow("Bps is not bps") << QList<double> {99.5} << "Bps" << 1.0 << "Bps" << "%.1f";
        // clang-format on
    }
    void scaleSeries()
    {
        QFETCH(QList<double>, values);
        QFETCH(QString, unit);
        const auto [divisor, label] = ::scaleSeries(values, unit);
        QTEST(divisor, "divisor");
        QTEST(label, "label");
        const std::unique_ptr<QChart> drawn(makeChart({QList<QDateTime>(values.size()), values, unit}, "x", 24));
        QTEST(static_cast<QValueAxis*>(drawn->axes(Qt::Vertical).value(0))->labelFormat(), "axisFormat");
    }

    // The first label's series for 24 hours, then whatever the operator picks; each pick asks anew. An answer that
    // comes after a newer pick is dropped.
    void chartFollowsMetricAndPeriod()
    {
        openChart();
        waitForSeries();
        QCOMPARE(server.requests(LoadSeries).last().query, QByteArray("label=load1&hours=24"));
        QCOMPARE(line()->count(), 120);
        QCOMPARE(testsupport::unnamedControls(chart), QStringList());
        QCOMPARE(testsupport::tabOrderOutOfPlace(chart), QStringList());
        QCOMPARE(child<QWidget>(chart, "chartView")->accessibleName(), QStringLiteral("Diagram – Load"));
        QStringList labels; // in the order they stand, each with the key that takes the focus to its choice
        for (const QLabel* label : chart->findChildren<QLabel*>()) {
            if (label->buddy())
                labels.insert(label->x() > 20 ? labels.size() : 0, label->text() + ":" + label->buddy()->objectName());
        }
        QCOMPARE(labels, QStringList({"&Metric::metricCombo", "&Tidsperiod::periodCombo"}));
        QTest::keyClick(chart, Qt::Key_T, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), child<QComboBox>(chart, "periodCombo"));
        child<QComboBox>(chart, "metricCombo")->setCurrentIndex(1);
        waitForSeries();
        QCOMPARE(server.requests(LoadSeries).last().query, QByteArray("label=load5&hours=24"));
        QCOMPARE(line()->name(), QStringLiteral("load5"));

        Fault late = Fault::slow(600);
        late.times = 1;
        server.setFault(LoadSeries, late);
        auto* period = child<QComboBox>(chart, "periodCombo");
        period->setCurrentIndex(1);
        QTRY_COMPARE(server.requests(LoadSeries).size(), 3);
        period->setCurrentIndex(3);
        waitForSeries();
        QCOMPARE(server.requests(LoadSeries).last().query, QByteArray("label=load5&hours=168"));
        const QChart* sevenDays = drawn();
        QTRY_VERIFY(ApiWorker::active().isEmpty()); // the late answer has arrived, and is dropped
        QCOMPARE(drawn(), sevenDays);
        // Every period asks for the hours its name says.
        QStringList asked;
        for (int i = 0; i < period->count(); ++i) {
            period->setCurrentIndex(i);
            waitForSeries();
            asked.append(period->currentText() + '=' + server.requests(LoadSeries).last().query.split('=').last());
        }
        QCOMPARE(asked, QStringList({"1 timme=1", "8 timmar=8", "24 timmar=24", "7 dagar=168", "30 dagar=720"}));
    }

    void chartTexts_data()
    {
        testsupport::columns<QString, int, QByteArray, QString, bool>(
            "path", "status", "answer", "text", "metricsEnabled");
        // clang-format off
        QTest::newRow("no labels") << "/api/hosts/10/plugins/102/metrics" << 200 << QByteArray(R"({"labels":[]})") << "Inga mätvärden för den här checken." << true;
        QTest::newRow("labels fail") << "/api/hosts/10/plugins/102/metrics" << 404 << QByteArray(R"({"error":"Okänd check"})") << "Okänd check" << false;
        QTest::newRow("series fail") << LoadSeries << 404 << QByteArray(R"({"error":"Okänt mätvärde"})") << "Okänt mätvärde" << true;
        // clang-format on
    }
    // A failure's message, or the lack of labels, shows under the chart; nothing more is asked.
    void chartTexts()
    {
        QFETCH(QString, path);
        server.setFault(path, Fault::raw(testsupport::fetch<int>("status"), testsupport::fetch<QByteArray>("answer")));
        openChart();
        QTRY_VERIFY(!chartText().startsWith(QStringLiteral("\u23f3")) && !chartText().isEmpty());
        QTEST(chartText(), "text");
        QTEST(child<QComboBox>(chart, "metricCombo")->isEnabled(), "metricsEnabled");
        QCOMPARE(server.requests(LoadSeries).size(), path == LoadSeries ? 1 : 0);
    }

    // Told once per differing version and view, with both versions and where to get the client; an unusable
    // version (empty, "?") changes nothing; the client's own version hides an open notice.
    void shownOncePerDifferingVersion()
    {
        const QString builtIn = appversion::clientVersion();
        QCOMPARE(builtIn, QStringLiteral(NORV_VERSION)); // no VERSION file beside the tests: the build's own
        const QString other = builtIn + QStringLiteral(".1");
        QWidget owner;
        owner.show();
        VersionNotice notice(&owner);
        for (const QString& unusable : {QString(), QStringLiteral(" ? "), QStringLiteral("\t%1 ").arg(builtIn)}) {
            notice.checkVersion(unusable);
            QVERIFY(!notice.isVisible());
        }
        notice.checkVersion(QLatin1Char(' ') + other + QLatin1Char(' '));
        QVERIFY(notice.isVisible());
        QCOMPARE(notice.windowModality(), Qt::WindowModal);
        QVERIFY(notice.text().startsWith(
            QStringLiteral("GUI-klienten har version %1 och servern har version %2.").arg(builtIn, other)));
        QVERIFY(notice.text().contains(QUrl(QStringLiteral(NORV_DOWNLOAD_URL)).host()));
        notice.reject();
        notice.checkVersion(other);
        QVERIFY(!notice.isVisible());
        notice.serverLabel = QStringLiteral("%1 %3"); // percent signs are not expanded
        notice.checkVersion(QStringLiteral("%2"));
        QVERIFY(notice.text().contains(builtIn + QStringLiteral(" och servern %1 %3 har version %2.")));
        notice.checkVersion(QStringLiteral("?"));
        QVERIFY(notice.isVisible());
        notice.checkVersion(builtIn);
        QVERIFY(!notice.isVisible());
    }

    void swedishThroughout_data()
    {
        QTest::addColumn<Opener>("open");
        const auto removeServer = [](MainWindow& window) {
            settings::addOrUpdateServer(QStringLiteral("https://b.invalid"), QStringLiteral("t"));
            ServersDialog servers(window.findChild<ServerTabs*>());
            servers.show();
            auto* table = child<QTableWidget>(&servers, "table");
            table->selectAll(); // the buttons act on one server at a time
            QCOMPARE(table->selectionModel()->selectedRows().size(), 0);
            table->selectRow(0);
            QCOMPARE(table->accessibleName(), QStringLiteral("Servrar"));
            QList<int> fits; // Adress takes the room the others leave
            for (int column = 0; column < table->columnCount(); ++column)
                fits.append(table->horizontalHeader()->sectionResizeMode(column) == QHeaderView::ResizeToContents);
            QCOMPARE(fits, QList<int>({1, 0, 1, 1}));
            for (QPushButton* button : servers.findChildren<QPushButton*>())
                if (button->text() == QStringLiteral("Ta bort…"))
                    button->click(); // asks in a message box
        };
        // clang-format off
        QTest::newRow("servers") << Opener([](MainWindow& window) { ServersDialog(window.findChild<ServerTabs*>()).exec(); });
        QTest::newRow("removing a server") << Opener(removeServer);
        QTest::newRow("settings") << Opener([](MainWindow&) { SettingsDialog().exec(); });
        QTest::newRow("login") << Opener([](MainWindow&) { LoginDialog(nullptr, QString(), false).exec(); });
        QTest::newRow("silence") << Opener([](MainWindow&) { DndDialog(QStringLiteral("web1"), nullptr).exec(); });
        QTest::newRow("versions") << Opener([](MainWindow&) { VersionNotice notice(nullptr); notice.checkVersion(QStringLiteral("0.1")); notice.exec(); });
        QTest::newRow("acknowledgement") << Opener([](MainWindow&) { bool ok; askAckComment(nullptr, QStringLiteral("PostgreSQL"), &ok); });
        // clang-format on
    }
    // With Qt's Swedish catalogue, as on a user's machine, the client's dialogs show exactly the texts in
    // tests/texts (none of Qt's English defaults in a button or a text field's menu); every control has a name for
    // screen readers, and Tab visits them in the order they stand.
    void swedishThroughout()
    {
        static const bool loaded = settings::loadQtTranslation();
        QVERIFY(loaded);
        testsupport::resetConfig();
        server.store();
        MainWindow window;
        QStringList texts, unnamed, tabOrder;
        testsupport::whenModal([&texts, &unnamed, &tabOrder](QWidget* shown) {
            texts.append(shown->windowTitle());
            unnamed = testsupport::unnamedControls(shown);
            tabOrder = testsupport::tabOrderOutOfPlace(shown);
            for (const QAbstractButton* button : shown->findChildren<QAbstractButton*>())
                texts.append(button->isVisible() ? button->text() : QString());
            for (const QLabel* label : shown->findChildren<QLabel*>())
                texts.append(label->isVisible() ? label->text() : QString());
            if (auto* edit = shown->findChild<QLineEdit*>()) {
                const std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
                for (const QAction* action : menu->actions())
                    texts.append(action->text().section(QLatin1Char('\t'), 0, 0));
            }
            if (auto* spin = shown->findChild<QAbstractSpinBox*>()) { // its menu, as a right click opens it
                QTimer::singleShot(0, spin, [&texts] {
                    QWidget* menu = QApplication::activePopupWidget();
                    for (const QAction* action : menu->actions())
                        texts.append(action->text().section(QLatin1Char('\t'), 0, 0));
                    menu->close();
                });
                QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(1, 1), spin->mapToGlobal(QPoint(1, 1)));
                QApplication::sendEvent(spin, &click);
            }
            static_cast<QDialog*>(shown)->reject();
        });
        testsupport::fetch<Opener>("open")(window);
        texts.replaceInStrings(QStringLiteral("&"), QString())
            .replaceInStrings(server.url(), QStringLiteral("URL"))
            .replaceInStrings(appversion::clientVersion().trimmed(), QStringLiteral("VERSION"));
        texts.removeAll(QString());
        const QString expected = QStringLiteral(NORV_TEXTS "/%1.txt").arg(QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(texts.join('\n') + '\n', QString::fromUtf8(testsupport::readFile(expected)));
        QCOMPARE(unnamed, QStringList()); // and a screen reader finds every control by its name
        QCOMPARE(tabOrder, QStringList()); // and Tab goes through them in the order they are seen
    }

private:
    void openChart()
    {
        const QVariantMap target {{"kind", "plugin"}, {"host_id", 10}, {"plugin_id", 102}, {"name", "Load"}};
        chart = new ChartDialog(server.url(), server.issueToken(QStringLiteral("viewer")), target, nullptr);
        chart->show();
    }
    const QChart* drawn() { return child<QChartView>(chart, "chartView")->chart(); }
    QLineSeries* line() { return qobject_cast<QLineSeries*>(drawn()->series().value(0)); }
    QString chartText() { return child<QLabel>(chart, "statusLabel")->text(); }
    // Waits until the newest series request has been drawn or has failed.
    void waitForSeries() { QTRY_VERIFY(!chartText().startsWith(QStringLiteral("\u23f3"))); }

    testsupport::Standin server;
    QPointer<ChartDialog> chart;
};

NORV_TEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
