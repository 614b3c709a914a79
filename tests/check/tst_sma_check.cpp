#include "FakeReportSource.h"
#include "PdfText.h"
#include "PtyScale.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

// sma-check as CI runs it: the built program in a process of its own, with no
// display and no platform chosen, against the simulated scale served here.
class SmaCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void compliantScale();
    void nonCompliantScales_data();
    void nonCompliantScales();
    void checkThatCannotRun_data();
    void checkThatCannotRun();
    void comparedWithAnEarlierCheck_data();
    void comparedWithAnEarlierCheck();
    void recordingThatFails_data();
    void recordingThatFails();

private:
    QTemporaryDir m_records; // every check of these tests is recorded here
};

namespace {

const QStringList VerifiedVerdicts = {"SMA Weight stream verified correct",
                                      "SMA Level 1 Compliance Verified( ABDWZ )",
                                      "SMA Level 2 commands supported ( HPTMCU )"};
const QStringList NotVerifiedVerdicts = {"Weight stream not verified",
                                         "SMA Level 1 Compliance Not Verified"};

struct Run
{
    int exit = -1;
    QByteArray out;
    QString err;
};

// Runs sma-check while the event loop serves the scale. The deadline only
// keeps a hung check from hanging the test.
Run runCheck(const QStringList &arguments, const QString &database = {})
{
    QProcess check;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    if (!database.isEmpty())
        environment.insert("SMA_DB", database);
    check.setProcessEnvironment(environment);
    check.start(QStringLiteral(SMA_CHECK), arguments);
    QDeadlineTimer deadline(90000);
    while (check.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    Run run;
    if (check.state() != QProcess::NotRunning) {
        check.kill();
        check.waitForFinished();
        run.err = QStringLiteral("sma-check did not end\n");
    } else if (check.exitStatus() == QProcess::NormalExit) {
        run.exit = check.exitCode();
    }
    run.out = check.readAllStandardOutput();
    run.err += QString::fromUtf8(check.readAllStandardError());
    return run;
}

QStringList stdoutLines(const QByteArray &out)
{
    QStringList lines = QString::fromUtf8(out).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast(); // the last line's own end
    return lines;
}

QStringList strings(const QJsonValue &array)
{
    QStringList list;
    for (const QJsonValue &value : array.toArray())
        list << value.toString();
    return list;
}

QJsonObject readJson(const QByteArray &bytes, QString *error)
{
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject())
        *error = parse.errorString();
    return document.object();
}

QJsonObject readJsonFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    return readJson(file.readAll(), error);
}

QJsonObject commandEntry(const QJsonObject &json, const QString &command)
{
    for (const QJsonValue &entry : json.value("commands").toArray()) {
        if (entry.toObject().value("command").toString() == command)
            return entry.toObject();
    }
    return {};
}

// What a CI server reads from the JUnit file.
struct JUnit
{
    QString error;
    int suites = 0;
    QStringList cases;    // test case names, in order
    QStringList failures; // "name: message"
    QStringList skipped;
};

JUnit readJUnit(const QString &path)
{
    JUnit junit;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        junit.error = file.errorString();
        return junit;
    }
    QXmlStreamReader xml(&file);
    QString testCase;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"testsuite")
            ++junit.suites;
        else if (xml.name() == u"testcase")
            junit.cases << (testCase = xml.attributes().value("name").toString());
        else if (xml.name() == u"failure")
            junit.failures << testCase + ": " + xml.attributes().value("message").toString();
        else if (xml.name() == u"skipped")
            junit.skipped << testCase;
    }
    if (xml.hasError())
        junit.error = xml.errorString();
    return junit;
}

} // namespace

void SmaCheckTest::initTestCase()
{
    QVERIFY(m_records.isValid());
    qputenv("SMA_DB", m_records.filePath("default.sqlite").toUtf8());
}

// The default simulated scale publishes HPTMCU and steps through every weight
// state, so the weight stream analysis passes by itself.
void SmaCheckTest::compliantScale()
{
    PtyScale scale;
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString junitFile = dir.filePath("check.xml");
    const QString pdfFile = dir.filePath("check.pdf");
    const QString traceFile = dir.filePath("check.trace");
    const Run run =
        runCheck({"--port", scale.devicePath(), "--tare", "000001.000", "--units", "kg", "--json",
                  "-", "--junit", junitFile, "--pdf", pdfFile, "--trace", traceFile});
    QVERIFY2(run.exit == 0, qPrintable(run.err));

    QString error;
    const QJsonObject json = readJson(run.out, &error); // stdout holds the JSON and nothing else
    QVERIFY2(error.isEmpty(), qPrintable(error + "\n" + run.out));
    QCOMPARE(json.value("port").toString(), scale.devicePath());
    QCOMPARE(strings(json.value("about")).first(), QString("SMA:2/1.0"));
    QVERIFY(strings(json.value("info")).contains("CMD:HPTMCU"));
    QCOMPARE(json.value("published").toString(), QString("HPTMCU"));
    QCOMPARE(json.value("level2_commands").toString(), QString("HPTMCU"));
    QStringList printable;
    for (const QJsonValue &entry : json.value("commands").toArray())
        printable << entry.toObject().value("printable").toString().mid(4, 1);
    QCOMPARE(printable.join(' '), QString("A B I N Z H P T M C U Q R S W D T U"));

    const QJsonObject about = commandEntry(json, "A");
    QCOMPARE(about.value("printable").toString(), QString("<LF>A<CR>"));
    QCOMPARE(about.value("result").toString(), QString("Passed"));
    QCOMPARE(about.value("answer").toString(), QString("SMA:2/1.0"));
    QVERIFY(about.value("ms").isDouble());
    QCOMPARE(
        about.value("evidence").toString(),
        QString::fromUtf8("Passed — \"SMA:2/1.0\" after %1 ms").arg(about.value("ms").toInteger()));
    const QJsonObject refused = commandEntry(json, "Q");
    QCOMPARE(refused.value("result").toString(), QString("Failed"));
    QCOMPARE(refused.value("answer").toString(), QString("?"));
    QVERIFY2(refused.value("evidence").toString().endsWith(" ms (not published)"),
             qPrintable(refused.value("evidence").toString()));

    // Both single tests ran after the discovery run, the unit padded to three.
    QVERIFY(scale.received().contains("\nD\r\nT000001.000\r\nUkg \r"));
    const QJsonObject tare = json.value("tare").toObject();
    QCOMPARE(tare.value("command").toString(), QString("T000001.000"));
    QCOMPARE(tare.value("result").toString(), QString("Passed"));
    QCOMPARE(json.value("units").toObject().value("printable").toString(), QString("<LF>Ukg <CR>"));

    QCOMPARE(json.value("weight_stream").toString(), QString("verified"));
    QCOMPARE(strings(json.value("flags_seen")),
             QStringList({"Zero Flag", "Motion Flag", "Overcap Flag", "Gross Flag", "Net Flag",
                          "Tare Operation"}));
    QCOMPARE(json.value("level1").toBool(), true);
    QCOMPARE(json.value("exit").toInt(-1), 0);
    const QStringList report = strings(json.value("report"));
    QCOMPARE(report.mid(report.size() - 3), VerifiedVerdicts);
    QVERIFY(report.contains("<LF>Ukg <CR>\t\t\t\t\tPassed"));

    // Progress and instructions went to standard error, one line per verdict.
    QVERIFY2(run.err.contains("Set the device to 9600,8,N,1 and verify center of zero\n") &&
                 run.err.contains(QString::fromUtf8("\n<LF>Q<CR>  Failed — \"?\" after ")) &&
                 run.err.contains("Place a tareable weight on the scale and press Ok to "
                                  "continue\n") &&
                 run.err.contains("Operate the scale to check all the boxes\n"),
             qPrintable(run.err));

    // The traffic as the Serial Traffic window shows it, and what it says
    // beyond the verdicts: of this scale only which answer was slowest.
    QFile trace(traceFile);
    QVERIFY(trace.open(QIODevice::ReadOnly));
    const QStringList traced = QString::fromUtf8(trace.readAll()).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(traced.value(0).endsWith(" ms  TX  <LF>A<CR>"), qPrintable(traced.value(0)));
    QVERIFY2(traced.value(1).contains(" ms  RX  <LF>SMA:2/1.0<CR>  (answer to <LF>A<CR> after "),
             qPrintable(traced.value(1)));
    const QJsonArray findings = json.value("findings").toArray();
    QCOMPARE(findings.size(), 1);
    const QJsonObject slowest = findings.first().toObject();
    QCOMPARE(slowest.value("severity").toString(), QString("note"));
    QCOMPARE(slowest.value("code").toString(), QString("slowest-answer"));
    QVERIFY(slowest.value("message").toString().startsWith("The slowest answer was the one to "));
    QVERIFY(slowest.value("evidence").toString().startsWith("<LF>"));

    // One case per tested command and one for the weight stream; the three
    // additional commands the scale refuses fail with their evidence.
    const JUnit junit = readJUnit(junitFile);
    QVERIFY2(junit.error.isEmpty(), qPrintable(junit.error));
    QCOMPARE(junit.suites, 1);
    const QJsonArray commands = json.value("commands").toArray();
    QCOMPARE(junit.cases.size(), commands.size() + 1);
    QCOMPARE(junit.cases.last(), QString("Weight stream"));
    QStringList expectedFailures;
    for (const char *letter : {"Q", "R", "S"})
        expectedFailures << QStringLiteral("<LF>%1<CR>: ").arg(letter) +
                                commandEntry(json, letter).value("evidence").toString();
    QCOMPARE(junit.failures, expectedFailures);
    QVERIFY(junit.skipped.isEmpty());

    // The PDF holds the very lines of the report, each page with its footer.
    if (!PdfText::available())
        QSKIP("pdftotext is needed to read the PDF back");
    QStringList printed = report;
    printed.removeAll(QString());
    FakeReportSource footer; // the port and time every page's footer names
    footer.port = scale.devicePath();
    footer.ended = QDateTime::fromString(json.value("ended").toString(), Qt::ISODate);
    QVERIFY(footer.ended.isValid());
    const QString mismatch = PdfText::firstMismatch(PdfText::extract(pdfFile), printed, footer);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void SmaCheckTest::nonCompliantScales_data()
{
    QTest::addColumn<bool>("rejectAll");
    QTest::addColumn<bool>("cycleWeights");
    QTest::addColumn<QString>("silentAfter"); // the scale stops answering at this command
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("weightStream");

    QTest::newRow("refuses everything, stream skipped")
        << true << true << QString() << QStringList{"--weight-stream", "skip", "--quiet"}
        << "skipped";
    QTest::newRow("silent after Z: no tare, no stream")
        << false << true << "Z" << QStringList{"--tare", "000001.000"} << "not verified";
    QTest::newRow("weight never moves: stream runs out of time")
        << false << false << QString() << QStringList{"--stream-timeout", "2"} << "not verified";
}

void SmaCheckTest::nonCompliantScales()
{
    QFETCH(bool, rejectAll);
    QFETCH(bool, cycleWeights);
    QFETCH(QString, silentAfter);
    QFETCH(QStringList, options);
    QFETCH(QString, weightStream);

    ScaleOptions scaleOptions;
    scaleOptions.rejectAll = rejectAll;
    scaleOptions.cycleWeights = cycleWeights;
    PtyScale scale(scaleOptions);
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    if (!silentAfter.isEmpty()) {
        const QByteArray frame = '\n' + silentAfter.toLatin1() + '\r';
        connect(&scale, &PtyScale::bytesReceived, &scale, [&scale, frame](const QByteArray &bytes) {
            if (bytes.contains(frame)) {
                ScaleOptions silent = scale.model().options();
                silent.silent = true;
                scale.model().setOptions(silent);
            }
        });
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Run run =
        runCheck(QStringList{"--port", scale.devicePath(), "--json", dir.filePath("check.json"),
                             "--junit", dir.filePath("check.xml")} +
                 options);
    QVERIFY2(run.exit == 1, qPrintable(run.err));
    if (options.contains("--quiet"))
        QVERIFY2(!run.err.contains(QString::fromUtf8(" — ")), qPrintable(run.err));

    QString error;
    const QJsonObject json = readJsonFile(dir.filePath("check.json"), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(json.value("exit").toInt(-1), 1);
    QCOMPARE(json.value("weight_stream").toString(), weightStream);
    const QStringList report = stdoutLines(run.out);
    QCOMPARE(report, strings(json.value("report")));
    QCOMPARE(report.mid(report.size() - 2), NotVerifiedVerdicts);

    const QJsonArray commands = json.value("commands").toArray();
    QStringList results;
    for (const QJsonValue &entry : commands)
        results << entry.toObject().value("result").toString();
    const JUnit junit = readJUnit(dir.filePath("check.xml"));
    QVERIFY2(junit.error.isEmpty(), qPrintable(junit.error));
    QCOMPARE(junit.cases.size(), commands.size() + 1);

    if (rejectAll) {
        QCOMPARE(json.value("level1").toBool(true), false);
        QCOMPARE(results.count("Failed"), results.size());
        QCOMPARE(junit.failures.size(), commands.size());
        QCOMPARE(junit.skipped, QStringList{"Weight stream"});
    } else if (!silentAfter.isEmpty()) {
        // The run ended at the silent command by the session's own time-out.
        QCOMPARE(json.value("level1").toBool(true), false);
        const QJsonObject last = commands.last().toObject();
        QCOMPARE(last.value("command").toString(), silentAfter);
        QCOMPARE(last.value("evidence").toString(),
                 QString::fromUtf8("Failed — no answer within 3000 ms"));
        QVERIFY(last.value("answer").isNull() && last.value("ms").isNull());
        QCOMPARE(results.count("Failed"), 1);
        QVERIFY(json.value("tare").isNull());
        QVERIFY(!scale.received().contains("\nT000001.000\r"));
        QVERIFY(json.value("flags_seen").toArray().isEmpty());
        QVERIFY2(run.err.contains("Failure"), qPrintable(run.err));
        QCOMPARE(junit.failures, QStringList({"<LF>Z<CR>: " + last.value("evidence").toString(),
                                              "Weight stream: Weight stream not verified"}));
    } else {
        // Level 1 passed, but a scale that never moves cannot show every flag.
        QCOMPARE(json.value("level1").toBool(false), true);
        const QStringList seen = strings(json.value("flags_seen"));
        QVERIFY(!seen.contains("Motion Flag") && !seen.contains("Overcap Flag"));
        QVERIFY2(run.err.contains("Weight stream not verified within 2 s; not seen: "),
                 qPrintable(run.err));
        QVERIFY(junit.failures.endsWith("Weight stream: Weight stream not verified"));
    }
}

void SmaCheckTest::checkThatCannotRun_data()
{
    const QString noPort = QStringLiteral("/dev/sma-check-no-such-port");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("saying"); // all of it on standard error

    QTest::newRow("port that does not exist")
        << QStringList{"--port", noPort}
        << QStringList{"Error opening serial port\n" + noPort + ": "};
    QTest::newRow("no port") << QStringList{} << QStringList{"--port", "Usage:"};
    QTest::newRow("unknown unit code")
        << QStringList{"--port", noPort, "--units", "KG"} << QStringList{"KG", "Usage:"};
    QTest::newRow("unknown weight stream mode")
        << QStringList{"--port", noPort, "--weight-stream", "maybe"}
        << QStringList{"maybe", "Usage:"};
    QTest::newRow("stream time-out not a number")
        << QStringList{"--port", noPort, "--stream-timeout", "soon"}
        << QStringList{"soon", "Usage:"};
    QTest::newRow("unknown option")
        << QStringList{"--port", noPort, "--loud"} << QStringList{"loud", "Usage:"};
    QTest::newRow("regressions without a comparison")
        << QStringList{"--port", noPort, "--fail-on-regression"}
        << QStringList{"--fail-on-regression needs --compare-to.", "Usage:"};
    QTest::newRow("comparison with a file that is no check")
        << QStringList{"--port", noPort, "--compare-to", QStringLiteral(SMA_CHECK)}
        << QStringList{"The check to compare with cannot be read: " + QStringLiteral(SMA_CHECK) +
                       " is no check that sma-check --json wrote"};
}

void SmaCheckTest::checkThatCannotRun()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, saying);
    const Run run = runCheck(arguments);
    QCOMPARE(run.exit, 2);
    QVERIFY2(run.out.isEmpty(), run.out.constData());
    for (const QString &text : saying)
        QVERIFY2(run.err.contains(text), qPrintable(run.err));
}

void SmaCheckTest::comparedWithAnEarlierCheck_data()
{
    QTest::addColumn<QString>("compareTo");
    QTest::addColumn<bool>("failOnRegression");
    QTest::addColumn<int>("exit");

    QTest::newRow("the scale's last check") << "last" << true << 1;
    QTest::newRow("the scale's last check, regressions allowed") << "last" << false << 0;
    QTest::newRow("a recorded check by its id") << "1" << true << 1;
    QTest::newRow("a JSON file --json wrote") << "first.json" << true << 1;
}

// A scale whose new firmware no longer publishes U: compared with its
// earlier check, the check names the command that now fails.
void SmaCheckTest::comparedWithAnEarlierCheck()
{
    QFETCH(QString, compareTo);
    QFETCH(bool, failOnRegression);
    QFETCH(int, exit);
    // The earlier check is made once; each row compares with a copy of its record.
    const QString firstDatabase = m_records.filePath("first.sqlite");
    const QString firstJson = m_records.filePath("first.json");
    if (!QFile::exists(firstJson)) {
        PtyScale before;
        QVERIFY2(before.start(), qPrintable(before.errorString()));
        const Run first = runCheck({"--port", before.devicePath(), "--weight-stream", "skip",
                                    "--db", firstDatabase, "--json", firstJson});
        QVERIFY2(first.exit == 0, qPrintable(first.err));
    }
    const QString database = m_records.filePath(QTest::currentDataTag()) + ".sqlite";
    QVERIFY(QFile::copy(firstDatabase, database));

    ScaleOptions newFirmware;
    newFirmware.level2Commands = "HPTMC";
    PtyScale after(newFirmware);
    QVERIFY2(after.start(), qPrintable(after.errorString()));
    QStringList arguments{"--port",          after.devicePath(),
                          "--weight-stream", "skip",
                          "--compare-to",    compareTo == "first.json" ? firstJson : compareTo,
                          "--json",          "-"};
    if (failOnRegression)
        arguments << "--fail-on-regression";
    const Run run = runCheck(arguments, database);
    QVERIFY2(run.exit == exit, qPrintable(run.err));
    QVERIFY2(run.err.contains("\n  verdict of <LF>U<CR>: Passed -> Failed (regression)\n"),
             qPrintable(run.err));
    QString error;
    const QJsonObject json = readJson(run.out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(json.value("exit").toInt(-1), exit);
    const QJsonObject changes = json.value("changes").toObject();
    QCOMPARE(changes.value("regression").toBool(), true);
    QVERIFY(changes.value("compared_with").isObject());
    QStringList regressions;
    for (const QJsonValue &difference : changes.value("differences").toArray()) {
        if (difference.toObject().value("regression").toBool())
            regressions << difference.toObject().value("subject").toString();
    }
    QCOMPARE(regressions, QStringList{"<LF>U<CR>"});

    // Both checks are on record, newest first, with the scale's serial number.
    const Run history = runCheck({"--history", "--format", "csv", "--db", database});
    QCOMPARE(history.exit, 0);
    const QStringList rows = stdoutLines(history.out);
    QVERIFY2(rows.size() >= 3, history.out.constData());
    QCOMPARE(rows.first(), QString("ID,Ended,MFG,MOD,SN,REV,Port,Level 1,Weight stream,Failed"));
    QVERIFY2(rows.at(1).contains(",Simulated Scale Works,SIM-6000,000001,1.0," +
                                 after.devicePath() + ",verified,skipped,4"),
             qPrintable(rows.at(1)));
    QVERIFY(rows.last().startsWith("1,"));
}

void SmaCheckTest::recordingThatFails_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("environment"); // SMA_DB
    QTest::addColumn<QString>("saying");      // on standard error; empty: nothing said

    QFile plain(m_records.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QTest::newRow("--db in a folder that is a file")
        << QStringList{"--db", plain.fileName() + "/history.sqlite"} << QString()
        << "The check could not be recorded: " + plain.fileName() +
               "/history.sqlite: its folder cannot be made\n";
    QFile garbage(m_records.filePath("garbage.sqlite"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, 'x'));
    QTest::newRow("SMA_DB a file that is no database")
        << QStringList{} << garbage.fileName()
        << "The check could not be recorded: " + garbage.fileName() + ": file is not a database";
    QTest::newRow("server nobody listens on")
        << QStringList{"--db", "postgresql://nobody@127.0.0.1:1/checks"} << QString()
        << "The check could not be recorded: postgresql://nobody@127.0.0.1:1/checks: ";
    QTest::newRow("--no-record") << QStringList{"--no-record", "--db", plain.fileName()}
                                 << QString() << QString();
}

// A check that cannot be recorded says so once and keeps its result, its
// report and its exit status.
void SmaCheckTest::recordingThatFails()
{
    QFETCH(QStringList, options);
    QFETCH(QString, environment);
    QFETCH(QString, saying);
    PtyScale scale;
    QVERIFY2(scale.start(), qPrintable(scale.errorString()));
    const Run run = runCheck(
        QStringList{"--port", scale.devicePath(), "--weight-stream", "skip", "--quiet"} + options,
        environment);
    QVERIFY2(run.exit == 0, qPrintable(run.err));
    const QStringList report = stdoutLines(run.out);
    QCOMPARE(report.mid(report.size() - 2), NotVerifiedVerdicts); // the stream was skipped
    if (saying.isEmpty()) {
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        QCOMPARE(QFileInfo(m_records.filePath("plain")).size(), 0);
    } else {
        QVERIFY2(run.err.startsWith(saying) && run.err.count('\n') == 1, qPrintable(run.err));
    }
}

QTEST_GUILESS_MAIN(SmaCheckTest)
#include "tst_sma_check.moc"
