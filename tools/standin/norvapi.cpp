// SPDX-License-Identifier: GPL-3.0-or-later
#include "norvapi.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrlQuery>

#include <initializer_list>

namespace standin {

namespace {

Answer json(int status, const QJsonObject& body)
{
    return {status, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json", {}};
}

Answer ok(const QJsonObject& extra = {})
{
    QJsonObject body = extra;
    body.insert(QStringLiteral("ok"), true);
    return json(200, body);
}

Answer error(int status, const QString& text)
{
    return json(status, {{QStringLiteral("error"), text}});
}

// Matches path segments against a pattern in which "#" stands for a decimal integer, collected into ids.
bool match(const QStringList& segments, std::initializer_list<const char*> pattern, QList<int>* ids)
{
    if (qsizetype(pattern.size()) != segments.size())
        return false;
    ids->clear();
    int i = 0;
    for (const char* part : pattern) {
        const QString& segment = segments.at(i++);
        if (qstrcmp(part, "#") == 0) {
            bool isInt = false;
            const int id = segment.toInt(&isInt);
            if (!isInt)
                return false;
            ids->append(id);
        } else if (segment != QLatin1String(part)) {
            return false;
        }
    }
    return true;
}

QString queryValue(const RecordedRequest& request, const QString& key, bool* present = nullptr)
{
    for (const auto& item : request.queryItems) {
        if (item.first == key) {
            if (present)
                *present = true;
            return item.second;
        }
    }
    if (present)
        *present = false;
    return {};
}

bool canAct(const User& user)
{
    return user.roles.contains(QStringLiteral("admin")) || user.roles.contains(QStringLiteral("operator"));
}

QJsonObject userObject(const User& user)
{
    return {{QStringLiteral("username"), user.name}, {QStringLiteral("name"), user.displayName},
        {QStringLiteral("roles"), QJsonArray::fromStringList(user.roles)}};
}

// One handler's view of a request: who asks, and the network to answer from.
struct Call {
    const RecordedRequest& request;
    const User& user;
    Network& network;
    const QDateTime& now;
    const QList<int>& ids;
};

void markAlarmAcknowledged(Network& network, const Item& item, const QString& by, const QString& comment)
{
    const QString host = network.hostName(item.hostId);
    for (Alarm& alarm : network.alarms) {
        if (!alarm.clearedAt.isValid() && alarm.hostName == host && alarm.targetName == item.name) {
            alarm.ackBy = by;
            alarm.ackComment = comment;
        }
    }
}

void acknowledgeItem(Network& network, Item& item, bool on, const QString& by, const QString& comment)
{
    item.acknowledged = on;
    item.acknowledgedBy = on ? by : QString();
    item.ackComment = on ? comment : QString();
    markAlarmAcknowledged(network, item, on ? by : QString(), on ? comment : QString());
}

// The optional comment of an acknowledgement; nullopt when the body is not a JSON object.
std::optional<QString> ackComment(const QByteArray& body)
{
    if (body.isEmpty())
        return QString();
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject())
        return std::nullopt;
    return doc.object().value(QLatin1String("comment")).toString();
}

std::optional<int> instanceOf(const RecordedRequest& request)
{
    bool present = false;
    const QString text = queryValue(request, QStringLiteral("instance"), &present);
    if (!present)
        return 0;
    bool isInt = false;
    const int instance = text.toInt(&isInt);
    if (!isInt || instance < 1)
        return std::nullopt;
    return instance;
}

Answer checkAction(const Call& call, bool acknowledge, bool on)
{
    const std::optional<int> instance = instanceOf(call.request);
    if (!instance)
        return error(400, QStringLiteral("Ogiltig instans"));
    const QList<Check*> checks = call.network.checksOf(call.ids.at(0), call.ids.at(1), *instance);
    if (checks.isEmpty())
        return error(404, QStringLiteral("Okänd check"));
    if (acknowledge) {
        const std::optional<QString> comment = on ? ackComment(call.request.body) : QString();
        if (!comment)
            return error(400, QStringLiteral("Ogiltig JSON"));
        for (Check* check : checks)
            acknowledgeItem(call.network, *check, on, call.user.displayName, *comment);
    } else {
        for (Check* check : checks) {
            check->recheckRequested = true;
            check->output = QStringLiteral("Omkontroll beställd av %1").arg(call.user.displayName);
        }
    }
    return ok();
}

Answer portAcknowledge(const Call& call, bool on)
{
    Port* port = call.network.port(call.ids.at(0));
    if (!port)
        return error(404, QStringLiteral("Okänd port"));
    const std::optional<QString> comment = on ? ackComment(call.request.body) : QString();
    if (!comment)
        return error(400, QStringLiteral("Ogiltig JSON"));
    acknowledgeItem(call.network, *port, on, call.user.displayName, *comment);
    return ok();
}

Answer hostRecheck(const Call& call)
{
    if (!call.network.host(call.ids.at(0)))
        return error(404, QStringLiteral("Okänd enhet"));
    for (Check& check : call.network.checks) {
        if (check.hostId == call.ids.at(0)) {
            check.recheckRequested = true;
            check.output = QStringLiteral("Omkontroll beställd av %1").arg(call.user.displayName);
        }
    }
    return ok();
}

Answer metricLabels(const Item* item)
{
    if (!item)
        return error(404, QStringLiteral("Okänd check eller port"));
    return json(200, {{QStringLiteral("labels"), QJsonArray::fromStringList(item->metrics)}});
}

Answer metricSeries(const Call& call, const Item* item)
{
    if (!item)
        return error(404, QStringLiteral("Okänd check eller port"));
    bool hasLabel = false;
    const QString label = queryValue(call.request, QStringLiteral("label"), &hasLabel);
    bool hoursOk = false;
    const int hours = queryValue(call.request, QStringLiteral("hours")).toInt(&hoursOk);
    if (!hasLabel || !hoursOk || hours < 1 || hours > 24 * 366)
        return error(400, QStringLiteral("label och hours krävs"));
    if (!item->metrics.contains(label))
        return error(404, QStringLiteral("Okänt mätvärde: %1").arg(label));
    return json(200, Network::seriesPayload(*item, label, hours, call.now));
}

Answer alarmLog(const Call& call)
{
    bool pageOk = false;
    bool limitOk = false;
    const int page = queryValue(call.request, QStringLiteral("page")).toInt(&pageOk);
    const int limit = queryValue(call.request, QStringLiteral("limit")).toInt(&limitOk);
    if (!pageOk || !limitOk || page < 1 || limit < 1 || limit > 1000)
        return error(400, QStringLiteral("page och limit krävs"));
    const bool active = queryValue(call.request, QStringLiteral("active")) == QLatin1String("1");
    return json(200, call.network.alarmLogPage(page, limit, active, queryValue(call.request, QStringLiteral("q"))));
}

Answer createSilence(const Call& call)
{
    const QUrlQuery form(QString::fromUtf8(call.request.body));
    auto field = [&form](const char* key, int* value) {
        const QString k = QLatin1String(key);
        if (!form.hasQueryItem(k))
            return true;
        bool isInt = false;
        *value = form.queryItemValue(k, QUrl::FullyDecoded).toInt(&isInt);
        return isInt;
    };
    Silence s;
    s.scope = form.queryItemValue(QStringLiteral("scope"), QUrl::FullyDecoded);
    if (!field("host_id", &s.hostId) || !field("plugin_id", &s.pluginId) || !field("port_id", &s.portId)
        || !field("instance_id", &s.instanceId) || !field("minutes", &s.minutes) || s.minutes < 0)
        return error(400, QStringLiteral("Ogiltigt formulär"));
    s.reason = form.queryItemValue(QStringLiteral("reason"), QUrl::FullyDecoded);
    if (s.scope == QLatin1String("host")) {
        if (!call.network.host(s.hostId))
            return error(404, QStringLiteral("Okänd enhet"));
    } else if (s.scope == QLatin1String("plugin")) {
        if (call.network.checksOf(s.hostId, s.pluginId, s.instanceId).isEmpty())
            return error(404, QStringLiteral("Okänd check"));
    } else if (s.scope == QLatin1String("port")) {
        if (!call.network.port(s.portId))
            return error(404, QStringLiteral("Okänd port"));
    } else {
        return error(400, QStringLiteral("Okänt scope: %1").arg(s.scope));
    }
    s.id = call.network.nextSilenceId++;
    s.createdBy = call.user.displayName;
    s.createdAt = call.now;
    call.network.silences.append(s);
    call.network.setSilenced(s, true);
    return ok({{QStringLiteral("id"), s.id}});
}

Answer cancelSilence(const Call& call)
{
    for (qsizetype i = 0; i < call.network.silences.size(); ++i) {
        if (call.network.silences.at(i).id == call.ids.at(0)) {
            const Silence s = call.network.silences.takeAt(i);
            call.network.setSilenced(s, false);
            return ok();
        }
    }
    return error(404, QStringLiteral("Okänd Stör ej-period"));
}

Answer login(const RecordedRequest& request, Accounts& accounts)
{
    const QJsonDocument doc = QJsonDocument::fromJson(request.body);
    if (!doc.isObject())
        return error(400, QStringLiteral("Ogiltig JSON"));
    const QJsonObject body = doc.object();
    const QString name = body.value(QLatin1String("username")).toString();
    const QString password = body.value(QLatin1String("password")).toString();
    const auto user = accounts.users.constFind(name);
    if (name.isEmpty() || user == accounts.users.cend() || user->password != password)
        return error(401, QStringLiteral("Fel användarnamn eller lösenord"));
    return json(200, {{QStringLiteral("token"), accounts.issue(name)}, {QStringLiteral("user"), userObject(*user)}});
}

// Requests that need a logged-in user who may act on the network.
Answer route(const Call& call, const QStringList& segments, bool post)
{
    QList<int> ids;
    auto is = [&](std::initializer_list<const char*> pattern) { return match(segments, pattern, &ids); };
    Network& network = call.network;
    const Call withIds {call.request, call.user, network, call.now, ids};

    if (!post) {
        if (is({"api", "status"}))
            return json(200, network.statusPayload(call.now));
        if (is({"api", "tree", "status"}))
            return json(200, network.treePayload());
        if (is({"api", "alarmlog"}))
            return alarmLog(withIds);
        if (is({"api", "dnd"}))
            return json(200, {{QStringLiteral("sessions"), network.silencesPayload()}});
        if (is({"api", "hosts", "#", "plugins", "#", "metrics"})
            || is({"api", "hosts", "#", "plugins", "#", "metrics", "data"})) {
            const std::optional<int> instance = instanceOf(call.request);
            const Check* check = instance ? network.check(ids.at(0), ids.at(1), *instance) : nullptr;
            return segments.size() == 6 ? metricLabels(check) : metricSeries(withIds, check);
        }
        if (is({"api", "hosts", "#", "switch-ports", "#", "metrics"})
            || is({"api", "hosts", "#", "switch-ports", "#", "metrics", "data"})) {
            const Port* port = network.port(ids.at(1));
            if (port && port->hostId != ids.at(0))
                port = nullptr;
            return segments.size() == 6 ? metricLabels(port) : metricSeries(withIds, port);
        }
        return error(404, QStringLiteral("Okänd sökväg"));
    }

    if (!canAct(call.user))
        return error(403, QStringLiteral("Otillräcklig behörighet"));
    if (is({"api", "dnd"}))
        return createSilence(withIds);
    if (is({"api", "dnd", "#", "cancel"}))
        return cancelSilence(withIds);
    if (is({"api", "hosts", "#", "plugins", "#", "acknowledge"}))
        return checkAction(withIds, true, true);
    if (is({"api", "hosts", "#", "plugins", "#", "acknowledge", "clear"}))
        return checkAction(withIds, true, false);
    if (is({"api", "hosts", "#", "plugins", "#", "recheck"}))
        return checkAction(withIds, false, true);
    if (is({"api", "hosts", "#", "recheck"}))
        return hostRecheck(withIds);
    if (is({"api", "switch-ports", "#", "acknowledge"}))
        return portAcknowledge(withIds, true);
    if (is({"api", "switch-ports", "#", "acknowledge", "clear"}))
        return portAcknowledge(withIds, false);
    return error(404, QStringLiteral("Okänd sökväg"));
}

} // namespace

Accounts Accounts::standard()
{
    Accounts accounts;
    for (const User& user : {User {QStringLiteral("admin"), QStringLiteral("admin"), QStringLiteral("Administratör"),
                                 {QStringLiteral("admin")}},
             User {QStringLiteral("operator"), QStringLiteral("operator"), QStringLiteral("Operatör"),
                 {QStringLiteral("operator")}},
             User {QStringLiteral("viewer"), QStringLiteral("viewer"), QStringLiteral("Läsare"),
                 {QStringLiteral("viewer")}}})
        accounts.users.insert(user.name, user);
    return accounts;
}

QString Accounts::issue(const QString& userName)
{
    QString token;
    for (int i = 0; i < 4; ++i)
        token += QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    tokens.insert(token, userName);
    return token;
}

Answer answerRequest(const RecordedRequest& request, Accounts& accounts, Network& network, const QDateTime& now)
{
    const bool post = request.method == "POST";
    if (!post && request.method != "GET")
        return error(405, QStringLiteral("Metoden stöds inte"));
    if (request.path == QLatin1String("/api/auth/login"))
        return post ? login(request, accounts) : error(405, QStringLiteral("Metoden stöds inte"));

    const QByteArray authorization = request.header("authorization");
    const QString token = authorization.startsWith("Bearer ") ? QString::fromUtf8(authorization.mid(7)) : QString();
    const auto owner = accounts.tokens.constFind(token);
    if (token.isEmpty() || owner == accounts.tokens.cend() || !accounts.users.contains(*owner))
        return error(401, QStringLiteral("Ogiltig eller återkallad token"));
    const User user = accounts.users.value(*owner);

    if (request.path == QLatin1String("/api/auth/me")) {
        return json(200,
            {{QStringLiteral("user"), userObject(user)}, {QStringLiteral("server_version"), network.serverVersion}});
    }
    if (request.path == QLatin1String("/api/auth/logout")) {
        if (!post)
            return error(405, QStringLiteral("Metoden stöds inte"));
        accounts.tokens.remove(token);
        return ok();
    }
    const QStringList segments = request.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QList<int> noIds;
    return route({request, user, network, now, noIds}, segments, post);
}

} // namespace standin
