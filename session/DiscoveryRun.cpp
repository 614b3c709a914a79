#include "DiscoveryRun.h"

namespace {

QString takeFirst(QString &queue)
{
    const QString first = queue.left(1);
    queue.remove(0, 1);
    return first;
}

// Sends the next additional letter, or "W" when there is none.
void startAdditionalCommands(DiscoveryState &state, const QString &extraCmds,
                             DiscoveryAction &action)
{
    state.TestId = TestIds::Additional;
    state.CurCmd = extraCmds.left(1);
    state.PendingCmds = extraCmds.mid(1);
    if (!state.CurCmd.isEmpty()) {
        action.send = state.CurCmd;
        return;
    }
    state.TestId = TestIds::Weight;
    action.send = QStringLiteral("W");
}

enum class ListingEnd { GoesOn, Ended, Cut };

// Whether this listing answer closes the listing.
ListingEnd endOfListing(DiscoveryState &state, const QString &answer)
{
    const int index = state.ListingAnswers++;
    if (answer.contains(QLatin1String("END:")))
        return ListingEnd::Ended;
    if (index >= 2 && answer.trimmed() == QLatin1String("?"))
        return ListingEnd::Ended;
    if (state.ListingAnswers >= kListingLineLimit)
        return ListingEnd::Cut;
    return ListingEnd::GoesOn;
}

} // namespace

DiscoveryAction advanceDiscovery(DiscoveryState &state, const QString &answer,
                                 const QString &extraCmds)
{
    using Show = DiscoveryAction::Show;
    DiscoveryAction action;
    switch (state.TestId) {
    case TestIds::About: {
        const ListingEnd end = endOfListing(state, answer);
        if (end != ListingEnd::Ended)
            action.show = Show::AppendAbout;
        if (end == ListingEnd::GoesOn) {
            action.send = QStringLiteral("B");
            break;
        }
        if (end == ListingEnd::Cut)
            action.failed = QStringLiteral("B");
        state.TestId = TestIds::Information;
        state.ListingAnswers = 0;
        action.send = QStringLiteral("I");
        break;
    }
    case TestIds::Information: {
        const ListingEnd end = endOfListing(state, answer);
        if (end == ListingEnd::Ended) {
            state.TestId = TestIds::Zero;
            action.send = QStringLiteral("Z");
            break;
        }
        if (answer.contains(QLatin1String("CMD:"))) {
            // The letters always start at the 5th character, wherever "CMD:" stands.
            action.show = Show::PublishCommands;
            action.published = answer.mid(4);
            state.PendingCmds = action.published;
            action.send = QStringLiteral("N");
        } else {
            action.show = Show::AppendInformation;
            action.send = QStringLiteral("N");
        }
        if (end == ListingEnd::Cut) {
            action.failed = QStringLiteral("N");
            state.TestId = TestIds::Zero;
            action.send = QStringLiteral("Z");
        }
        break;
    }
    case TestIds::Zero:
        if (!state.PendingCmds.isEmpty()) {
            // The first published letter goes out as it stands, even an "X".
            state.CurCmd = takeFirst(state.PendingCmds);
            state.TestId = TestIds::Published;
            action.send = state.CurCmd;
        } else {
            startAdditionalCommands(state, extraCmds, action);
        }
        break;
    case TestIds::Published:
        if (!state.PendingCmds.isEmpty()) {
            state.CurCmd = takeFirst(state.PendingCmds);
            // "X" takes a character after it; skip one, but send a second "X".
            if (state.CurCmd == QLatin1String("X"))
                state.CurCmd = takeFirst(state.PendingCmds);
            if (state.CurCmd.isEmpty())
                startAdditionalCommands(state, extraCmds, action);
            else
                action.send = state.CurCmd;
        } else {
            startAdditionalCommands(state, extraCmds, action);
        }
        break;
    case TestIds::Additional:
        state.CurCmd = takeFirst(state.PendingCmds);
        if (state.CurCmd.isEmpty()) {
            state.TestId = TestIds::Weight;
            action.send = QStringLiteral("W");
        } else {
            action.send = state.CurCmd;
        }
        break;
    case TestIds::Weight:
        action.show = Show::Weight;
        state.TestId = TestIds::Diagnostics;
        action.send = QStringLiteral("D");
        break;
    case TestIds::Diagnostics:
        state.TestId = TestIds::Finished;
        break;
    default:
        break;
    }
    return action;
}

QString listingRestartFor(const QString &command)
{
    if (command == QLatin1String("B"))
        return QStringLiteral("A");
    if (command == QLatin1String("N"))
        return QStringLiteral("I");
    return {};
}
