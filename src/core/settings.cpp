// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRandomGenerator64>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace settings {

namespace {

const QString ServersKey = QStringLiteral("servers");

std::unique_ptr<QSettings> ini()
{
    return std::make_unique<QSettings>(
        QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Trelvik"), QStringLiteral("NorvGUI"));
}

QString tokenPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/token");
}

QString newServerId()
{
    const quint64 bits = QRandomGenerator64::system()->generate() & Q_UINT64_C(0xffffffffffff);
    return QStringLiteral("%1").arg(bits, 12, 16, QLatin1Char('0'));
}

// A hand-edited INI value with a comma comes back from QSettings as a list; keep it as the text it was.
QString text(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool isTrueText(const QString& value)
{
    const QString lower = value.toLower();
    return lower == QLatin1String("true") || lower == QLatin1String("1") || lower == QLatin1String("yes");
}

// A yes-or-no preference, stored as "true" or "false".
bool flag(const char* key, bool byDefault)
{
    return isTrueText(
        text(ini()->value(QLatin1String(key), byDefault ? QStringLiteral("true") : QStringLiteral("false"))));
}

void setFlag(const char* key, bool on)
{
    auto s = ini();
    s->setValue(QLatin1String(key), on ? QStringLiteral("true") : QStringLiteral("false"));
    s->sync();
}

QString readTokenFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

// The indices of the server elements in the file, ascending. Taken from the elements present rather than from
// the array's size key, so that a file cut off while it was written (no size key yet) still yields its servers.
QList<int> storedIndices(QSettings& s)
{
    s.beginGroup(ServersKey);
    const QStringList groups = s.childGroups();
    s.endGroup();
    QList<int> indices;
    for (const QString& group : groups) {
        const int index = group.toInt();
        if (index > 0)
            indices.append(index);
    }
    std::sort(indices.begin(), indices.end());
    return indices;
}

bool keptInFileName(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    return QChar::isLetter(c) || QChar::isDigit(c);
}

} // namespace

QString ServerEntry::label() const
{
    return name.isEmpty() ? defaultServerName(url) : name;
}

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Norv GUI"));
    QCoreApplication::setOrganizationName(QStringLiteral("Trelvik"));
    // The desktop entry's id, which is also the installed icon's name: the desktop ties windows and notifications
    // to the menu entry by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("se.trelvik.norvgui"));
}

QString stripTrailingSlashes(QString url)
{
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

QString normalizeUrl(const QString& url)
{
    return stripTrailingSlashes(url.trimmed());
}

QString defaultServerName(const QString& url)
{
    const QString normalized = normalizeUrl(url);
    const QString host = QUrl(normalized, QUrl::TolerantMode).host(QUrl::FullyDecoded);
    if (!host.isEmpty())
        return host;
    if (!normalized.isEmpty())
        return normalized;
    return QStringLiteral("Norv");
}

QString serverTokenPath(const QString& id)
{
    QString name;
    const QList<uint> codePoints = id.toUcs4();
    for (const uint c : codePoints) {
        if (keptInFileName(c))
            name += QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
    }
    if (name.isEmpty())
        name = QStringLiteral("_");
    return QFileInfo(tokenPath()).absolutePath() + QStringLiteral("/tokens/") + name;
}

QString loadServerToken(const QString& id)
{
    return readTokenFile(serverTokenPath(id));
}

void saveServerToken(const QString& id, const QString& token)
{
    const QString path = serverTokenPath(id);
    const QString dir = QFileInfo(path).absolutePath();
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    QFile file(path);
    // The token must never be readable by others, not even between creating the file and writing it: a new file is
    // created owner-only, and an old one is tightened before the new token goes in.
    if (file.exists())
        file.setPermissions(ownerOnly);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, ownerOnly))
        return;
    file.write(token.toUtf8() + '\n');
    file.close();
    file.setPermissions(ownerOnly);
}

void clearServerToken(const QString& id)
{
    QFile::remove(serverTokenPath(id));
}

QList<ServerEntry> servers()
{
    QList<ServerEntry> list;
    {
        auto s = ini();
        const QList<int> indices = storedIndices(*s);
        for (const int i : indices) {
            const QString prefix = QStringLiteral("servers/%1/").arg(i);
            ServerEntry entry;
            entry.id = text(s->value(prefix + QStringLiteral("id")));
            entry.url = normalizeUrl(text(s->value(prefix + QStringLiteral("url"))));
            if (entry.id.isEmpty() || entry.url.isEmpty())
                continue;
            entry.name = text(s->value(prefix + QStringLiteral("name")));
            const QVariant autoconnect = s->value(prefix + QStringLiteral("autoconnect"));
            entry.autoconnect = !autoconnect.isValid() || isTrueText(text(autoconnect));
            entry.certSha256 = text(s->value(prefix + QStringLiteral("cert_sha256")));
            list.append(entry);
        }
        if (!list.isEmpty())
            return list;
        if (s->contains(QStringLiteral("servers/size")))
            return list;
    }

    const QString legacyUrl = normalizeUrl(serverUrl());
    if (legacyUrl.isEmpty())
        return list;
    ServerEntry entry;
    entry.id = newServerId();
    entry.url = legacyUrl;
    entry.autoconnect = true;
    const QString legacyToken = loadToken();
    if (!legacyToken.isEmpty())
        saveServerToken(entry.id, legacyToken);
    list.append(entry);
    saveServers(list);
    return list;
}

void saveServers(const QList<ServerEntry>& list)
{
    auto s = ini();
    s->remove(ServersKey);
    s->beginWriteArray(ServersKey, int(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        const ServerEntry& entry = list.at(i);
        s->setArrayIndex(i);
        s->setValue(QStringLiteral("id"), entry.id);
        s->setValue(QStringLiteral("url"), normalizeUrl(entry.url));
        s->setValue(QStringLiteral("name"), entry.name);
        s->setValue(
            QStringLiteral("autoconnect"), entry.autoconnect ? QStringLiteral("true") : QStringLiteral("false"));
        if (!entry.certSha256.isEmpty())
            s->setValue(QStringLiteral("cert_sha256"), entry.certSha256);
    }
    s->endArray();
    s->sync();
}

std::optional<ServerEntry> findServer(const QString& id)
{
    const QList<ServerEntry> list = servers();
    for (const ServerEntry& entry : list) {
        if (entry.id == id)
            return entry;
    }
    return std::nullopt;
}

ServerEntry addOrUpdateServer(const QString& url, const QString& token)
{
    QList<ServerEntry> list = servers();
    const QString normalized = normalizeUrl(url);
    for (const ServerEntry& entry : std::as_const(list)) {
        if (normalizeUrl(entry.url).compare(normalized, Qt::CaseInsensitive) == 0) {
            saveServerToken(entry.id, token);
            return entry;
        }
    }
    ServerEntry entry;
    entry.id = newServerId();
    entry.url = normalized;
    entry.autoconnect = true;
    list.append(entry);
    saveServers(list);
    saveServerToken(entry.id, token);
    return entry;
}

void setServerName(const QString& id, const QString& name)
{
    QList<ServerEntry> list = servers();
    for (ServerEntry& entry : list) {
        if (entry.id == id)
            entry.name = name.trimmed();
    }
    saveServers(list);
}

void setServerAutoconnect(const QString& id, bool on)
{
    QList<ServerEntry> list = servers();
    for (ServerEntry& entry : list) {
        if (entry.id == id)
            entry.autoconnect = on;
    }
    saveServers(list);
}

void setServerCertificate(const QString& id, const QString& sha256)
{
    QList<ServerEntry> list = servers();
    for (ServerEntry& entry : list) {
        if (entry.id == id)
            entry.certSha256 = sha256;
    }
    saveServers(list);
}

ServerEntry rememberLogin(const QString& url, const QString& token, const QString& certSha256)
{
    ServerEntry entry = addOrUpdateServer(url, token);
    if (!certSha256.isEmpty() && certSha256 != entry.certSha256) {
        setServerCertificate(entry.id, certSha256);
        entry.certSha256 = certSha256;
    }
    return entry;
}

void removeServer(const QString& id)
{
    QList<ServerEntry> list = servers();
    list.removeIf([&id](const ServerEntry& entry) { return entry.id == id; });
    saveServers(list);
    clearServerToken(id);
}

QString serverUrl()
{
    return text(ini()->value(QStringLiteral("server_url")));
}

QString loadToken()
{
    return readTokenFile(tokenPath());
}

int refreshSeconds()
{
    bool ok = false;
    const int value = ini()->value(QStringLiteral("refresh_seconds"), DefaultRefreshSeconds).toInt(&ok);
    if (!ok)
        return DefaultRefreshSeconds;
    return std::max(value, MinRefreshSeconds);
}

void setRefreshSeconds(int seconds)
{
    auto s = ini();
    s->setValue(QStringLiteral("refresh_seconds"), std::max(seconds, MinRefreshSeconds));
    s->sync();
}

bool alarmOnSoft()
{
    return flag("alarm_on_soft", false);
}

void setAlarmOnSoft(bool on)
{
    setFlag("alarm_on_soft", on);
}

Sound alarmSound()
{
    const QString value = text(ini()->value(QStringLiteral("alarm_sound"))).toLower();
    if (value == QLatin1String("critical"))
        return Sound::Critical;
    return value == QLatin1String("all") || isTrueText(value) ? Sound::All : Sound::Off;
}

void setAlarmSound(Sound sound)
{
    auto s = ini();
    s->setValue(QStringLiteral("alarm_sound"),
        sound == Sound::All            ? QStringLiteral("all")
            : sound == Sound::Critical ? QStringLiteral("critical")
                                       : QStringLiteral("off"));
    s->sync();
}

int reminderMinutes()
{
    const int minutes = ini()->value(QStringLiteral("reminder_minutes"), 0).toInt();
    return ReminderMinutes.contains(minutes) ? minutes : 0;
}

void setReminderMinutes(int minutes)
{
    auto s = ini();
    s->setValue(QStringLiteral("reminder_minutes"), ReminderMinutes.contains(minutes) ? minutes : 0);
    s->sync();
}

bool keepWatching()
{
    return flag("keep_watching", true);
}

void setKeepWatching(bool on)
{
    setFlag("keep_watching", on);
}

bool startHidden()
{
    return flag("start_hidden", false);
}

void setStartHidden(bool on)
{
    setFlag("start_hidden", on);
}

bool alarmPanelShown()
{
    return flag("alarm_panel", true);
}

void setAlarmPanelShown(bool on)
{
    setFlag("alarm_panel", on);
}

int alarmPanelHeight()
{
    return std::max(ini()->value(QStringLiteral("alarm_panel_height"), 0).toInt(), 0);
}

void setAlarmPanelHeight(int pixels)
{
    auto s = ini();
    s->setValue(QStringLiteral("alarm_panel_height"), std::max(pixels, 0));
    s->sync();
}

bool problemsOnly()
{
    return flag("problems_only", false);
}

void setProblemsOnly(bool on)
{
    setFlag("problems_only", on);
}

QString fontFamily()
{
    return text(ini()->value(QStringLiteral("font_family")));
}

int fontSize()
{
    return ini()->value(QStringLiteral("font_size"), 0).toInt();
}

void setFont(const QString& family, int size)
{
    auto s = ini();
    s->setValue(QStringLiteral("font_family"), family);
    s->setValue(QStringLiteral("font_size"), std::max(size, 0));
    s->sync();
}

QString theme()
{
    const QString value = text(ini()->value(QStringLiteral("theme"), QStringLiteral("system"))).toLower();
    if (value == QLatin1String("light") || value == QLatin1String("dark"))
        return value;
    return QStringLiteral("system");
}

void setTheme(const QString& theme)
{
    auto s = ini();
    const bool known = theme == QLatin1String("light") || theme == QLatin1String("dark");
    s->setValue(QStringLiteral("theme"), known ? theme : QStringLiteral("system"));
    s->sync();
}

} // namespace settings
