// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVariant>

class QChart;
class QCheckBox;
class QComboBox;
class QChartView;
class QFontComboBox;
class QSpinBox;
class QLabel;
class QLineEdit;

// Asks for how long and why a check, port or host is to be silenced ("Stör ej"). Run modally by the server view.
class DndDialog : public QDialog {
    Q_OBJECT
public:
    // The choices of the duration box, in order: label and minutes (0: until further notice).
    static const QList<QPair<QString, int>> Presets;

    DndDialog(const QString& name, QWidget* parent);

    int minutes() const;
    QString reason() const;

private:
    QComboBox* durationCombo;
    QLineEdit* reasonEdit;
};

// The client's own preferences: soft alarms, the sound of new alarms, reminders, theme, font, poll interval, starting
// at login and watching on when the window closes. Shows the stored
// values; writes them only when the caller calls save() after OK. Applying them is the caller's job.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget* parent = nullptr);

    void save();

private:
    QCheckBox* alarmOnSoftCheck;
    QComboBox* alarmSoundCombo;
    QComboBox* reminderCombo;
    QComboBox* themeCombo;
    QFontComboBox* fontCombo;
    QSpinBox* fontSizeSpin;
    QSpinBox* intervalSpin;
    QCheckBox* autostartCheck;
    QCheckBox* startHiddenCheck;
    QCheckBox* keepWatchingCheck;
};

// Asks for the optional comment of an acknowledgement; *ok tells whether the user confirmed.
QString askAckComment(QWidget* parent, const QString& name, bool* ok);

// The recorded history of one metric of a check or port, as a line chart. Not modal; deletes itself when closed.
// Its requests run on background jobs, so it never blocks the window; only the newest answer is drawn.
class ChartDialog : public QDialog {
    Q_OBJECT
public:
    // The choices of the period box, in order: hours and label.
    static const QList<QPair<int, QString>> HoursChoices;

    ChartDialog(const QString& baseUrl, const QString& token, const QMap<QString, QVariant>& target, QWidget* parent);

private:
    void loadLabels();
    void labelsLoaded(const QJsonValue& value);
    void reload();
    void seriesLoaded(int seq, const QJsonValue& value);
    void setLoading(const QString& text);

    QString baseUrl;
    QString token;
    QMap<QString, QVariant> target;
    QComboBox* metricCombo;
    QComboBox* periodCombo;
    QChartView* chartView;
    QLabel* statusLabel;
    int requestSeq = 0;
};
