#pragma once

#include <QJsonObject>
#include <QWidget>

class ApiClient;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTreeView;

// The "Larmlogg" tab of a server tab: the server's alarm history as a paged, read-only table, 100 alarms a page,
// with the server's own search and an open-only filter. Pages are fetched on the GUI thread with the tab's client,
// the first time the tab is shown and whenever the user asks.
class AlarmLogView : public QWidget {
    Q_OBJECT
public:
    AlarmLogView(ApiClient* client, QWidget* parent);

    void reload();
    // Shows one page of the alarm-log response: the page line and the rows.
    void showPage(const QJsonObject& page);
    void go(int delta);
    void setClient(ApiClient* client);
    bool isLoaded() const { return loaded; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    ApiClient* client; // the server tab's, not owned
    int currentPage = 1;
    bool loaded = false;
    QLineEdit* searchEdit;
    QCheckBox* openOnlyBox;
    QPushButton* previousButton;
    QPushButton* nextButton;
    QLabel* pageLabel;
    QStandardItemModel* model;
    QTreeView* table;
};
