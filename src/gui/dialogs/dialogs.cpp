// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/dialogs.h"

#include "core/autostart.h"
#include "core/icons.h"
#include "core/settings.h"
#include "gui/metricchart.h"
#include "net/apiclient.h"
#include "net/apiworker.h"
#include "tree/treemodel.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

const QList<QPair<QString, int>> DndDialog::Presets {
    {QStringLiteral("1 timme"), 60},
    {QStringLiteral("4 timmar"), 240},
    {QStringLiteral("8 timmar"), 480},
    {QStringLiteral("24 timmar"), 1440},
    {QStringLiteral("Tills vidare"), 0},
};

DndDialog::DndDialog(const QString& name, QWidget* parent)
    : QDialog(parent)
    , durationCombo(new QComboBox(this))
    , reasonEdit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Stör ej – %1").arg(name));
    for (const auto& preset : Presets)
        durationCombo->addItem(preset.first);
    durationCombo->setCurrentIndex(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Längd"), durationCombo);
    form->addRow(QStringLiteral("Anledning (valfri)"), reasonEdit);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int DndDialog::minutes() const
{
    const int index = durationCombo->currentIndex();
    if (index < 0 || index >= Presets.size())
        return 0;
    return Presets.at(index).second;
}

QString DndDialog::reason() const
{
    return reasonEdit->text().trimmed();
}

SettingsDialog::SettingsDialog(QWidget* parent)
    : QDialog(parent)
    , alarmOnSoftCheck(
          new QCheckBox(QStringLiteral("Larma redan vid mjuka larm (försök 1/3, innan mail skickas)"), this))
    , alarmSoundCombo(new QComboBox(this))
    , reminderCombo(new QComboBox(this))
    , themeCombo(new QComboBox(this))
    , fontCombo(new QFontComboBox(this))
    , fontSizeSpin(new QSpinBox(this))
    , intervalSpin(new QSpinBox(this))
    , autostartCheck(new QCheckBox(QStringLiteral("Starta Norv vid inloggning"), this))
    , startHiddenCheck(new QCheckBox(QStringLiteral("Starta dold"), this))
    , keepWatchingCheck(new QCheckBox(QStringLiteral("Fortsätt bevaka när fönstret stängs"), this))
{
    setWindowTitle(QStringLiteral("Inställningar – Norv GUI"));
    alarmOnSoftCheck->setObjectName(QStringLiteral("alarmOnSoftCheck"));
    alarmSoundCombo->setObjectName(QStringLiteral("alarmSoundCombo"));
    reminderCombo->setObjectName(QStringLiteral("reminderCombo"));
    autostartCheck->setObjectName(QStringLiteral("autostartCheck"));
    startHiddenCheck->setObjectName(QStringLiteral("startHiddenCheck"));
    keepWatchingCheck->setObjectName(QStringLiteral("keepWatchingCheck"));
    themeCombo->setObjectName(QStringLiteral("themeCombo"));
    fontCombo->setObjectName(QStringLiteral("fontCombo"));
    fontSizeSpin->setObjectName(QStringLiteral("fontSizeSpin"));
    intervalSpin->setObjectName(QStringLiteral("intervalSpin"));

    alarmOnSoftCheck->setChecked(settings::alarmOnSoft());
    alarmSoundCombo->addItem(QStringLiteral("Av"), int(settings::Sound::Off));
    alarmSoundCombo->addItem(QStringLiteral("Bara kritiska"), int(settings::Sound::Critical));
    alarmSoundCombo->addItem(QStringLiteral("Alla larm"), int(settings::Sound::All));
    alarmSoundCombo->setCurrentIndex(alarmSoundCombo->findData(int(settings::alarmSound())));
    const QStringList reminders {QStringLiteral("Aldrig"), QStringLiteral("Var 5:e minut"),
        QStringLiteral("Var 15:e minut"), QStringLiteral("Var 30:e minut"), QStringLiteral("Varje timme")};
    for (int i = 0; i < settings::ReminderMinutes.size(); ++i)
        reminderCombo->addItem(reminders.at(i), settings::ReminderMinutes.at(i));
    reminderCombo->setCurrentIndex(reminderCombo->findData(settings::reminderMinutes()));
    autostartCheck->setChecked(autostart::enabled());
    // Hidden only where a tray shows the client; the check says so only for a client started at login.
    startHiddenCheck->setChecked(settings::startHidden());
    startHiddenCheck->setEnabled(autostartCheck->isChecked());
    startHiddenCheck->setToolTip(QStringLiteral("Gäller bara där skrivbordet har ett systemfält"));
    connect(autostartCheck, &QCheckBox::toggled, startHiddenCheck, &QWidget::setEnabled);
    keepWatchingCheck->setChecked(settings::keepWatching());
    keepWatchingCheck->setToolTip(
        QStringLiteral("Där skrivbordet saknar systemfält: fönstret döljs och Norv fortsätter att larma"));
    themeCombo->addItem(QStringLiteral("Följ systemet"), QStringLiteral("system"));
    themeCombo->addItem(QStringLiteral("Ljust"), QStringLiteral("light"));
    themeCombo->addItem(QStringLiteral("Mörkt"), QStringLiteral("dark"));
    themeCombo->setCurrentIndex(
        std::max(0, themeCombo->findData(settings::theme(), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive)));
    const QString family = settings::fontFamily();
    if (!family.isEmpty())
        fontCombo->setCurrentFont(QFont(family));
    fontSizeSpin->setRange(0, 24);
    fontSizeSpin->setSpecialValueText(QStringLiteral("Systemets standard"));
    fontSizeSpin->setValue(settings::fontSize());
    intervalSpin->setRange(settings::MinRefreshSeconds, 300);
    intervalSpin->setSuffix(QStringLiteral(" s"));
    intervalSpin->setValue(settings::refreshSeconds());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Larmtröskel"), alarmOnSoftCheck);
    form->addRow(QStringLiteral("Ljud vid nya larm"), alarmSoundCombo);
    form->addRow(QStringLiteral("Påminn om okvitterade larm"), reminderCombo);
    form->addRow(QStringLiteral("Utseende"), themeCombo);
    form->addRow(QStringLiteral("Font"), fontCombo);
    form->addRow(QStringLiteral("Fontstorlek"), fontSizeSpin);
    form->addRow(QStringLiteral("Uppdateringsintervall"), intervalSpin);
    form->addRow(QStringLiteral("Start"), autostartCheck);
    form->addRow(QString(), startHiddenCheck);
    form->addRow(QStringLiteral("Fönstret"), keepWatchingCheck);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void SettingsDialog::save()
{
    settings::setAlarmOnSoft(alarmOnSoftCheck->isChecked());
    settings::setAlarmSound(settings::Sound(alarmSoundCombo->currentData().toInt()));
    settings::setReminderMinutes(reminderCombo->currentData().toInt());
    settings::setStartHidden(startHiddenCheck->isChecked());
    settings::setKeepWatching(keepWatchingCheck->isChecked());
    autostart::setEnabled(autostartCheck->isChecked());
    settings::setTheme(themeCombo->currentData().toString());
    settings::setFont(fontCombo->currentFont().family(), fontSizeSpin->value());
    settings::setRefreshSeconds(intervalSpin->value());
}

QString askAckComment(QWidget* parent, const QString& name, bool* ok)
{
    const QString text = QInputDialog::getText(parent, QStringLiteral("Kvittera larm"),
        QStringLiteral("Kvittera %1.\nKommentar (valfri):").arg(name), QLineEdit::Normal, QString(), ok);
    return *ok ? text.trimmed() : QString();
}

const QList<QPair<int, QString>> ChartDialog::HoursChoices {
    {1, QStringLiteral("1 timme")},
    {8, QStringLiteral("8 timmar")},
    {24, QStringLiteral("24 timmar")},
    {168, QStringLiteral("7 dagar")},
    {720, QStringLiteral("30 dagar")},
};

ChartDialog::ChartDialog(
    const QString& baseUrl, const QString& token, const QMap<QString, QVariant>& target, QWidget* parent)
    : QDialog(parent)
    , baseUrl(baseUrl)
    , token(token)
    , target(target)
    , metricCombo(new QComboBox(this))
    , periodCombo(new QComboBox(this))
    , chartView(new QChartView(this))
    , statusLabel(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Graf – %1").arg(treemodel::Target::of(target).shownName));
    resize(860, 480);
    metricCombo->setObjectName(QStringLiteral("metricCombo"));
    periodCombo->setObjectName(QStringLiteral("periodCombo"));
    chartView->setObjectName(QStringLiteral("chartView"));
    statusLabel->setObjectName(QStringLiteral("statusLabel"));

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    // Each choice has its label as its name and a key of its own (Alt+M, Alt+T).
    for (const auto& [text, combo] : {std::pair {QStringLiteral("&Metric:"), metricCombo},
             std::pair {QStringLiteral("&Tidsperiod:"), periodCombo}}) {
        auto* label = new QLabel(text, this);
        label->setBuddy(combo);
        row->addWidget(label);
        row->addWidget(combo);
    }
    row->addStretch();
    layout->addLayout(row);
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setAccessibleName(QStringLiteral("Diagram – %1").arg(treemodel::Target::of(target).name()));
    layout->addWidget(chartView);
    layout->addWidget(statusLabel);

    for (const auto& choice : HoursChoices)
        periodCombo->addItem(choice.second, choice.first);
    periodCombo->setCurrentIndex(2);
    connect(metricCombo, &QComboBox::currentIndexChanged, this, &ChartDialog::reload);
    connect(periodCombo, &QComboBox::currentIndexChanged, this, &ChartDialog::reload);
    loadLabels();
}

void ChartDialog::loadLabels()
{
    setLoading(QStringLiteral("\u23f3 Hämtar mätvärden…"));
    metricCombo->setEnabled(false);
    const treemodel::Target t = treemodel::Target::of(target);
    auto* worker = new ApiWorker(
        [t](ApiClient& client) {
            return QJsonValue(client.metricLabels(t.hostId, t.pluginId, t.portId, t.instanceId));
        },
        baseUrl, token);
    connect(worker, &ApiWorker::done, this, &ChartDialog::labelsLoaded);
    connect(worker, &ApiWorker::failed, this, &ChartDialog::setLoading);
    worker->startTracked();
}

void ChartDialog::labelsLoaded(const QJsonValue& value)
{
    metricCombo->setEnabled(true);
    const QSignalBlocker blocker(metricCombo);
    metricCombo->clear();
    metricCombo->addItems(metricLabels(value));
    if (metricCombo->count() > 0)
        reload();
    else
        setLoading(QStringLiteral("Inga mätvärden för den här checken."));
}

void ChartDialog::reload()
{
    const QString label = metricCombo->currentText();
    if (label.isEmpty())
        return;
    const int hours = periodCombo->currentData().toInt();
    setLoading(QStringLiteral("\u23f3 Hämtar grafdata…"));
    const int seq = ++requestSeq;
    const treemodel::Target t = treemodel::Target::of(target);
    auto* worker = new ApiWorker(
        [t, label, hours](ApiClient& client) {
            return QJsonValue(client.metricSeries(t.hostId, t.pluginId, t.portId, label, hours, t.instanceId));
        },
        baseUrl, token);
    connect(worker, &ApiWorker::done, this, [this, seq](const QJsonValue& v) { seriesLoaded(seq, v); });
    connect(worker, &ApiWorker::failed, this, [this, seq](const QString& message) {
        if (seq == requestSeq) // a superseded request's failure is of no interest
            setLoading(message);
    });
    worker->startTracked();
}

void ChartDialog::seriesLoaded(int seq, const QJsonValue& value)
{
    if (seq != requestSeq)
        return;
    statusLabel->clear();
    QChart* chart = makeChart(readSeries(value), metricCombo->currentText(), periodCombo->currentData().toInt());
    // The view does not delete the chart it gives up.
    QChart* previous = chartView->chart();
    chartView->setChart(chart);
    delete previous;
}

void ChartDialog::setLoading(const QString& text)
{
    statusLabel->setText(text);
}
