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

    const auto row = [](const char *name, Tweak tweak, QStringList codes, QByteArray evidence) {
        QTest::newRow(name) << tweak << codes << evidence;
    };
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
        {"weight-frame"}, "\n 1G       5.025kg\r");
    row(
        "a unit sent right-justified",
        [](ScriptedScale &s, SessionFixture &) { s.answers["W"] = " 1G       5.025 kg"; },
        {"weight-unit"}, "\n 1G       5.025 kg\r");
    row(
        "a weight stream of short frames that never shows every flag",
        [](ScriptedScale &s, SessionFixture &f) {
            f.afterRun = [&s, &f] {
                s.answers["W"] = " 1G       5.025kg";
                f.runWeightStream(s, 3);
            };
        },
        {"weight-frame", "weight-stream-flags-unseen"}, "\n 1G       5.025kg\r");
    row(
        "lines without a leading LF",
        [](ScriptedScale &s, SessionFixture &) {
            s.lineStart = "";
            s.lineEnd = "\r\n";
        },
        {"answer-no-leading-lf", "about-no-sma-line"}, "SMA:2/1.0\r");
}

void FindingsTest::findings()
{
    QFETCH(Tweak, tweak);
    QFETCH(QStringList, codes);
    QFETCH(QByteArray, evidence);

    SessionFixture f;
    ScriptedScale scale;
    tweak(scale, f);
    f.answerWith(scale);
    f.pressConnect();
    if (scale.lineStart.isEmpty()) {
        QTest::qWait(20);
        f.session->onResponseTimeout(); // nothing is ever an answer
    } else {
        QTRY_COMPARE(f.finishedRuns, 1);
    }
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
    if (!codes.isEmpty())
        QCOMPARE(findings.first().evidence, evidence);
    if (!scale.lineStart.isEmpty()) {
        QCOMPARE(findings.last().code, QString("slowest-answer"));
        QCOMPARE(severityText(findings.last().severity), QString("note"));
    }
}

QTEST_GUILESS_MAIN(FindingsTest)
#include "tst_findings.moc"
