#include "CheckArchive.h"

#include "CheckJsonReader.h"
#include "HistoryExport.h"
#include "RecordQueue.h"
#include "RecordStore.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <future>
#include <thread>

namespace {

const QString kLast = QStringLiteral("last");

// An id is a number that names no file.
std::optional<qint64> recordId(const QString &compareTo)
{
    bool isNumber = false;
    const qint64 id = compareTo.toLongLong(&isNumber);
    if (!isNumber || id < 0 || QFileInfo::exists(compareTo))
        return std::nullopt;
    return id;
}

QString scaleName(const CheckRecord &record)
{
    return QStringLiteral("MFG \"%1\", MOD \"%2\", SN \"%3\"")
        .arg(record.manufacturer, record.model, record.serialNumber);
}

// What keeping a check came to, as lines for standard error.
QStringList keptLines(const RecordQueue::Outcome &outcome)
{
    QStringList lines;
    if (!outcome.notice.isEmpty())
        lines << outcome.notice;
    if (!outcome.failure.isEmpty())
        lines << QStringLiteral("The check could not be recorded: %1").arg(outcome.failure);
    else if (outcome.waiting > 0)
        lines << QStringLiteral("The check is kept on this bench: %1 (%2). They are sent with "
                                "the next check, or by sma-check --sync.")
                     .arg(waitingText(outcome.waiting), outcome.why);
    return lines;
}

} // namespace

// Opens the database as soon as it is made and keeps the one check it is
// handed, all on its own thread, which owns the connection.
class CheckArchive::Writer
{
public:
    explicit Writer(const QString &location)
        : m_thread([this, location, check = m_check.get_future()]() mutable {
              RecordQueue queue(location);
              queue.destination().open(); // a failure is told when the check is kept
              const std::optional<CheckRecord> record = check.get();
              if (!record)
                  return m_result.set_value({});
              m_result.set_value(keptLines(queue.keep(*record)).join(QLatin1Char('\n')));
          })
    {}
    ~Writer()
    {
        if (!m_handed)
            m_check.set_value(std::nullopt);
        m_thread.join();
    }
    // What to tell of it: why it could not be kept, that it waits, or nothing.
    QString write(const CheckRecord &record)
    {
        m_handed = true;
        m_check.set_value(record);
        return m_result.get_future().get();
    }

private:
    std::promise<std::optional<CheckRecord>> m_check;
    std::promise<QString> m_result;
    bool m_handed = false;
    std::thread m_thread;
};

CheckArchive::CheckArchive(const CheckOptions &options)
    : m_options(options), m_uuid(QUuid::createUuid().toString(QUuid::WithoutBraces))
{}

CheckArchive::~CheckArchive() = default;

RecordStore &CheckArchive::store()
{
    if (!m_store)
        m_store = std::make_unique<RecordStore>(chooseRecordLocation(m_options.database));
    return *m_store;
}

QString CheckArchive::prepare()
{
    if (m_options.record && !m_writer)
        m_writer = std::make_unique<Writer>(chooseRecordLocation(m_options.database));
    const QString cannotRead = QStringLiteral("The check to compare with cannot be read: %1");
    if (m_options.compareTo.isEmpty())
        return {};
    if (m_options.compareTo == kLast)
        return store().open() ? QString() : cannotRead.arg(store().errorString());
    if (const std::optional<qint64> id = recordId(m_options.compareTo)) {
        m_against = store().load(*id);
        m_againstId = *id;
        return m_against ? QString() : cannotRead.arg(store().errorString());
    }
    QString error;
    m_against = readCheckJson(m_options.compareTo, &error);
    return m_against ? QString() : cannotRead.arg(error);
}

QStringList CheckArchive::compare(CheckRecord &record)
{
    if (m_options.compareTo.isEmpty())
        return {};
    CheckComparison comparison;
    if (m_options.compareTo == kLast) {
        if (record.manufacturer.isEmpty() && record.model.isEmpty() &&
            record.serialNumber.isEmpty()) {
            comparison.found = false;
            record.comparison = comparison;
            return {QStringLiteral("The scale did not name itself (no MFG, MOD or SN): there is "
                                   "no earlier check of it to compare with.")};
        }
        const std::optional<qint64> id =
            store().lastCheckOf(record.manufacturer, record.model, record.serialNumber);
        if (id && *id >= 0) {
            m_against = store().load(*id);
            m_againstId = *id;
        }
        if (!id || (*id >= 0 && !m_against))
            return {QStringLiteral("The check to compare with cannot be read: %1")
                        .arg(store().errorString())};
        if (*id < 0) {
            comparison.found = false;
            record.comparison = comparison;
            return {QStringLiteral("No earlier check of %1 is on record to compare with.")
                        .arg(scaleName(record))};
        }
    }
    comparison.againstId = m_againstId;
    comparison.againstFile = m_againstId < 0 ? m_options.compareTo : QString();
    comparison.againstEnded = m_against->ended;
    comparison.changes = compareChecks(*m_against, record);
    record.comparison = comparison;

    const QString ended = comparison.againstEnded.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QStringList lines{
        comparison.againstId >= 0
            ? QStringLiteral("Changes since check %1 (%2):").arg(comparison.againstId).arg(ended)
            : QStringLiteral("Changes since %1 (%2):").arg(comparison.againstFile, ended)};
    for (const CheckChange &change : comparison.changes)
        lines << QStringLiteral("  ") + changeText(change);
    return lines;
}

QString CheckArchive::record(const CheckRecord &record)
{
    if (!m_options.record)
        return {};
    if (!m_writer)
        m_writer = std::make_unique<Writer>(chooseRecordLocation(m_options.database));
    CheckRecord stamped = record;
    stamped.uuid = m_uuid;
    stamped.edition = 1;
    return m_writer->write(stamped);
}

int syncQueue(const CheckOptions &options, const std::function<void(const QString &)> &err)
{
    RecordQueue queue(chooseRecordLocation(options.database));
    const QString where = queue.destination().location().describe();
    if (!queue.queues()) {
        if (!queue.destination().open()) {
            err(QStringLiteral("The database cannot be opened: %1")
                    .arg(queue.destination().errorString()));
            return 2;
        }
        err(QStringLiteral("%1 is a file on this bench: no check waits for a server.").arg(where));
        return 0;
    }
    // Opening first brings the schema forward, when this role may.
    const bool reached = queue.destination().open();
    const RecordQueue::Outcome outcome = queue.forward();
    if (!outcome.notice.isEmpty())
        err(outcome.notice);
    if (outcome.waiting > 0 || (!outcome.why.isEmpty() && !queue.waiting())) {
        err(QStringLiteral("Sent %1 of the checks kept on this bench to %2; %3: %4")
                .arg(outcome.sent)
                .arg(where, waitingText(outcome.waiting), outcome.why));
        return 1;
    }
    if (!reached)
        err(QStringLiteral("No check waits for the server, which cannot be reached: %1")
                .arg(queue.destination().errorString()));
    else
        err(QStringLiteral("Sent %1 to %2; none is waiting.")
                .arg(outcome.sent == 1 ? QStringLiteral("1 check")
                                       : QStringLiteral("%1 checks").arg(outcome.sent),
                     where));
    return 0;
}

QJsonObject changesJson(const CheckComparison &comparison)
{
    QJsonArray differences;
    for (const CheckChange &change : comparison.changes)
        differences.append(QJsonObject{
            {QStringLiteral("kind"), changeKindText(change.kind)},
            {QStringLiteral("subject"), change.subject},
            {QStringLiteral("before"), change.before},
            {QStringLiteral("after"), change.after},
            {QStringLiteral("regression"), change.regression},
            {QStringLiteral("text"), changeText(change)},
        });
    QJsonValue against;
    if (comparison.found)
        against = QJsonObject{
            {QStringLiteral("id"),
             comparison.againstId >= 0 ? QJsonValue(comparison.againstId) : QJsonValue()},
            {QStringLiteral("file"),
             comparison.againstFile.isEmpty() ? QJsonValue() : QJsonValue(comparison.againstFile)},
            {QStringLiteral("ended"), comparison.againstEnded.toString(Qt::ISODate)},
        };
    return {
        {QStringLiteral("compared_with"), against},
        {QStringLiteral("regression"), comparison.regression()},
        {QStringLiteral("differences"), differences},
    };
}

int listHistory(const CheckOptions &options, const std::function<void(const QString &)> &out,
                const std::function<void(const QString &)> &err)
{
    RecordQueue queue(chooseRecordLocation(options.database));
    RecordStore &store = queue.destination();
    using Format = CheckOptions::HistoryFormat;
    QJsonArray json;
    if (options.historyFormat == Format::Text)
        out(historyHeader().join(QLatin1Char('\t')));
    else if (options.historyFormat == Format::Csv)
        out(csvLine(historyHeader()));
    const auto take = [&](const HistoryRow &row) {
        switch (options.historyFormat) {
        case Format::Text:
            out(historyFields(row).join(QLatin1Char('\t')));
            break;
        case Format::Csv:
            out(csvLine(historyFields(row)));
            break;
        case Format::Json:
            json.append(historyJson(row));
            break;
        }
    };
    // The checks waiting on this bench for the server come first.
    const std::optional<QList<HistoryRow>> queued = queue.history(QString());
    for (const HistoryRow &row : queued.value_or(QList<HistoryRow>()))
        take(row);
    if (!queued)
        err(QStringLiteral("The checks kept on this bench cannot be read: %1")
                .arg(queue.errorString()));
    if (!forEachHistoryRow(store, QString(), take)) {
        err(QStringLiteral("The history cannot be read: %1").arg(store.errorString()));
        return 2;
    }
    if (options.historyFormat == Format::Json)
        out(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)).trimmed());
    return 0;
}
