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

// The client's own preferences: soft alarms, the sound of new alarms, theme, font and poll interval. Shows the stored
// values; writes them only when the caller calls save() after OK. Applying them is the caller's job.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget* parent = nullptr);

    void save();

private:
    QCheckBox* alarmOnSoftCheck;
    QCheckBox* alarmSoundCheck;
    QComboBox* themeCombo;
    QFontComboBox* fontCombo;
    QSpinBox* fontSizeSpin;
    QSpinBox* intervalSpin;
};

// Asks for the optional comment of an acknowledgement; *ok tells whether the user confirmed.
QString askAckComment(QWidget* parent, const QString& name, bool* ok);

// The metric labels of a labels payload, in order.
QStringList metricLabels(const QJsonValue& payload);

// The readable points of a series payload and its unit: points whose time does not read as "yyyy-MM-dd HH:mm:ss"
// or that have no value are left out; a value that is no number counts as 0.
struct MetricSeries {
    QList<QDateTime> times;
    QList<double> values;
    QString unit;
};
MetricSeries readSeries(const QJsonValue& payload);

// The chart of one metric over a number of hours, scaled for reading and drawn in the application's look. The caller
// owns it.
QChart* makeChart(const MetricSeries& series, const QString& label, int hours);

// The divisor and unit label that make a metric series readable: bit rates ("bps") as bit/s, kbit/s ... Tbit/s,
// other units with k, M, G, T once the largest absolute value reaches 1000.
QPair<double, QString> scaleSeries(const QList<double>& values, const QString& unit);

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
