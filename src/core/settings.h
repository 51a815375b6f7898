// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <optional>

// The client's persistent state: the INI file with the user's preferences and the list of known servers, and one
// token file per server. Every function opens the INI file afresh and flushes after writing; nothing is cached, so
// a change is on disk when the call returns. GUI thread only.
namespace settings {

// The poll interval: never below the floor, the default when none is stored.
constexpr int MinRefreshSeconds = 5;
constexpr int DefaultRefreshSeconds = 15;
// The intervals of the reminders that may be chosen, in minutes; 0 is never.
inline const QList<int> ReminderMinutes {0, 5, 15, 30, 60};

// Gives the application the identity that decides where its settings and tokens live. Before anything reads them.
void nameApplication();

// One known server. A plain value type.
struct ServerEntry {
    QString id;
    QString url;
    QString name;
    bool autoconnect = true;
    QString certSha256; // the certificate the operator chose to trust for this server (SHA-256, hex); usually none

    // The name, or the default name derived from the URL when the name is empty.
    QString label() const;
};

QString normalizeUrl(const QString& url);
// The address without any trailing "/", the way every request and stored entry has it.
QString stripTrailingSlashes(QString url);
QString defaultServerName(const QString& url);

QString serverTokenPath(const QString& id);
QString loadServerToken(const QString& id);
void saveServerToken(const QString& id, const QString& token);
void clearServerToken(const QString& id);

QList<ServerEntry> servers();
void saveServers(const QList<ServerEntry>& list);
std::optional<ServerEntry> findServer(const QString& id);
ServerEntry addOrUpdateServer(const QString& url, const QString& token);
void setServerName(const QString& id, const QString& name);
void setServerAutoconnect(const QString& id, bool on);
void setServerCertificate(const QString& id, const QString& sha256);
// A successful login: addOrUpdateServer, and the certificate the operator trusted for it, when there is one.
ServerEntry rememberLogin(const QString& url, const QString& token, const QString& certSha256);
void removeServer(const QString& id);

// The single-server configuration of older clients; read only to migrate it.
QString serverUrl();
QString loadToken();

int refreshSeconds();
void setRefreshSeconds(int seconds);
bool alarmOnSoft();
void setAlarmOnSoft(bool on);
// Which new alarms sound ("Ljud vid nya larm"): none (the default), the critical ones, or all. Stored as "off",
// "critical" or "all"; the "true" of older clients means all.
enum class Sound { Off, Critical, All };
Sound alarmSound();
void setAlarmSound(Sound sound);
// How often the alarms nobody has taken are announced again, in minutes: never (0, the default), or every 5, 15, 30
// or 60 minutes.
int reminderMinutes();
void setReminderMinutes(int minutes);
// Whether closing the window leaves the client watching in the background where the desktop has no tray (it does by
// default), and whether a client started at login starts with its window hidden where there is a tray.
bool keepWatching();
void setKeepWatching(bool on);
bool startHidden();
void setStartHidden(bool on);
// The "Aktiva larm" panel: whether it shows (it does by default), and its height in pixels (0: not chosen yet).
bool alarmPanelShown();
void setAlarmPanelShown(bool on);
int alarmPanelHeight();
void setAlarmPanelHeight(int pixels);
// Whether the trees show only alarming rows and their ancestors ("Bara problem").
bool problemsOnly();
void setProblemsOnly(bool on);
QString fontFamily();
int fontSize();
void setFont(const QString& family, int size);
QString theme();
void setTheme(const QString& theme);

} // namespace settings
