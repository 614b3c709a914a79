#pragma once

#include "CheckCommandLine.h"
#include "CheckRecord.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class RecordStore;

// What sma-check keeps of its checks and what it compares them with: the
// record store of --db (or SMA_DB, or the default file), --no-record, and
// --compare-to last, an id or a JSON file. Recording never costs a check its
// result: a database that cannot be written is one message. The database is
// opened on a thread of its own while the scale is checked, so that a server
// that takes its time to let a bench in does not hold up the check's end.
class CheckArchive
{
public:
    explicit CheckArchive(const CheckOptions &options);
    ~CheckArchive();

    // Before the run: reads the check to compare with when it is a file or
    // an id, and opens the database for "last", so that a comparison that
    // cannot be made stops the check before it starts. Returns why, or
    // nothing.
    QString prepare();
    // After the run: compares `record` with the earlier check, when asked,
    // and sets its comparison. Returns the lines to tell: what was compared
    // and every difference, or why nothing was.
    QStringList compare(CheckRecord &record);
    // Records the check unless asked not to: for a server through the
    // bench's queue (RecordQueue), with a uuid made when the check started.
    // Returns what to tell, one line each: "The check could not be
    // recorded: <reason>", or that it is kept on the bench and waits for
    // the server, and why; or nothing.
    QString record(const CheckRecord &record);

private:
    class Writer;

    RecordStore &store();

    CheckOptions m_options;
    std::unique_ptr<RecordStore> m_store; // for comparing
    std::unique_ptr<Writer> m_writer;     // for recording
    std::optional<CheckRecord> m_against; // read by prepare() from a file or an id
    qint64 m_againstId = -1;
    QString m_uuid; // of this check
};

// The comparison under "changes" in the JSON: compared_with (id, file,
// ended; null when there was no earlier check), regression, and
// differences, each with kind, subject, before, after, regression and text.
QJsonObject changesJson(const CheckComparison &comparison);

// sma-check --sync: forwards the checks kept on this bench to the server,
// telling on `err` how many went and how many wait. Returns the exit status:
// 0 when none waits afterwards, 1 when some do, 2 when the database cannot
// be opened at all.
int syncQueue(const CheckOptions &options, const std::function<void(const QString &)> &err);

// sma-check --history: the recorded checks on `out` in the format asked
// for. Returns the exit status: 0, or 2 when the database cannot be read.
int listHistory(const CheckOptions &options, const std::function<void(const QString &)> &out,
                const std::function<void(const QString &)> &err);
