#include "cli/tests/clicommandrun.h"
#include "cli/recordingsummary.h"
#include "recording/recordingwriter.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextCodec>
#include <QtTest>

namespace {

using Pairs = RecordingWriter::Pairs;

QString writeRecording(const TempDir &dir, const QString &dateTime, bool withFile = true)
{
    const QString path = dir.filePath(QStringLiteral("r.rec"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    RecordingWriter w(&file);
    if (withFile) {
        w.writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), QStringLiteral("01.01.2001")}});
        w.writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), dateTime}});
    }
    w.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QStringLiteral("07")}, {QStringLiteral("TYPE"), QStringLiteral("audio")}});
    w.writeSection(QStringLiteral("DEVICE"), {});
    w.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QStringLiteral("2")}, {QStringLiteral("DESCRIPTION"), QStringLiteral("Пульт")}});
    w.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QStringLiteral("3")}});
    w.writeDataFrame(500, 2, "abc");
    w.writeDataFrame(900, 7, "abcd");
    w.writeDataFrame(1500, 2, "abc");
    return path;
}

} // namespace

class tst_RecordingSummary : public QObject
{
    Q_OBJECT

private slots:
    void json();
    void base_data();
    void base();
    void duration_data();
    void duration();
    void cliExitStatus_data();
    void cliExitStatus();
};

void tst_RecordingSummary::json()
{
    TempDir dir;
    const QString path = writeRecording(dir, QStringLiteral("05.03.13 14:22:07.250"));
    RecordingSummary summary;
    QString error;
    QVERIFY(RecordingSummary::read(path, &summary, &error));
    const QJsonObject o = summary.toJson();
    QCOMPARE(o.value(QStringLiteral("file")).toString(), path);
    QCOMPARE(o.value(QStringLiteral("base")).toString(), QStringLiteral("2013-03-05T14:22:07.250"));
    QCOMPARE(o.value(QStringLiteral("begin_ms")).toDouble(), 500.0);
    QCOMPARE(o.value(QStringLiteral("end_ms")).toDouble(), 1500.0);

    const QJsonArray sections = o.value(QStringLiteral("sections")).toArray();
    QStringList names;
    for (const QJsonValue &s : sections)
        names.append(s.toObject().value(QStringLiteral("name")).toString());
    QCOMPARE(names, QStringList({"FILE", "FILE", "STREAM", "DEVICE", "STREAM", "STREAM"}));
    QCOMPARE(sections.at(0).toObject().value(QStringLiteral("values")).toObject().value(QStringLiteral("DATETIME")).toString(),
             QStringLiteral("01.01.2001"));
    QVERIFY(sections.at(3).toObject().value(QStringLiteral("values")).toObject().isEmpty());

    const QJsonArray streams = o.value(QStringLiteral("streams")).toArray();
    QCOMPARE(streams.size(), 3);
    const QJsonObject s0 = streams.at(0).toObject();
    QCOMPARE(s0.value(QStringLiteral("index")).toInt(), 0);
    QCOMPARE(s0.value(QStringLiteral("id")).toString(), QStringLiteral("07")); // as read
    QCOMPARE(s0.value(QStringLiteral("encoding")).toString(), QString());     // missing key: empty
    QCOMPARE(s0.value(QStringLiteral("frames")).toInt(), 1);
    QCOMPARE(s0.value(QStringLiteral("length")).toInt(), 10);
    QCOMPARE(s0.value(QStringLiteral("first_ms")).toDouble(), 900.0);
    const QJsonObject s1 = streams.at(1).toObject();
    QCOMPARE(s1.value(QStringLiteral("description")).toString(), QStringLiteral("Пульт"));
    QCOMPARE(s1.value(QStringLiteral("frames")).toInt(), 2);
    QCOMPARE(s1.value(QStringLiteral("last_ms")).toDouble(), 1500.0);
    const QJsonObject s2 = streams.at(2).toObject();
    QVERIFY(s2.value(QStringLiteral("first_ms")).isNull());
    QVERIFY(s2.value(QStringLiteral("last_ms")).isNull());
    QCOMPARE(s2.value(QStringLiteral("frames")).toInt(), 0);
}

void tst_RecordingSummary::base_data()
{
    QTest::addColumn<QString>("dateTime");
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zone suffix") << "05.03.2013 14:22:07.250 UTC+3:00" << true << "2013-03-05T14:22:07.250";
    QTest::newRow("invalid day") << "31.02.2013" << true << QString();
    QTest::newRow("no FILE section") << "" << false << QString();
}

void tst_RecordingSummary::base()
{
    QFETCH(QString, dateTime);
    QFETCH(bool, withFile);
    QFETCH(QString, expected);
    TempDir dir;
    RecordingSummary summary;
    QString error;
    QVERIFY(RecordingSummary::read(writeRecording(dir, dateTime, withFile), &summary, &error));
    const QJsonValue base = summary.toJson().value(QStringLiteral("base"));
    QCOMPARE(base.isNull(), expected.isNull());
    QCOMPARE(base.toString(), expected);
}

void tst_RecordingSummary::duration_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("payloadBytes");
    QTest::addColumn<double>("expected"); // ms for three frames; -1: null

    // Durations count payload bytes only, never the frame headers.
    QTest::newRow("TETRA") << "audio" << "TETRA" << 18 << 90.0;
    QTest::newRow("PCMA") << "audio" << "PCMA" << 800 << 300.0;
    QTest::newRow("PCMA/16000") << "audio" << "PCMA/16000" << 800 << 150.0;
    QTest::newRow("G726-32") << "audio" << "G726-32" << 400 << 300.0;
    QTest::newRow("unknown coding") << "audio" << "GSM" << 33 << 0.0;
    QTest::newRow("text") << "text" << "Windows-1251" << 10 << -1.0;
}

void tst_RecordingSummary::duration()
{
    QFETCH(QString, type);
    QFETCH(QString, encoding);
    QFETCH(int, payloadBytes);
    QFETCH(double, expected);
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("d.rec"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        RecordingWriter w(&file);
        w.writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QStringLiteral("1")},
                                                  {QStringLiteral("TYPE"), type},
                                                  {QStringLiteral("ENCODING"), encoding}});
        for (quint32 t = 0; t < 3; ++t)
            w.writeDataFrame(t * 30, 1, QByteArray(payloadBytes, char(0xFF)));
    }
    RecordingSummary summary;
    QString error;
    QVERIFY(RecordingSummary::read(path, &summary, &error));
    const QJsonValue duration = summary.toJson().value(QStringLiteral("streams")).toArray().at(0).toObject()
                                    .value(QStringLiteral("duration_ms"));
    if (expected < 0)
        QVERIFY(duration.isNull());
    else
        QCOMPARE(duration.toDouble(), expected);
}

void tst_RecordingSummary::cliExitStatus_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("status");

    QTest::newRow("recording") << "recording" << 0;
    QTest::newRow("empty file") << "empty" << 0;
    QTest::newRow("directory") << "dir" << 1;
    QTest::newRow("missing file") << "missing" << 1;
}

void tst_RecordingSummary::cliExitStatus()
{
    QFETCH(QString, input);
    QFETCH(int, status);
    TempDir dir;
    QString path = dir.filePath(QStringLiteral("missing.rec"));
    if (input == QLatin1String("recording"))
        path = writeRecording(dir, QStringLiteral("01.01.2020"));
    else if (input == QLatin1String("dir"))
        path = dir.path();
    else if (input == QLatin1String("empty"))
        QFile(path).open(QIODevice::WriteOnly);

    for (const bool json : {false, true}) {
        const CliRun run = runCli(json ? QStringList{"info", path, "--json"} : QStringList{"info", path});
        QCOMPARE(run.status, status);
        QVERIFY2(run.leftovers.isEmpty(), qPrintable(run.leftovers.join(QLatin1Char(' '))));
        if (status != 0) {
            QCOMPARE(run.err.count('\n'), 1);
            QVERIFY(run.out.isEmpty());
        } else if (json) {
            QJsonParseError parseError;
            const QJsonDocument doc = QJsonDocument::fromJson(run.out, &parseError);
            QCOMPARE(parseError.error, QJsonParseError::NoError);
            QVERIFY(doc.isObject());
        }
    }
}

QTEST_GUILESS_MAIN(tst_RecordingSummary)
#include "tst_recordingsummary.moc"
