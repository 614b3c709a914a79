#pragma once

#include "Findings.h"
#include "SmaSession.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Everything one finished check found: what sma-check writes as JSON and
// JUnit, and what a record of the check keeps.
struct CheckRecord
{
    enum class WeightStream { Verified, NotVerified, Skipped };

    QString port;                                // as typed
    QString line = QStringLiteral("9600,8,N,1"); // the line settings the check ran at
    QDateTime ended; // local time the port was last closed: the report's footer says it
    QStringList about;
    QStringList info;
    QString published; // the "CMD:" letters, empty when none
    QList<TestedCommand> commands;
    std::optional<TestedCommand> tare;
    std::optional<TestedCommand> units;
    WeightStream weightStream = WeightStream::NotVerified;
    qint64 weightStreamMs = -1; // how long the analysis ran; -1 when it did not
    QStringList flagsSeen;      // check list texts, in the list's order
    QStringList flagsMissing;   // the boxes left unticked
    bool discoveryFinished = false;
    bool level1 = false;
    QStringList report; // the report's lines, as the preview shows them
    QList<Finding> findings;
    qint64 elapsedMs = 0;
    int exitStatus = 1;
};

// "verified", "not verified" or "skipped".
QString weightStreamText(CheckRecord::WeightStream stream);
