#pragma once

#include <QString>

// Values of TestId: what the command in flight was sent for.
namespace TestIds {
enum : qint16 {
    SingleTestAnswered = -1,
    Finished = 0, // also the value before any run
    About = 1,
    Information = 2,
    Zero = 3,
    Published = 4,
    Additional = 5,
    Weight = 6,
    Diagnostics = 7,
    FirstRetest = 100, // 100 + row of the retested entry, up to 199
    LastRetest = 199,
    Tare = 200,
    Units = 300,
};
}

// Where the discovery run stands.
struct DiscoveryState
{
    qint16 TestId = TestIds::Finished;
    QString PendingCmds; // letters still to send, next first
    QString CurCmd;      // the letter just taken from PendingCmds
    // Answers taken so far in the current About or Information listing; the
    // first is the answer to "A" or "I", the second to the first "B" or "N".
    int ListingAnswers = 0;
};

// What one answer makes the run do next.
struct DiscoveryAction
{
    enum class Show { Nothing, AppendAbout, AppendInformation, PublishCommands, Weight };
    Show show = Show::Nothing;
    QString published; // the new `cmdlist` text, for PublishCommands
    QString send;      // the next command, or empty when the run is over
    QString failed;    // "B" or "N" when its listing was cut off; it gets "Failed"
};

// Real listings have about ten lines; one that has not ended after this many
// is cut off, so that a scale answering every B or N forever cannot hold the
// run there.
inline constexpr int kListingLineLimit = 100;

// Advances the run by one answer. `extraCmds` is the Additional Commands text
// as it reads now. Only states About to Diagnostics advance; any other TestId
// leaves everything as it is and sends nothing.
//
// A listing normally ends with a line containing "END:". Scales that leave
// that line out answer "?" once the listing is exhausted, so an answer that
// is exactly "?" (blanks aside) to a repeated "B" or "N" ends the listing as
// well; a "?" to "A", "I" or the first "B" or "N", and a line that merely
// contains "?", are shown and the listing goes on. A listing that reaches
// kListingLineLimit lines without ending is shown and then ended as "END:"
// would end it, and `failed` names its repeating command.
DiscoveryAction advanceDiscovery(DiscoveryState &state, const QString &answer,
                                 const QString &extraCmds);

// A lone "B" or "N" is only answered inside its listing: the command that
// starts that listing again ("A" or "I"), or empty for any other command.
QString listingRestartFor(const QString &command);
