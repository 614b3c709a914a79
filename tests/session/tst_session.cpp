#include "SessionFixture.h"
#include "VerdictText.h"

#include <QtTest>

// Whole discovery runs against a scripted scale, time-outs, Stop, checklist
// retests and the tare and units tests.
class SessionTest : public QObject
{
    Q_OBJECT
private slots:
    void fullRuns_data();
    void fullRuns();
    void crLfLineEnds();
    void answerInPiecesIsTakenWhenTheCrArrives();
    void whatCameBeforeASendIsNeverItsAnswer();
    void answersWaitWhileTheOpeningMessageShows();
    void lineStateNotificationDuringOpeningIsHarmless();
    void floodWithoutAnswersStaysBounded_data();
    void floodWithoutAnswersStaysBounded();
    void scaleThatTalksByItselfIsNeverJudged_data();
    void scaleThatTalksByItselfIsNeverJudged();
    void talkIsToldFromAnswersAtAnyRate_data();
    void talkIsToldFromAnswersAtAnyRate();
    void garbledBytesAreExplained();
    void timeOuts_data();
    void timeOuts();
    void endlessListingIsCut();
    void lostPort_data();
    void lostPort();
    void timerIsArmedBySendsAndStoppedByAnswers();
    void stopMidRun();
    void singleTestAfterStopKeepsRowsPaired();
    void retestPassesAndFails();
    void retestRefusedWhilePortOpen();
    void retestBeyondRowNinetyNineIsRefused();
    void retestOfDataEntryKeepsRowsAligned();
    void retestCanCompleteLevelOne();
    void retestTimeOutAndLateAnswer();
    void retestWhosePortWillNotOpen();
    void tareAndUnitsBytes_data();
    void tareAndUnitsBytes();
    void twoUnitsTestsLeaveOneEntry();
    void emptyTareOnListedPlainTare();
    void singleTestsDoNothingWhilePortOpen();
    void singleTestsReadPortAtEveryPress();
    void singleTestWhosePortWillNotOpen();
    void singleTestsTimeOut();
    void tareValueOutsideLatin1IsRefused_data();
    void tareValueOutsideLatin1IsRefused();

private:
    static QString lines(const QStringList &list) { return list.join('\n') + '\n'; }
};

void SessionTest::fullRuns_data()
{
    QTest::addColumn<QStringList>("about");
    QTest::addColumn<QStringList>("info");
    QTest::addColumn<bool>("answerEverything");
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QStringList>("cmds");
    QTest::addColumn<QString>("results"); // P / F per entry
    QTest::addColumn<QString>("cmdlist");
    QTest::addColumn<QString>("weight");

    const QStringList about{"SMA:2/1.0", "MFG:ACME", "END:"};
    const QStringList info{"SMA:2/1.0", "CMD:ABDWZXHM", "END:"};
    QTest::newRow("level 2 scale") << about << info << true << "HPQRSTMCU"
                                   << "A B B I N N Z A B D W Z H M H P Q R S T M C U W D"
                                   << QStringList{"A", "B", "I", "N", "Z", "D", "W", "H",
                                                  "M", "P", "Q", "R", "S", "T", "C", "U"}
                                   << "PPPPPPPPPFFFFPPF"
                                   << "ABDWZXHM"
                                   << " 1G       5.025kg ";
    QTest::newRow("no CMD line") << about << QStringList{"SMA:2/1.0", "TYP:S", "END:"} << true
                                 << "HPQRSTMCU"
                                 << "A B B I N N Z H P Q R S T M C U W D"
                                 << QStringList{"A", "B", "I", "N", "Z", "H", "P", "Q",
                                                "R", "S", "T", "M", "C", "U", "W", "D"}
                                 << "PPPPPPFFFFPPPFPP"
                                 << ""
                                 << " 1G       5.025kg ";
    QTest::newRow("? to everything") << QStringList() << QStringList() << false << "HPQRSTMCU"
                                     << "A B B I N N Z H P Q R S T M C U W D"
                                     << QStringList{"A", "B", "I", "N", "Z", "H", "P", "Q",
                                                    "R", "S", "T", "M", "C", "U", "W", "D"}
                                     << "FFFFFFFFFFFFFFFF"
                                     << ""
                                     << "?";
    QTest::newRow("empty additional commands")
        << about << info << true << ""
        << "A B B I N N Z A B D W Z H M W D"
        << QStringList{"A", "B", "I", "N", "Z", "D", "W", "H", "M"} << "PPPPPPPPP"
        << "ABDWZXHM"
        << " 1G       5.025kg ";
    QTest::newRow("listing without END lines")
        << QStringList{"SMA:2/1.0", "MFG:ACME", "MOD:9"} << QStringList{"SMA:2/1.0", "CMD:T"}
        << true << ""
        << "A B B B I N N Z T W D" << QStringList{"A", "B", "I", "N", "Z", "T", "W", "D"}
        << "PPPPPPPP"
        << "T"
        << " 1G       5.025kg ";
}

void SessionTest::fullRuns()
{
    QFETCH(QStringList, about);
    QFETCH(QStringList, info);
    QFETCH(bool, answerEverything);
    QFETCH(QString, extra);
    QFETCH(QStringList, cmds);
    QFETCH(QString, results);

    SessionFixture f;
    ScriptedScale scale;
    scale.about = about;
    scale.info = info;
    if (!answerEverything)
        scale.answers.clear();
    f.answerWith(scale);
    f.session->setAdditionalCommands(extra);
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);

    QTEST(f.sentCommands().join(' '), "sent");
    QByteArray wire;
    for (const QString &command : f.sentCommands())
        wire += '\n' + command.toLatin1() + '\r';
    QCOMPARE(f.port->written, wire);

    QStringList expectedCmds;
    for (const QString &command : cmds)
        expectedCmds << "<LF>" + command + "<CR>";
    QCOMPARE(f.cmds(), expectedCmds);
    QStringList expectedResults;
    for (QChar verdict : results)
        expectedResults << (verdict == 'P' ? "Passed" : "Failed");
    QCOMPARE(f.results(), expectedResults);

    // Listing lines except the closing one, each on its own line.
    QStringList aboutShown, infoShown;
    for (const QString &line : about)
        if (!line.contains("END:"))
            aboutShown << line;
    for (const QString &line : info)
        if (!line.contains("END:"))
            infoShown << line;
    if (about.isEmpty())
        aboutShown = QStringList{"?", "?"}; // the answers to "A" and the first "B"
    if (info.isEmpty())
        infoShown = QStringList{"?", "?"};
    QCOMPARE(f.about(), lines(aboutShown));
    QCOMPARE(f.info(), lines(infoShown));
    QCOMPARE(f.session->scaleAboutText(), lines(aboutShown).replace("\n", "\r\n"));
    QTEST(f.session->published(), "cmdlist");
    QTEST(f.session->weight(), "weight");

    // The end of the run closes the port before the hand-over.
    QVERIFY(!f.portOpenAtFinish);
    QVERIFY(!f.port->portOpen());
    QVERIFY(!f.timer()->isActive());
    QCOMPARE(f.status(), QString("Not connected"));
    QVERIFY(!f.connected);
    QCOMPARE(f.session->testId(), qint16(0));
}

// A scale ending its lines with CR LF leaves each LF behind its answer; it
// is thrown away before the next command goes out, and the run is as with CR
// alone. Lines with no LF in front are no answers at all: the first command
// times out.
void SessionTest::crLfLineEnds()
{
    SessionFixture f;
    ScriptedScale scale;
    scale.lineEnd = "\r\n";
    f.answerWith(scale);
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    QCOMPARE(f.sentCommands().join(' '),
             QString("A B B I N N Z A B D W Z H M H P Q R S T M C U W D"));
    QCOMPARE(f.about(), QString("SMA:2/1.0\nMFG:ACME\n"));
    QCOMPARE(f.session->published(), QString("ABDWZXHM"));
    QVERIFY(f.session->CheckSMALevel1());

    SessionFixture bare;
    scale.lineStart = "";
    bare.answerWith(scale);
    bare.pressConnect();
    QTest::qWait(20);
    QCOMPARE(bare.sentCommands(), QStringList({"A"}));
    QVERIFY(bare.timer()->isActive());
    bare.session->onResponseTimeout();
    QCOMPARE(bare.results(), QStringList({"Failed"}));
    QCOMPARE(bare.status(), QString("Failure"));
    QVERIFY(bare.about().isEmpty());
}

void SessionTest::answerInPiecesIsTakenWhenTheCrArrives()
{
    SessionFixture f;
    f.pressConnect();
    f.port->deliver("\nSMA:");
    QCOMPARE(f.sentCommands(), QStringList({"A"}));
    QVERIFY(f.timer()->isActive());
    QVERIFY(f.results().isEmpty());
    f.port->deliver("2/1.0");
    QCOMPARE(f.sentCommands(), QStringList({"A"}));
    f.port->deliver("\r");
    QCOMPARE(f.sentCommands(), QStringList({"A", "B"}));
    QCOMPARE(f.about(), QString("SMA:2/1.0\n"));
    QCOMPARE(f.results(), QStringList({"Passed"}));
    QCOMPARE(f.session->rxLine(), QByteArray("SMA:2/1.0"));
}

// A second line in one arrival, or a line the scale sends by itself, is
// dropped when the next command goes out instead of becoming its answer.
void SessionTest::whatCameBeforeASendIsNeverItsAnswer()
{
    SessionFixture f;
    f.whileMessageShows = [&] { f.port->deliver("\nPOWER ON\r"); };
    f.pressConnect();
    QCOMPARE(f.port->discarded, QByteArray("\nPOWER ON\r"));
    f.port->deliver("\nSMA:2/1.0\r\nMFG:ACME\r");
    QCOMPARE(f.sentCommands(), QStringList({"A", "B"}));
    QCOMPARE(f.about(), QString("SMA:2/1.0\n"));
    QCOMPARE(f.session->rxText(), QByteArray());
    f.port->deliver("\nMOD:9\r");
    QCOMPARE(f.sentCommands(), QStringList({"A", "B", "B"}));
    QCOMPARE(f.about(), QString("SMA:2/1.0\nMOD:9\n"));
    // An empty answer (CR right after LF) passes and takes only those two.
    f.port->deliver("\n\r");
    QCOMPARE(f.sentCommands(), QStringList({"A", "B", "B", "B"}));
    QCOMPARE(f.about(), QString("SMA:2/1.0\nMOD:9\n\n"));
    QCOMPARE(f.results(), QStringList({"Passed", "Passed"}));
}

void SessionTest::answersWaitWhileTheOpeningMessageShows()
{
    SessionFixture f;
    int notificationsWhileMessage = -1;
    f.whileMessageShows = [&] {
        const int before = f.port->notifications();
        f.port->deliver("\nEARLY\r");
        notificationsWhileMessage = f.port->notifications() - before;
    };
    f.pressConnect();
    QCOMPARE(notificationsWhileMessage, 0);
    QVERIFY(f.about().isEmpty());
    QCOMPARE(f.sentCommands(), QStringList({"A"}));
}

void SessionTest::lineStateNotificationDuringOpeningIsHarmless()
{
    SessionFixture f;
    // A single test has been answered before, leaving TestId at -1.
    ScriptedScale scale;
    f.answerWith(scale);
    f.keyTare();
    QTRY_COMPARE(f.session->testId(), qint16(-1));
    QVERIFY(!f.port->portOpen());
    f.port->responder = nullptr;

    f.whileMessageShows = [&] {
        for (int code : {3, 4, 5, 6, 1001, 1010})
            f.port->raiseEvent(code);
    };
    f.pressConnect();
    QVERIFY(f.port->portOpen());
    QCOMPARE(f.sentCommands().last(), QString("A"));
    QVERIFY(f.connected);
    QCOMPARE(f.status(), QString("Connected"));
    QVERIFY(f.timer()->isActive());
}

// A flood keeps the receive buffer and the traffic record within their
// bounds; the record counts what it could not keep, and the run goes on.
void SessionTest::floodWithoutAnswersStaysBounded_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("chunks");
    QTest::addColumn<bool>("whileMessageShows"); // otherwise while "A" waits
    QTest::addColumn<bool>("entriesDropped");

    QTest::newRow("kilobytes without a line end")
        << QByteArray(1024, 'x') << 2000 << false << false;
    QTest::newRow("lines without LF, each an entry")
        << QByteArray(" 1GM      5.025kg \r") << 30000 << false << true;
    QTest::newRow("chunks past the byte budget") << QByteArray(4096, 'x') << 1500 << false << true;
    // A scale that talks by itself is not judged: "A" is never sent.
    QTest::newRow("weight lines while the set-up message shows")
        << QByteArray("\n 1GM      5.025kg \r").repeated(50) << 2000 << true << false;
}

void SessionTest::floodWithoutAnswersStaysBounded()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, chunks);
    QFETCH(bool, whileMessageShows);
    QFETCH(bool, entriesDropped);

    SessionFixture f;
    const auto flood = [&] {
        for (int i = 0; i < chunks; ++i) {
            f.port->deliver(chunk);
            QVERIFY(f.session->rxText().size() <= 4096);
        }
    };
    if (whileMessageShows)
        f.whileMessageShows = flood;
    f.pressConnect();
    if (!whileMessageShows)
        flood();
    QCOMPARE(f.sentCommands(), whileMessageShows ? QStringList() : QStringList({"A"}));

    const TrafficLog &traffic = f.session->traffic();
    QVERIFY(traffic.size() <= TrafficLog::kEntryBudget);
    QVERIFY(traffic.keptBytes() <= TrafficLog::kByteBudget);
    QCOMPARE(traffic.totals().bytesReceived, qint64(chunk.size()) * chunks);
    // Every byte is kept or counted, once.
    qint64 accounted = 0;
    QList<TrafficEntry> notKept;
    for (const TrafficEntry &entry : traffic.entries()) {
        accounted += entry.byteCount;
        if (entry.kind == TrafficEntry::Kind::NotKept)
            notKept << entry;
    }
    QCOMPARE(accounted, traffic.totals().bytesReceived + traffic.totals().bytesSent);
    QCOMPARE(notKept.size(), entriesDropped ? 1 : 0);
    if (entriesDropped) {
        QCOMPARE(notKept.first().entries, traffic.totals().entriesNotKept);
        QCOMPARE(notKept.first().byteCount, traffic.totals().bytesNotKept);
        QCOMPARE(TrafficLog::note(notKept.first()),
                 QLocale(QLocale::English).toString(traffic.totals().entriesNotKept) +
                     " entries of " +
                     QLocale(QLocale::English).toString(traffic.totals().bytesNotKept) +
                     " bytes not kept");
    }
    if (whileMessageShows) // thrown away as it came: one entry counts it all
        QCOMPARE(TrafficLog::note(traffic.at(0)),
                 "discarded, " + QLocale(QLocale::English).toString(chunk.size() * chunks) +
                     " bytes");
    if (whileMessageShows) {
        QCOMPARE(f.results(), QStringList{"Failed"});
        QCOMPARE(f.status(), QString("Failure"));
        return;
    }

    f.port->deliver("\nSMA:2/1.0\r");
    QCOMPARE(f.sentCommands(), QStringList({"A", "B"}));
    QCOMPARE(f.about(), QString("SMA:2/1.0\n"));
    const TrafficEntry &answer = traffic.at(traffic.size() - 2);
    QCOMPARE(answer.kind, TrafficEntry::Kind::Answer);
    QCOMPARE(answer.bytes, QByteArray("\nSMA:2/1.0\r")); // not a line that came before it
    QCOMPARE(answer.takenFor, QString("<LF>A<CR>"));
}

void SessionTest::scaleThatTalksByItselfIsNeverJudged_data()
{
    QTest::addColumn<QByteArray>("duringMessage"); // arrives while the set-up message is up
    QTest::addColumn<QByteArray>("afterAnswers");  // follows every answer unasked
    QTest::addColumn<QString>("published");
    QTest::addColumn<int>("streamMs");         // a weight line every so often, commands ignored
    QTest::addColumn<QStringList>("sent");     // the first commands, or all when the run stops
    QTest::addColumn<QString>("lastEvidence"); // of the last row when the run stops
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<int>("passed"); // entries passed when the run stops

    const QByteArray weight = "\n 1G       5.025kg \r";
    QTest::newRow("a start-up line is thrown away")
        << QByteArray("\nPOWER ON\r") << QByteArray() << "ABDWZ" << 0
        << QStringList{"A", "B", "B", "I", "N", "N", "Z", "A", "B", "D", "W", "Z"} << QString()
        << false << 0;
    QTest::newRow("lines while the message is up")
        << weight + weight + weight << QByteArray() << "ABDWZ" << 0 << QStringList{}
        << QString::fromUtf8("Failed — the scale sends without being asked (3 lines unasked)")
        << true << 0;
    QTest::newRow("a line after two answers in a row")
        << QByteArray() << weight << "ABDWZ" << 0 << QStringList{"A", "B"}
        << QString::fromUtf8("Failed — the scale sends without being asked (2 lines unasked)")
        << true << 1;
    QTest::newRow("a weight line now and then, commands ignored")
        << QByteArray() << QByteArray() << "ABDWZ" << 150 << QStringList{"A", "B"}
        << QString::fromUtf8("Failed — the scale sends without being asked (2 lines unasked)")
        << true << 0;
    QTest::newRow("R and S stream until the next command")
        << QByteArray() << QByteArray() << "RS" << 0
        << QStringList{"A", "B", "B", "I", "N", "N", "Z", "R", "S", "H"} << QString() << false << 0;
}

// A scale whose serial output is set to continuous answers nothing: its
// lines stand in for answers. The run stops before they are taken for any.
void SessionTest::scaleThatTalksByItselfIsNeverJudged()
{
    QFETCH(QByteArray, duringMessage);
    QFETCH(QByteArray, afterAnswers);
    QFETCH(QString, published);
    QFETCH(int, streamMs);
    QFETCH(QStringList, sent);
    QFETCH(QString, lastEvidence);
    QFETCH(bool, stopped);
    QFETCH(int, passed);

    SessionFixture f;
    ScriptedScale scale;
    scale.info = {"SMA:2/1.0", "CMD:" + published, "END:"};
    // R and S answer, then stream twice more, which the next command stops.
    const QString stream = QStringLiteral(" 1G       5.025kg ");
    scale.answers["R"] = stream + "\r\n" + stream + "\r\n" + stream;
    scale.answers["S"] = scale.answers["R"];
    scale.silent = streamMs > 0;
    f.port->responder = [&](const QByteArray &frame) {
        return scale.respond(frame) + afterAnswers;
    };
    // Its weight changes from line to line, so that no line repeats another.
    int streamed = 0;
    QTimer talking;
    QObject::connect(&talking, &QTimer::timeout, [&] {
        f.port->deliver(QStringLiteral("\n 1G  %1kg \r").arg(++streamed, 10).toLatin1());
    });
    if (streamMs > 0)
        talking.start(streamMs);
    int continuous = 0;
    QObject::connect(f.session.get(), &SmaSession::continuousOutput, [&] { ++continuous; });
    f.whileMessageShows = [&] { f.port->deliver(duringMessage); };
    f.pressConnect();
    QTRY_VERIFY(!f.port->portOpen());

    QCOMPARE(f.sentCommands().mid(0, sent.size()), sent);
    QCOMPARE(continuous, stopped ? 1 : 0);
    QCOMPARE(f.status(), stopped ? QString("Failure") : QString("Not connected"));
    bool unsolicited = false;
    for (const Finding &finding : f.session->findings())
        unsolicited = unsolicited || finding.code == "unsolicited-output";
    QCOMPARE(unsolicited, stopped);
    if (!stopped) {
        QCOMPARE(f.finishedRuns, 1);
        return;
    }
    QCOMPARE(f.sentCommands(), sent);
    QCOMPARE(f.finishedRuns, 0);
    const TestedCommand &last = f.session->commands().constLast();
    QCOMPARE(verdictEvidence(last, f.session->published()), lastEvidence);
    // Nothing after it is judged.
    QCOMPARE(f.results().size(), f.cmds().size());
    QCOMPARE(f.results().count("Passed"), passed);
}

// What arrived, on one clock: "300 heard W1" (a line nobody asked for),
// "500 sent A", "1300 answer W1", "1300 after W2" (a line that waited behind
// the answer before it). W1, W2, W3 and w stand for weight answers.
void SessionTest::talkIsToldFromAnswersAtAnyRate_data()
{
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("verdicts"); // per answer: Answer, Suspect, Talks
    QTest::addColumn<int>("lines");        // the scale's own lines when it talks
    QTest::addColumn<double>("perSecond"); // and how fast they came

    QTest::newRow("a weight line a second, nothing heard before")
        << QStringList{"500 sent A", "1300 answer W1", "1300 sent B", "2300 answer W2"}
        << "Suspect Talks" << 2 << 1.0;
    QTest::newRow("a weight line a second, one heard before")
        << QStringList{"300 heard W1", "500 sent A", "1300 answer W1"} << "Talks" << 2 << 1.0;
    QTest::newRow("a weight line every 2 s")
        << QStringList{"500 sent A", "1900 answer W1", "1900 sent B", "3900 answer W2"}
        << "Suspect Talks" << 2 << 0.5;
    QTest::newRow("the same text a second, heard before")
        << QStringList{"300 heard HELLO", "500 sent A", "1300 answer HELLO", "1300 sent B",
                       "2300 answer HELLO"}
        << "Suspect Talks" << 3 << 1.0;
    QTest::newRow("the same text a second, on its own clock")
        << QStringList{"500 sent A",  "1200 answer HELLO", "1200 sent B", "2200 answer HELLO",
                       "2200 sent B", "3200 answer HELLO", "3200 sent B", "4200 answer HELLO"}
        << "Answer Answer Suspect Talks" << 2 << 1.0;
    QTest::newRow("an honest scale, slow and alike")
        << QStringList{"0 sent A",    "900 answer SMA:2/1.0", "900 sent B",  "1800 answer ?",
                       "1800 sent Z", "2700 answer Z0",       "2700 sent W", "3600 answer Z0",
                       "3600 sent P", "4500 answer Z0",       "4500 sent Q", "5400 answer Z0"}
        << "Answer Answer Answer Answer Answer Answer" << 0 << 0.0;
    QTest::newRow("a late start-up weight line, then answers")
        << QStringList{"0 sent A", "30 answer W1", "30 sent B", "80 answer SMA:2/1.0"}
        << "Suspect Answer" << 0 << 0.0;
    QTest::newRow("a start-up line and its weight in answers")
        << QStringList{"0 heard W1", "100 sent W", "150 answer W1", "150 sent D", "200 answer     "}
        << "Suspect Answer" << 1 << 0.0;
    QTest::newRow("answers with lines behind them")
        << QStringList{"0 sent A",  "50 answer SMA:2/1.0", "50 after W1",
                       "50 sent B", "100 answer MFG:ACME", "100 after W2"}
        << "Answer Talks" << 2 << 20.0;
    QTest::newRow("R and S stream by design")
        << QStringList{"0 sent R",   "50 answer W1", "50 after W1",  "50 after W1",
                       "50 sent S",  "60 heard W1",  "100 answer w", "100 after w",
                       "100 sent H", "150 answer w", "150 sent H",   "200 answer w"}
        << "Answer Answer Answer Answer" << 0 << 0.0;
}

void SessionTest::talkIsToldFromAnswersAtAnyRate()
{
    QFETCH(QStringList, events);
    QFETCH(QString, verdicts);
    QFETCH(int, lines);
    QFETCH(double, perSecond);

    const QHash<QString, QByteArray> weights{{"W1", " 1G       5.025kg "},
                                             {"W2", " 1G       5.030kg "},
                                             {"Z0", "Z1G       0.000kg "},
                                             {"w", " 1g      5.0250kg "}};
    using Verdict = ContinuousOutputWatch::Verdict;
    const QHash<Verdict, QString> names{{Verdict::Answer, "Answer"},
                                        {Verdict::Suspect, "Suspect"},
                                        {Verdict::TalksByItself, "Talks"}};
    ContinuousOutputWatch watch;
    watch.clear();
    QStringList seen;
    for (qsizetype i = 0; i < events.size(); ++i) {
        const QStringList parts = events.at(i).split(' ');
        const qint64 ms = parts.at(0).toLongLong();
        const QString what = events.at(i).section(' ', 2);
        const QByteArray text = weights.value(what, what.toLatin1());
        if (parts.at(1) == "sent") {
            watch.breakOff();
            watch.sent(what, ms);
        } else if (parts.at(1) == "heard") {
            watch.heardUnasked("\n" + text + "\r", ms);
        } else if (parts.at(1) == "answer") {
            QByteArray after;
            while (i + 1 < events.size() && events.at(i + 1).section(' ', 1, 1) == "after")
                after += "\n" + weights.value(events.at(++i).section(' ', 2)) + "\r";
            seen << names.value(watch.answered(text, ms, after));
        }
    }
    QCOMPARE(seen.join(' '), verdicts);
    if (!verdicts.endsWith("Talks"))
        return;
    const UnsolicitedOutput evidence = watch.evidence();
    QCOMPARE(evidence.lines, lines);
    QCOMPARE(evidence.perSecond, perSecond);
}

// A scale set to 7 data bits and even parity: the CR of its answer arrives
// with bit 7 set, and the answer never completes.
void SessionTest::garbledBytesAreExplained()
{
    SessionFixture f;
    f.port->responder = [](const QByteArray &) { return QByteArray("\nSMA:\xb2\xaf\xb1.0\x8d"); };
    f.pressConnect();
    QTRY_COMPARE(f.port->waiting().size() + f.session->rxText().size(), qsizetype(11));
    f.session->onResponseTimeout();
    QCOMPARE(f.results(), QStringList{"Failed"});
    QCOMPARE(verdictEvidence(f.session->commands().first(), {}),
             QString::fromUtf8("Failed — 11 bytes arrived, none ended an answer"));
    QStringList codes;
    for (const Finding &finding : f.session->findings())
        codes << finding.code;
    QCOMPARE(codes, QStringList{"line-settings"});
    QVERIFY(f.session->findings().first().message.contains("(7,E,1)"));
}

void SessionTest::timeOuts_data()
{
    QTest::addColumn<int>("answered");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<int>("testId");
    QTest::newRow("A unanswered") << 0 << QStringList{"Failed"} << 1;
    QTest::newRow("first B unanswered") << 1 << QStringList{"Passed", "Failed"} << 1;
    QTest::newRow("repeated B unanswered") << 2 << QStringList{"Passed", "Passed"} << 1;
    QTest::newRow("repeated N unanswered")
        << 5 << QStringList{"Passed", "Passed", "Passed", "Passed"} << 2;
    QTest::newRow("published D unanswered")
        << 9 << QStringList{"Passed", "Passed", "Passed", "Passed", "Passed", "Failed"} << 4;
    QTest::newRow("published A, listed before, unanswered")
        << 7 << QStringList{"Passed", "Passed", "Passed", "Passed", "Passed"} << 4;
}

void SessionTest::timeOuts()
{
    QFETCH(int, answered);
    QFETCH(QStringList, results);
    QFETCH(int, testId);

    SessionFixture f;
    ScriptedScale scale;
    int answers = 0;
    f.port->responder = [&](const QByteArray &frame) {
        return answers++ < answered ? scale.respond(frame) : QByteArray();
    };
    f.pressConnect();
    QTRY_COMPARE(f.port->frames.size(), answered + 1);
    QVERIFY(f.timer()->isActive());

    f.session->onResponseTimeout();
    QCOMPARE(f.results(), results);
    QCOMPARE(f.status(), QString("Failure"));
    QVERIFY(!f.port->portOpen());
    QVERIFY(!f.timer()->isActive());
    QVERIFY(!f.connected);
    QCOMPARE(int(f.session->testId()), testId);
    QTest::qWait(20);
    QCOMPARE(f.port->frames.size(), answered + 1);
    QVERIFY(f.finishedRuns == 0);

    // The next Start begins from an empty queue: a scale that publishes
    // nothing gets the additional letters after "Z", not the old ones.
    ScriptedScale other;
    other.info = QStringList{"SMA:2/1.0", "END:"};
    f.answerWith(other);
    f.port->frames.clear();
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    QCOMPARE(f.sentCommands().join(' '), QString("A B B I N Z H P Q R S T M C U W D"));
}

// A scale that answers every B with another line is cut off after 100 lines;
// B fails and the run goes on.
void SessionTest::endlessListingIsCut()
{
    SessionFixture f;
    ScriptedScale scale;
    scale.about.clear();
    for (int line = 0; line < 150; ++line)
        scale.about << QString("OP%1:AUTO").arg(line);
    f.answerWith(scale);
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    QCOMPARE(f.sentCommands().indexOf("I"), 100); // "A", then 99 times "B"
    QCOMPARE(f.about().count('\n'), 100);
    QCOMPARE(f.results().at(f.cmds().indexOf("<LF>A<CR>")), QString("Passed"));
    QCOMPARE(f.results().at(f.cmds().indexOf("<LF>B<CR>")), QString("Failed"));
    QCOMPARE(f.results().at(f.cmds().indexOf("<LF>I<CR>")), QString("Passed"));
    QCOMPARE(f.cmds().size(), f.results().size());
}

void SessionTest::lostPort_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("row"); // of the command in flight, -1 for the newest
    QTest::newRow("discovery run") << "Connect" << -1;
    QTest::newRow("retest") << "tick" << 2;
    QTest::newRow("tare test") << "KeyTare" << -1;
    QTest::newRow("units test") << "SetUnits" << -1;
}

// The scale unplugged with a command in flight: that command fails, the
// status reads "Failure" and the operator is told why, at once.
void SessionTest::lostPort()
{
    QFETCH(QString, action);
    QFETCH(int, row);
    SessionFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    if (action == "tick") {
        f.pressConnect();
        QTRY_COMPARE(f.finishedRuns, 1);
    }
    scale.silent = true;
    if (action == "tick")
        f.tick(row);
    else
        action == "KeyTare" ? f.keyTare() : f.setUnits();
    QVERIFY(f.port->portOpen());
    f.messages.clear();

    f.port->lose("/dev/ttyTEST0: the connection to the scale was lost.");
    QCOMPARE(
        f.messages,
        QStringList({"Serial port lost\n/dev/ttyTEST0: the connection to the scale was lost."}));
    QVERIFY(!f.port->portOpen());
    QVERIFY(!f.timer()->isActive());
    QCOMPARE(f.status(), QString("Failure"));
    QVERIFY(!f.connected);
    QCOMPARE(f.results().size(), f.cmds().size());
    QCOMPARE(f.results().at(row < 0 ? f.results().size() - 1 : row), QString("Failed"));
}

void SessionTest::timerIsArmedBySendsAndStoppedByAnswers()
{
    SessionFixture f;
    f.pressConnect();
    QVERIFY(f.timer()->isActive());
    QCOMPARE(f.timer()->interval(), 3000);
    f.port->deliver("\nEND:\r");
    QVERIFY(f.timer()->isActive()); // armed again by "I"
    f.pressConnect();
    QVERIFY(!f.timer()->isActive());
}

void SessionTest::stopMidRun()
{
    SessionFixture f;
    ScriptedScale scale;
    int answers = 0;
    f.port->responder = [&](const QByteArray &frame) {
        return answers++ < 3 ? scale.respond(frame) : QByteArray();
    };
    f.pressConnect();
    QTRY_COMPARE(f.port->frames.size(), 4);
    f.pressConnect();
    QVERIFY(!f.port->portOpen());
    QCOMPARE(f.status(), QString("Not connected"));
    const QStringList resultsAtStop = f.results();
    f.port->deliver("\nLATE\r");
    QTest::qWait(20);
    QCOMPARE(f.port->frames.size(), 4);
    QCOMPARE(f.results(), resultsAtStop);
    QCOMPARE(f.session->testId(), qint16(2));
    QVERIFY(f.finishedRuns == 0);
}

void SessionTest::singleTestAfterStopKeepsRowsPaired()
{
    SessionFixture f;
    ScriptedScale scale;
    f.pressConnect();
    f.pressConnect(); // stopped before "A" was answered
    QCOMPARE(f.cmds(), QStringList({"<LF>A<CR>"}));
    QVERIFY(f.results().isEmpty());

    f.answerWith(scale);
    scale.answers["Ulb "] = "?";
    f.setUnits();
    QTRY_VERIFY(!f.port->portOpen());
    QCOMPARE(f.cmds(), QStringList({"<LF>A<CR>", "<LF>Ulb <CR>"}));
    QCOMPARE(f.results(), QStringList({"Failed", "Failed"}));

    scale.answers["Ukg "] = " 1G       2.268kg ";
    f.unitCode = smaUnitCodes().at(3);
    f.setUnits();
    QTRY_VERIFY(!f.port->portOpen());
    QCOMPARE(f.cmds(), QStringList({"<LF>A<CR>", "<LF>Ukg <CR>"}));
    QCOMPARE(f.results(), QStringList({"Failed", "Passed"}));
}

void SessionTest::retestPassesAndFails()
{
    SessionFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    const QString aboutAfterRun = f.about();
    QCOMPARE(f.cmds().at(3), QString("<LF>N<CR>"));
    QCOMPARE(f.results().at(3), QString("Passed"));

    // Port changed since: the retest still uses the device set last.
    f.portText = "/dev/ttyOTHER";
    f.port->log.clear();
    f.tick(3);
    QCOMPARE(f.results().at(3), QString("Pending"));
    QCOMPARE(f.session->testId(), qint16(103));
    // A lone N is only answered inside its listing: "I" goes first, and its
    // answer decides nothing.
    QCOMPARE(f.port->log,
             QStringList({"RThreshold=0", "SThreshold=0", "PortOpen=1", "Input", "RThreshold=1",
                          "SThreshold=1", "Input", "Output=0a 49 0d"}));
    QCOMPARE(f.port->commPort(), QString("/dev/ttyTEST0"));
    QTRY_COMPARE(f.results().at(3), QString("Passed"));
    QCOMPARE(f.port->frames.mid(f.port->frames.size() - 2), QList<QByteArray>({"\nI\r", "\nN\r"}));
    QVERIFY(!f.port->portOpen());
    QCOMPARE(f.status(), QString("Not connected"));
    QCOMPARE(f.session->testId(), qint16(-1));
    QCOMPARE(f.cmds().count("<LF>I<CR>"), 1);

    // A scale whose listing has a single line answers the N with "?".
    scale.info = QStringList{"SMA:2/1.0"};
    f.tick(3, false);
    f.tick(3);
    QTRY_COMPARE(f.results().at(3), QString("Failed"));
    QTRY_VERIFY(!f.port->portOpen());

    // A passing retest of "A" is not taken for an About line.
    f.tick(0);
    QCOMPARE(f.results().at(0), QString("Pending"));
    QTRY_COMPARE(f.results().at(0), QString("Passed"));
    QCOMPARE(f.about(), aboutAfterRun);
    QCOMPARE(f.port->frames.last(), QByteArray::fromHex("0a410d"));

    // Unticking sends nothing and leaves the result; the next tick tests again.
    const int framesBefore = f.port->frames.size();
    f.tick(3, false);
    QCOMPARE(f.port->frames.size(), framesBefore);
    QCOMPARE(f.results().at(3), QString("Failed"));
    QVERIFY(!f.session->isTicked(3));
    f.tick(3);
    QCOMPARE(f.port->frames.size(), framesBefore + 1);
    QTRY_VERIFY(!f.port->portOpen());
    QCOMPARE(f.cmds().size(), f.results().size());

    // Start takes every tick away before the set-up message shows, and a
    // port lost while it shows gives none back.
    QVERIFY(f.session->isTicked(0) && f.session->isTicked(3));
    bool tickedWhileMessage = true;
    f.whileMessageShows = [&] {
        tickedWhileMessage = f.session->isTicked(0) || f.session->isTicked(3);
        f.port->lose("/dev/ttyTEST0: the connection to the scale was lost.");
    };
    f.pressConnect();
    QVERIFY(!tickedWhileMessage);
    QVERIFY(!f.port->portOpen());
    QVERIFY(!f.session->isTicked(0) && !f.session->isTicked(3));
}

void SessionTest::retestRefusedWhilePortOpen()
{
    SessionFixture f;
    f.pressConnect();
    f.port->deliver("\nSMA:2/1.0\r"); // "B" now in flight
    const QStringList log = f.port->log;
    f.tick(0);
    QCOMPARE(f.port->log, log);
    QCOMPARE(f.session->isTicked(0), false);
    QVERIFY(!f.session->isTicked(0));
    QCOMPARE(f.results(), QStringList({"Passed"}));
    QCOMPARE(f.session->testId(), qint16(1));
    QVERIFY(f.port->portOpen());
    // The run goes on as if nothing happened.
    f.port->deliver("\nEND:\r");
    QCOMPARE(f.sentCommands().last(), QString("I"));

    // An untick while a retest waits only records it; another tick is refused.
    SessionFixture g;
    ScriptedScale scale;
    g.answerWith(scale);
    g.pressConnect();
    QTRY_COMPARE(g.finishedRuns, 1);
    scale.silent = true;
    g.tick(0);
    QVERIFY(g.port->portOpen());
    g.tick(0, false);
    QVERIFY(!g.session->isTicked(0));
    QCOMPARE(g.session->isTicked(0), false);
    g.tick(1);
    QCOMPARE(g.session->isTicked(1), false);
    QCOMPARE(g.results().at(0), QString("Pending"));
    QCOMPARE(g.results().at(1), QString("Passed"));
}

void SessionTest::retestBeyondRowNinetyNineIsRefused()
{
    SessionFixture f;
    ScriptedScale scale;
    QString letters;
    for (int code = 0x21; letters.size() < 110; ++code)
        if (code != 'X')
            letters += QChar(code);
    scale.info = QStringList{"CMD:" + letters, "END:"};
    f.answerWith(scale);
    f.session->setAdditionalCommands("");
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    QVERIFY(f.cmds().size() > 101);
    QCOMPARE(f.cmds().size(), f.results().size());

    const QStringList results = f.results();
    const int frames = f.port->frames.size();
    f.tick(100);
    f.tick(105);
    QCOMPARE(f.port->frames.size(), frames);
    QCOMPARE(f.results(), results);
    QCOMPARE(f.session->isTicked(100), false);
    QCOMPARE(f.session->isTicked(105), false);
    QVERIFY(!f.port->portOpen());

    f.tick(99);
    QCOMPARE(f.session->testId(), qint16(199));
    QCOMPARE(f.results().at(99), QString("Pending"));
    QTRY_VERIFY(!f.port->portOpen());
    QVERIFY(f.results().at(99) != "Pending");
}

void SessionTest::retestOfDataEntryKeepsRowsAligned()
{
    SessionFixture f;
    ScriptedScale scale;
    scale.answers["T000001.000"] = " 1N       0.000kg ";
    scale.answers["Ulb "] = " 1G      11.079lb ";
    f.answerWith(scale);
    f.keyTare();
    QTRY_COMPARE(f.session->testId(), qint16(-1));
    f.setUnits();
    QTRY_COMPARE(f.results().size(), 2);
    QTRY_VERIFY(!f.port->portOpen());
    QCOMPARE(f.cmds(), QStringList({"<LF>T000001.000<CR>", "<LF>Ulb <CR>"}));
    QCOMPARE(f.results(), QStringList({"Passed", "Passed"}));

    // The scale now refuses the tare: the verdict must land on the tare entry.
    scale.answers["T000001.000"] = "?";
    f.tick(0);
    QCOMPARE(f.port->frames.last(), QByteArray("\nT000001.000\r"));
    QCOMPARE(f.cmds(), QStringList({"<LF>Ulb <CR>", "<LF>T000001.000<CR>"}));
    QCOMPARE(f.results(), QStringList({"Passed", "Pending"}));
    QTRY_COMPARE(f.results(), QStringList({"Passed", "Failed"}));
    QVERIFY(!f.port->portOpen());

    // The tick moved with its entry.
    QCOMPARE(f.session->isTicked(1), true);
    QCOMPARE(f.session->isTicked(0), false);
    QVERIFY(f.session->isTicked(1));
    QVERIFY(!f.session->isTicked(0));
    const int frames = f.port->frames.size();
    f.tick(1, false); // untick: nothing is sent
    QCOMPARE(f.port->frames.size(), frames);
    f.tick(0); // the units entry is tested, not mistaken for an untick
    QCOMPARE(f.port->frames.last(), QByteArray("\nUlb \r"));
    QTRY_VERIFY(!f.port->portOpen());
    QCOMPARE(f.cmds(), QStringList({"<LF>T000001.000<CR>", "<LF>Ulb <CR>"}));
    QCOMPARE(f.results(), QStringList({"Failed", "Passed"}));

    // A retest moves only its own entry, even where the listing rule would
    // take another entry with data for it (a tare value holding a "U").
    SessionFixture g;
    scale.answers["T0U1"] = " 1N       0.000kg ";
    g.answerWith(scale);
    g.setUnits();
    QTRY_VERIFY(!g.port->portOpen());
    g.tareValue = "0U1";
    g.keyTare();
    QTRY_VERIFY(!g.port->portOpen());
    g.tick(0); // the units entry goes to the end
    QTRY_VERIFY(!g.port->portOpen());
    QCOMPARE(g.cmds(), QStringList({"<LF>T0U1<CR>", "<LF>Ulb <CR>"}));
    scale.answers["Ulb "] = "?";
    g.tick(1, false);
    g.tick(1);
    QTRY_VERIFY(!g.port->portOpen());
    QCOMPARE(g.cmds(), QStringList({"<LF>T0U1<CR>", "<LF>Ulb <CR>"}));
    QCOMPARE(g.results(), QStringList({"Passed", "Failed"}));
}

void SessionTest::retestCanCompleteLevelOne()
{
    SessionFixture f;
    ScriptedScale scale;
    scale.answers["D"] = "?"; // diagnostics refused during the run
    f.answerWith(scale);
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    const int row = f.cmds().indexOf("<LF>D<CR>");
    QCOMPARE(f.results().at(row), QString("Failed"));
    QVERIFY(!f.session->CheckSMALevel1());
    QVERIFY(f.session->CheckSMALevel2());

    scale.answers["D"] = "    ";
    f.tick(row);
    QVERIFY(!f.session->CheckSMALevel1()); // "Pending" does not count
    QTRY_COMPARE(f.results().at(row), QString("Passed"));
    QVERIFY(f.session->CheckSMALevel1());

    // A new connection empties the lists: nothing is verified any more.
    f.port->responder = nullptr;
    f.pressConnect();
    QVERIFY(!f.session->CheckSMALevel1());
    QVERIFY(!f.session->CheckSMALevel2());
}

void SessionTest::retestTimeOutAndLateAnswer()
{
    SessionFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    scale.silent = true;
    f.tick(0);
    QCOMPARE(f.results().at(0), QString("Pending"));
    f.session->onResponseTimeout();
    QCOMPARE(f.results().at(0), QString("Failed"));
    QCOMPARE(f.status(), QString("Failure"));
    QVERIFY(!f.port->portOpen());

    // An answer arriving after the time-out is thrown away by the next retest.
    f.port->deliver("\n?\r");
    scale.silent = false;
    f.tick(0, false);
    f.tick(0);
    QTRY_VERIFY(!f.port->portOpen());
    QCOMPARE(f.results().at(0), QString("Passed"));
    QCOMPARE(f.cmds().size(), f.results().size());
}

void SessionTest::retestWhosePortWillNotOpen()
{
    SessionFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    f.port->failOpen = {OpenFailure::NoSuchDevice, "/dev/ttyTEST0", "no such device."};
    const int frames = f.port->frames.size();
    f.tick(2);
    QCOMPARE(f.messages.last(), QString("Error opening serial port\n/dev/ttyTEST0: no such "
                                        "device."));
    QCOMPARE(f.port->frames.size(), frames);
    QCOMPARE(f.results().at(2), QString("Passed"));
    QCOMPARE(f.session->isTicked(2), false);
    QVERIFY(!f.session->isTicked(2));
    // Once the device is back, the same tick works.
    f.port->failOpen = {};
    f.tick(2);
    QCOMPARE(f.port->frames.size(), frames + 1);
}

void SessionTest::tareAndUnitsBytes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("tare");
    QTest::addColumn<int>("unitIndex");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("entry");
    QTest::newRow("initial tare") << "KeyTare"
                                  << "000001.000" << 0
                                  << QByteArray::fromHex("0a54303030303031 2e3030300d")
                                  << "<LF>T000001.000<CR>";
    QTest::newRow("tare cut at the marker")
        << "KeyTare"
        << "000001.000<CR>junk" << 0 << QByteArray("\nT000001.000\r") << "<LF>T000001.000<CR>";
    QTest::newRow("tare starting with the marker")
        << "KeyTare"
        << "<CR>xyz" << 0 << QByteArray("\nT<CR>xyz\r") << "<LF>T<CR>xyz<CR>";
    QTest::newRow("empty tare") << "KeyTare"
                                << "" << 0 << QByteArray::fromHex("0a540d") << "<LF>T<CR>";
    QTest::newRow("units lb") << "SetUnits"
                              << "" << 0 << QByteArray::fromHex("0a556c62200d") << "<LF>Ulb <CR>";
    QTest::newRow("units g") << "SetUnits"
                             << "" << 4 << QByteArray::fromHex("0a556720200d") << "<LF>Ug  <CR>";
    QTest::newRow("units blanks") << "SetUnits"
                                  << "" << 25 << QByteArray::fromHex("0a552020200d")
                                  << "<LF>U   <CR>";
}

void SessionTest::tareAndUnitsBytes()
{
    QFETCH(QString, button);
    QFETCH(QString, tare);
    QFETCH(int, unitIndex);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, entry);

    SessionFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    f.tareValue = tare;
    f.unitCode = smaUnitCodes().at(unitIndex);
    button == "KeyTare" ? f.keyTare() : f.setUnits();

    QCOMPARE(f.port->log.mid(0, 8),
             QStringList({"CommPort=/dev/ttyTEST0", "Settings=9600,n,8,1", "RThreshold=0",
                          "SThreshold=0", "PortOpen=1", "Input", "RThreshold=1", "SThreshold=1"}));
    QCOMPARE(f.port->written, bytes);
    QCOMPARE(f.cmds(), QStringList({entry}));
    QCOMPARE(f.session->testId(), qint16(button == "KeyTare" ? 200 : 300));
    QCOMPARE(f.status(), QString("Testing"));
    QVERIFY(f.timer()->isActive());
    QTRY_COMPARE(f.results().size(), 1);
    QVERIFY(!f.port->portOpen());
    QCOMPARE(f.status(), QString("Not connected"));
    QCOMPARE(f.session->testId(), qint16(-1));
    QVERIFY(f.finishedRuns == 0);
}

void SessionTest::twoUnitsTestsLeaveOneEntry()
{
    SessionFixture f;
    ScriptedScale scale;
    scale.answers["Ukg "] = " 1G       2.268kg ";
    f.answerWith(scale);
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    const int plainEntries = f.cmds().size();

    f.setUnits(); // "lb " is refused by this scale
    QTRY_VERIFY(!f.port->portOpen());
    QCOMPARE(f.cmds().last(), QString("<LF>Ulb <CR>"));
    QCOMPARE(f.results().last(), QString("Failed"));
    f.keyTare();
    QTRY_VERIFY(!f.port->portOpen());
    f.unitCode = smaUnitCodes().at(3);
    f.setUnits();
    QTRY_VERIFY(!f.port->portOpen());

    QCOMPARE(f.cmds().size(), plainEntries + 2);
    QCOMPARE(f.cmds().mid(plainEntries), QStringList({"<LF>T000001.000<CR>", "<LF>Ukg <CR>"}));
    QCOMPARE(f.results().size(), f.cmds().size());
    QCOMPARE(f.results().last(), QString("Passed"));
}

void SessionTest::emptyTareOnListedPlainTare()
{
    SessionFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    f.pressConnect();
    QTRY_COMPARE(f.finishedRuns, 1);
    const int row = f.cmds().indexOf("<LF>T<CR>");
    QVERIFY(row >= 0);
    QCOMPARE(f.results().at(row), QString("Passed"));
    const QStringList cmds = f.cmds();

    scale.answers["T"] = "?";
    f.tareValue = "";
    f.keyTare();
    QCOMPARE(f.port->frames.last(), QByteArray::fromHex("0a540d"));
    QCOMPARE(f.results().at(row), QString("Pending"));
    QTRY_VERIFY(!f.port->portOpen());
    QCOMPARE(f.cmds(), cmds);
    QCOMPARE(f.results().size(), cmds.size());
    QCOMPARE(f.results().at(row), QString("Failed"));
}

void SessionTest::singleTestsDoNothingWhilePortOpen()
{
    SessionFixture f;
    f.pressConnect();
    const QStringList log = f.port->log;
    const QStringList cmds = f.cmds();
    f.keyTare();
    f.setUnits();
    QCOMPARE(f.port->log, log);
    QCOMPARE(f.cmds(), cmds);
    QCOMPARE(f.status(), QString("Connected"));
    QCOMPARE(f.session->testId(), qint16(1));
    QVERIFY(f.finishedRuns == 0);
    QVERIFY(f.messages.size() == 1); // only the opening message
}

void SessionTest::singleTestsReadPortAtEveryPress()
{
    SessionFixture f;
    ScriptedScale scale;
    f.answerWith(scale);
    f.keyTare();
    QTRY_VERIFY(!f.port->portOpen());
    QCOMPARE(f.port->commPort(), QString("/dev/ttyTEST0"));
    f.portText = "3";
    f.setUnits();
    QTRY_VERIFY(!f.port->portOpen());
#ifdef Q_OS_WIN
    QCOMPARE(f.port->commPort(), QString("COM3"));
#else
    QCOMPARE(f.port->commPort(), QString("/dev/ttyS2"));
#endif
    // Before any connection, the single tests are the first rows.
    QCOMPARE(f.cmds(), QStringList({"<LF>T000001.000<CR>", "<LF>Ulb <CR>"}));
    QCOMPARE(f.results().size(), 2);
}

void SessionTest::singleTestWhosePortWillNotOpen()
{
    SessionFixture f;
    f.port->failOpen = {OpenFailure::Busy, "/dev/ttyTEST0", "the port is busy."};
    f.keyTare();
    QCOMPARE(f.messages,
             QStringList({"Error opening serial port\n/dev/ttyTEST0: the port is busy."}));
    QVERIFY(f.cmds().isEmpty());
    QVERIFY(f.port->frames.isEmpty());
    QVERIFY(!f.timer()->isActive());

    f.port->failOpen = {};
    f.portText = "COM";
    f.setUnits();
    QCOMPARE(f.messages.size(), 2);
    QVERIFY(f.messages.last().startsWith("Error opening serial port\nCOM: "));
    QVERIFY(f.port->frames.isEmpty());
}

void SessionTest::singleTestsTimeOut()
{
    SessionFixture f;
    f.keyTare();
    f.session->onResponseTimeout();
    f.setUnits();
    QCOMPARE(f.status(), QString("Testing"));
    f.session->onResponseTimeout();
    QCOMPARE(f.cmds(), QStringList({"<LF>T000001.000<CR>", "<LF>Ulb <CR>"}));
    QCOMPARE(f.results(), QStringList({"Failed", "Failed"}));
    QCOMPARE(f.status(), QString("Failure"));
    QVERIFY(!f.port->portOpen());
}

void SessionTest::tareValueOutsideLatin1IsRefused_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("refused"); // the character the message names
    QTest::newRow("last") << QString::fromUtf8("5\u20ac") << QString::fromUtf8("\u20ac");
    QTest::newRow("first") << QString::fromUtf8("\u20ac5") << QString::fromUtf8("\u20ac");
}

void SessionTest::tareValueOutsideLatin1IsRefused()
{
    QFETCH(QString, value);
    QFETCH(QString, refused);
    SessionFixture f;
    f.tareValue = value;
    f.keyTare();
    QCOMPARE(f.messages.size(), 1);
    QVERIFY2(f.messages.first().startsWith(QStringLiteral("The tare value cannot be sent\n\"") +
                                           value + QStringLiteral("\" holds \"") + refused +
                                           QLatin1Char('"')),
             qPrintable(f.messages.first()));
    QVERIFY(f.port->log.isEmpty());
    QVERIFY(f.cmds().isEmpty());
    // Latin-1 goes out byte for byte.
    ScriptedScale scale;
    f.answerWith(scale);
    f.tareValue = QString::fromUtf8("5\u00b0");
    f.keyTare();
    QCOMPARE(f.port->written, QByteArray("\nT5\xb0\r"));
}

QTEST_MAIN(SessionTest)
#include "tst_session.moc"
