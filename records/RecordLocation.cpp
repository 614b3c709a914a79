#include "RecordLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {

// A server that cannot be reached keeps the operator waiting no longer than this.
const QString kConnectTimeout = QStringLiteral("connect_timeout=5");

} // namespace

QString defaultRecordFile()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(data).filePath(QStringLiteral("SMA Compliance Tester/history.sqlite"));
}

QString chooseRecordLocation(const QString &given)
{
    if (!given.trimmed().isEmpty())
        return given.trimmed();
    const QString environment = qEnvironmentVariable("SMA_DB").trimmed();
    if (!environment.isEmpty())
        return environment;
    return defaultRecordFile();
}

QString withoutPassword(const QString &text)
{
    const QString scheme = text.section(QStringLiteral("://"), 0, 0).trimmed().toLower();
    if (!text.contains(QStringLiteral("://")) ||
        (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")))
        return text;
    QUrl url(text.trimmed(), QUrl::StrictMode);
    QUrlQuery query(url);
    if (!url.isValid() || (url.password().isEmpty() && !query.hasQueryItem("password")))
        return text;
    url.setPassword({});
    query.removeAllQueryItems(QStringLiteral("password"));
    url.setQuery(query);
    return url.toString();
}

RecordLocation RecordLocation::parse(const QString &text)
{
    RecordLocation location;
    const QString given = text.trimmed().isEmpty() ? defaultRecordFile() : text.trimmed();
    const qsizetype schemeEnd = given.indexOf(QStringLiteral("://"));
    if (schemeEnd < 0) {
        location.kind = Kind::SqliteFile;
        location.file = QFileInfo(given).absoluteFilePath();
        return location;
    }
    const QUrl url(given, QUrl::StrictMode);
    const QString scheme = given.left(schemeEnd).toLower();
    if (scheme == QLatin1String("file") && url.isValid()) {
        location.kind = Kind::SqliteFile;
        location.file = QFileInfo(url.toLocalFile()).absoluteFilePath();
        return location;
    }
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")) {
        location.error = QStringLiteral("%1 is neither a file nor a PostgreSQL server "
                                        "(postgresql://user@host/dbname)")
                             .arg(given);
        return location;
    }
    if (!url.isValid()) {
        location.error = QStringLiteral("%1 is no valid address: %2").arg(given, url.errorString());
        return location;
    }
    location.kind = Kind::PostgreSql;
    location.host = url.host();
    location.port = url.port(-1);
    location.user = url.userName();
    location.database = url.path().mid(1);
    // A password in the address would end up in the window's settings, in
    // a shell's history and in every message that names the server.
    const QList<std::pair<QString, QString>> query = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    const bool passwordGiven = !url.password().isEmpty() ||
                               std::any_of(query.cbegin(), query.cend(), [](const auto &item) {
                                   return item.first == QLatin1String("password");
                               });
    if (passwordGiven) {
        const QString withoutIt = location.describe();
        location.kind = Kind::Invalid;
        location.error =
            QStringLiteral(
                "%1 holds a password, which the tester never keeps or shows: put it in ~/.pgpass, "
                "in "
                "PGPASSWORD, or in a service file (~/.pg_service.conf, chosen with PGSERVICE or "
                "?service=NAME), and give the address without it")
                .arg(withoutIt);
        return location;
    }
    QStringList options;
    bool timeoutGiven = false;
    for (const auto &[key, value] : query) {
        options << key + QLatin1Char('=') + value;
        timeoutGiven = timeoutGiven || key == QLatin1String("connect_timeout");
    }
    if (!timeoutGiven)
        options << kConnectTimeout;
    location.options = options.join(QLatin1Char(';'));
    return location;
}

QString RecordLocation::describe() const
{
    switch (kind) {
    case Kind::SqliteFile:
        return QDir::toNativeSeparators(file);
    case Kind::PostgreSql: {
        QUrl url;
        url.setScheme(QStringLiteral("postgresql"));
        url.setUserName(user);
        url.setHost(host);
        url.setPort(port);
        url.setPath(QLatin1Char('/') + database);
        return url.toString();
    }
    case Kind::Invalid:
        break;
    }
    return error;
}
