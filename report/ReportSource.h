#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// What the compliance report reads from the tester, afresh on every
// rendering. The session engine implements it; tests use a plain struct.
class ReportSource
{
public:
    virtual ~ReportSource() = default;

    virtual QString scaleAboutText() const = 0;     // text of `scaleabout`
    virtual QString scaleInfoText() const = 0;      // text of `scaleinfo`
    virtual QStringList testedCommands() const = 0; // entries of `cmds`
    virtual QStringList commandResults() const = 0; // entries of `cmdresult`
    virtual QString publishedCommands() const = 0;  // text of `cmdlist`
    // Whether the weight stream analysis passed (Globals::WeightStreamOK).
    virtual bool weightStreamVerified() const = 0;
    // For the footer of every page: the port as typed, and when the port was
    // last closed after a run or a test (invalid before any).
    virtual QString portText() const = 0;
    virtual QDateTime runEnded() const = 0;
    // The line settings, for the footer, when they are not 9600,8,N,1.
    virtual QString lineSettingsText() const { return {}; }
    // The version of the program that made the report, for the footer;
    // empty for this program's own.
    virtual QString programVersionText() const { return {}; }
    virtual bool CheckSMALevel1() const = 0;
    virtual bool CheckSMALevel2() const = 0;
};
