#include "HistoryExport.h"

namespace {

constexpr int kPageRows = 1000;

} // namespace

QStringList historyHeader()
{
    return {QStringLiteral("ID"),    QStringLiteral("Ended"),   QStringLiteral("MFG"),
            QStringLiteral("MOD"),   QStringLiteral("SN"),      QStringLiteral("REV"),
            QStringLiteral("Port"),  QStringLiteral("Level 1"), QStringLiteral("Weight stream"),
            QStringLiteral("Failed")};
}

QStringList historyFields(const HistoryRow &row)
{
    return {row.queued ? QStringLiteral("queued") : QString::number(row.id),
            row.ended.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            row.manufacturer,
            row.model,
            row.serialNumber,
            row.revision,
            row.port,
            level1Text(row.level1),
            weightStreamText(row.weightStream),
            QString::number(row.failed)};
}

QJsonObject historyJson(const HistoryRow &row)
{
    return {
        {QStringLiteral("id"), row.id},
        {QStringLiteral("ended"), row.ended.toString(Qt::ISODateWithMs)},
        {QStringLiteral("mfg"), row.manufacturer},
        {QStringLiteral("mod"), row.model},
        {QStringLiteral("sn"), row.serialNumber},
        {QStringLiteral("rev"), row.revision},
        {QStringLiteral("port"), row.port},
        {QStringLiteral("level1"), row.level1},
        {QStringLiteral("weight_stream"), weightStreamText(row.weightStream)},
        {QStringLiteral("failed"), row.failed},
        {QStringLiteral("queued"), row.queued},
    };
}

QString csvLine(const QStringList &fields)
{
    QStringList quoted;
    for (QString field : fields) {
        if (field.contains(QLatin1Char('"')) || field.contains(QLatin1Char(',')) ||
            field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))) {
            field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            field = QLatin1Char('"') + field + QLatin1Char('"');
        }
        quoted << field;
    }
    return quoted.join(QLatin1Char(','));
}

bool forEachHistoryRow(RecordStore &store, const QString &filter,
                       const std::function<void(const HistoryRow &)> &take)
{
    std::optional<HistoryRow> last;
    for (;;) {
        const std::optional<QList<HistoryRow>> page = store.history(filter, kPageRows, last);
        if (!page)
            return false;
        for (const HistoryRow &row : *page)
            take(row);
        if (page->size() < kPageRows)
            return true;
        last = page->last();
    }
}
