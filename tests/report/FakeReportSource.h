#pragma once

#include "ReportSource.h"

// The tester's state as plain fields, counting how often the report asks the
// compliance checks and the published commands.
struct FakeReportSource : ReportSource
{
    QString about;
    QString info;
    QStringList commands;
    QStringList results;
    QString published;
    bool level1 = false;
    bool level2 = false;
    bool weightStream = false;
    QString port = QStringLiteral("/dev/ttyUSB0");
    QDateTime ended = QDateTime(QDate(2026, 12, 7), QTime(14, 3));

    mutable int level1Calls = 0;
    mutable int level2Calls = 0;
    mutable int publishedCalls = 0;

    QString scaleAboutText() const override { return about; }
    QString scaleInfoText() const override { return info; }
    QStringList testedCommands() const override { return commands; }
    QStringList commandResults() const override { return results; }
    QString publishedCommands() const override
    {
        ++publishedCalls;
        return published;
    }
    bool weightStreamVerified() const override { return weightStream; }
    QString portText() const override { return port; }
    QDateTime runEnded() const override { return ended; }
    bool CheckSMALevel1() const override
    {
        ++level1Calls;
        return level1;
    }
    bool CheckSMALevel2() const override
    {
        ++level2Calls;
        return level2;
    }

    // A scale that answered everything: about and information listings, the
    // five Level 1 commands passed, a units test ("lb ", blank included) and
    // a published command list.
    static FakeReportSource compliantScale()
    {
        FakeReportSource source;
        source.about = QStringLiteral("ABT:Acme Scales\r\nVER:2.10\r\n");
        source.info = QStringLiteral("TYP:Shelf floor scale\r\nCMD:HPR\r\n");
        source.commands = {QStringLiteral("<LF>A<CR>"), QStringLiteral("<LF>B<CR>"),
                           QStringLiteral("<LF>Z<CR>"), QStringLiteral("<LF>W<CR>"),
                           QStringLiteral("<LF>D<CR>"), QStringLiteral("<LF>Ulb <CR>")};
        source.results = {QStringLiteral("Passed"), QStringLiteral("Passed"),
                          QStringLiteral("Passed"), QStringLiteral("Passed"),
                          QStringLiteral("Passed"), QStringLiteral("Passed")};
        source.published = QStringLiteral("HPR");
        source.level1 = true;
        source.level2 = true;
        return source;
    }
};
