#include "SessionFixture.h"

#include <QtTest>

// Findings drawn from whole runs against scripted scales: each row is a scale
// with one fault (or none) and the findings that must come of it.
class FindingsTest : public QObject
{
    Q_OBJECT
private slots:
    void findings_data();
    void findings();
};

using Tweak = std::function<void(ScriptedScale &, SessionFixture &)>;
Q_DECLARE_METATYPE(Tweak)

void FindingsTest::findings_data()
{
    QTest::addColumn<Tweak>("tweak");
    QTest::addColumn<QStringList>("codes");   // besides "slowest-answer", which every run has
    QTest::addColumn<QByteArray>("evidence"); // of the first of them
    QTest::addColumn<int>("count");           // how often the first of them was found

    const auto row = [](const char *name, Tweak tweak, QStringList codes, QByteArray evidence,
                        int count = 1) {
        QTest::newRow(name) << tweak << codes << evidence << count;
    };
    // What each weight answer says of its command. Z, W, H and M are
    // published and sent again among the additional commands (or, W, at the
    // end), so each is answered twice, and found twice.
    const auto answer = [&row](const char *name, const QString &command, const QString &text,
                               const QStringList &codes, int count = 1) {
        row(
            name,
            [command, text](ScriptedScale &s, SessionFixture &) { s.answers[command] = text; },
            codes, codes.isEmpty() ? QByteArray() : '\n' + text.toLatin1() + '\r', count);
    };
    answer("Z without centre of zero", "Z", " 1G       0.000kg ", {"zero-not-centred"}, 2);
    answer("Z refused with E", "Z", "E1G  ----------kg ", {});
    answer("Z refused with another status", "Z", " 1G  ----------kg ", {"zero-not-centred"}, 2);
    answer("T answered gross", "T", " 1G       5.025kg ", {"tare-not-net"});
    answer("T refused with T", "T", "T1G  ----------kg ", {});
    answer("T refused with another status", "T", "E1G  ----------kg ", {"tare-not-net"});
    answer("M answered gross", "M", " 1G       0.000kg ", {"memory-not-tare"}, 2);
    answer("C answered net", "C", " 1N       5.025kg ", {"clear-not-gross"});
    answer("U in the unit of the answer before", "U", " 1G       5.025kg ", {"unit-unchanged"});
    answer("U in the next unit", "U", " 1G      11.078lb ", {});
    answer("H in upper case", "H", " 1G      5.0250kg ", {"high-res-case"}, 2);
    answer("P in motion", "P", " 1GM      5.025kg ", {"stable-in-motion"});
    answer("Q in upper case and in motion", "Q", " 1GM     5.0250kg ",
           {"high-res-case", "stable-in-motion"});
    answer("S in lower case", "S", " 1n      0.0000kg ", {});
    answer("Q refused after no stable weight", "Q", " 1g  ----------   ", {});
    row("a compliant scale", [](ScriptedScale &, SessionFixture &) {}, {}, {});
    row(
        "answers end with CR LF", [](ScriptedScale &s, SessionFixture &) { s.lineEnd = "\r\n"; },
        {"answer-crlf"}, "\nSMA:2/1.0\r\n");
    row(
        "a line the scale sends by itself",
        [](ScriptedScale &, SessionFixture &f) {
            f.whileMessageShows = [&f] { f.port->deliver("\nPOWER ON\r"); };
        },
        {"unasked-line"}, "\nPOWER ON\r");
    row(
        "a weight answer with a control character",
        [](ScriptedScale &s, SessionFixture &) { s.answers["W"] = " 1G \x02     5.025kg "; },
        {"answer-control-characters", "weight-frame"}, "\n 1G \x02     5.025kg \r");
    row(
        "About without its SMA: line",
        [](ScriptedScale &s, SessionFixture &) {
            s.about = {"MFG:ACME", "END:"};
        },
        {"about-no-sma-line"}, "MFG:ACME");
    row(
        "About ended by ?",
        [](ScriptedScale &s, SessionFixture &) {
            s.about = {"SMA:2/1.0", "REV:1"};
        },
        {"about-no-end-line"}, "REV:1");
    row(
        "levels differ",
        [](ScriptedScale &s, SessionFixture &) {
            s.about = {"SMA:1/1.0", "END:"};
            s.info = {"SMA:2/1.0", "CMD:H", "END:"};
        },
        {"sma-level-mismatch"}, "SMA:2/1.0");
    row(
        "a CMD: letter that is no command",
        [](ScriptedScale &s, SessionFixture &) {
            s.info = {"SMA:2/1.0", "CMD:HJ", "END:"};
        },
        {"cmd-unknown-letter"}, "CMD:HJ");
    row(
        "a CMD: letter twice",
        [](ScriptedScale &s, SessionFixture &) {
            s.info = {"SMA:2/1.0", "CMD:HMH", "END:"};
        },
        {"cmd-duplicate-letter"}, "CMD:HMH");
    row(
        "a weight answer one character short",
        [](ScriptedScale &s, SessionFixture &) { s.answers["W"] = " 1G       5.025kg"; },
        {"weight-frame"}, "\n 1G       5.025kg\r", 2);
    row(
        "a unit sent right-justified",
        [](ScriptedScale &s, SessionFixture &) { s.answers["W"] = " 1G       5.025 kg"; },
        {"weight-unit"}, "\n 1G       5.025 kg\r", 2);
    row(
        "a weight stream of short frames that never shows every flag",
        [](ScriptedScale &s, SessionFixture &f) {
            f.afterRun = [&s, &f] {
                s.answers["W"] = " 1G       5.025kg";
                f.runWeightStream(s, 3);
            };
        },
        {"weight-frame", "weight-stream-flags-unseen"}, "\n 1G       5.025kg\r", 3);
    row("a communication error in answer to W",
        [](ScriptedScale &s, SessionFixture &) { s.answers["W"] = "!"; }, {}, {});
    row(
        "lines without a leading LF",
        [](ScriptedScale &s, SessionFixture &) {
            s.lineStart = "";
            s.lineEnd = "\r\n";
        },
        {"answer-no-leading-lf"}, "SMA:2/1.0\r");
}

void FindingsTest::findings()
{
    QFETCH(Tweak, tweak);
    QFETCH(QStringList, codes);
    QFETCH(QByteArray, evidence);
    QFETCH(int, count);

    SessionFixture f;
    ScriptedScale scale;
    tweak(scale, f);
    f.answerWith(scale);
    // W answers later than every other command: the slowest answer is known.
    const auto answer = f.port->responder;
    f.port->responder = [&f, answer](const QByteArray &frame) -> QByteArray {
        if (frame != "\nW\r")
            return answer(frame);
        QTimer::singleShot(50, f.port, [&f, late = answer(frame)] { f.port->deliver(late); });
        return {};
    };
    QSignalSpy finished(f.session.get(), &SmaSession::runFinished);
    f.pressConnect();
    if (scale.lineStart.isEmpty()) {
        QTest::qWait(20);
        f.session->onResponseTimeout(); // nothing is ever an answer
    } else {
        QVERIFY(finished.wait());
    }
    // The slowest answer of the run, before anything after it changes the scale.
    const QByteArray slowAnswer = '\n' + scale.answers.value("W").toLatin1() + '\r';
    if (f.afterRun)
        f.afterRun();

    const QList<Finding> findings = f.session->findings();
    QStringList found;
    for (const Finding &finding : findings) {
        if (finding.code != "slowest-answer")
            found << finding.code;
        QVERIFY(!finding.message.isEmpty());
    }
    QCOMPARE(found, codes);
    if (!codes.isEmpty()) {
        QCOMPARE(findings.first().evidence, evidence);
        QCOMPARE(findings.first().count, count);
    }
    if (!scale.lineStart.isEmpty()) {
        QCOMPARE(findings.last().code, QString("slowest-answer"));
        QCOMPARE(severityText(findings.last().severity), QString("note"));
        QVERIFY2(
            findings.last().message.startsWith("The slowest answer was the one to <LF>W<CR>: "),
            qPrintable(findings.last().message));
        QCOMPARE(findings.last().evidence, slowAnswer);
    }
}

QTEST_GUILESS_MAIN(FindingsTest)
#include "tst_findings.moc"
