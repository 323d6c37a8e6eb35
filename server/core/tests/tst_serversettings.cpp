#include "testsupport/testfiles.h"
#include "server/core/settings/serversettings.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class tst_ServerSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dataFolder_data();
    void dataFolder();
    void pelluxValues_data();
    void pelluxValues();
    void fileListSurvivesRestart();
    void pollingPeriodHeldToAWeek_data();
    void pollingPeriodHeldToAWeek();
};

void tst_ServerSettings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("Ostrel");
    QCoreApplication::setApplicationName("Drovane");
}

void tst_ServerSettings::dataFolder_data()
{
    QTest::addColumn<bool>("programFolderUsable");
    QTest::newRow("writable program folder (build tree, portable copy)") << true;
    QTest::newRow("program folder not usable (installed)") << false;
}

// An installed program's folder cannot take the INI file and the logs: the
// per-user data folder does, created on demand.
void tst_ServerSettings::dataFolder()
{
    QFETCH(bool, programFolderUsable);
    QTemporaryDir dir;
    const QString program = programFolderUsable ? dir.path() : dir.filePath("missing/bin");
    const QString chosen = chooseDataFolder(program);
    const QString expected = programFolderUsable ? dir.path() + '/'
                                                 : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + '/';
    QCOMPARE(chosen, expected);
    QVERIFY(QFileInfo(chosen).isDir());
    ServerSettings settings(chosen);
    QVERIFY(settings.saveFileList({"/a.xml"}));
    QCOMPARE(settings.fileName(), chosen + "Drovane.ini");
}

void tst_ServerSettings::pelluxValues_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QVariantList>("values");
    const QVariantList defaults{false, "QMYSQL", "", "pelluxbd", "Drovane", "", 5};
    QTest::newRow("no file") << QByteArray() << defaults;
    QTest::newRow("damaged file") << QByteArray("\x01\x02[Pellux\nPollingPeriod=many\n\xff\xfe=", 28)
                                  << defaults;
    QTest::newRow("stored") << QByteArray("[Pellux]\nUsage=true\nHostName=10.0.0.2\nPassword=s3cret\nPollingPeriod=7\n")
                            << QVariantList{true, "QMYSQL", "10.0.0.2", "pelluxbd", "Drovane", "s3cret", 7};
}

void tst_ServerSettings::pelluxValues()
{
    QFETCH(QByteArray, ini);
    QFETCH(QVariantList, values);
    QTemporaryDir dir;
    if (!ini.isEmpty())
        QVERIFY(writeFile(dir.filePath("Drovane.ini"), ini));
    ServerSettings settings(dir.path() + '/');
    QCOMPARE(settings.pelluxSettings(), values);
    QVERIFY(!settings.savePelluxSettings(values.mid(0, 6)));
    QVERIFY(settings.savePelluxSettings(values));
    QCOMPARE(ServerSettings(dir.path() + '/').pelluxSettings(), values);
    // The log line names every value but the password.
    const QVariantList withPassword{true, "QMYSQL", "db", "pelluxbd", "Drovane", "s3cret", 5};
    QCOMPARE(ServerSettings::pelluxSettingsLogText(withPassword),
             QString("New Pellux param set: true; QMYSQL; db; pelluxbd; Drovane; ***; 5; "));
}

void tst_ServerSettings::fileListSurvivesRestart()
{
    QTemporaryDir dir;
    const QStringList paths{"/srv/a.xml", "/srv/Участок б.xml", dir.filePath("Pellux.xml")};
    QVERIFY(ServerSettings(dir.path() + '/').saveFileList(paths));
    QCOMPARE(ServerSettings(dir.path() + '/').fileList(), paths);
}

void tst_ServerSettings::pollingPeriodHeldToAWeek_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<bool>("warned");
    QTest::newRow("0 polls without pause") << QVariant(0) << 0 << false;
    QTest::newRow("7") << QVariant("7") << 7 << false;
    QTest::newRow("a week") << QVariant(10080) << 10080 << false;
    // Beyond a short it used to wrap to 0: a database query after another.
    QTest::newRow("32768") << QVariant("32768") << 10080 << true;
    QTest::newRow("huge") << QVariant("99999999999") << 10080 << true;
    QTest::newRow("negative") << QVariant(-5) << 1 << true;
    QTest::newRow("not a number") << QVariant("many") << 5 << true;
}

void tst_ServerSettings::pollingPeriodHeldToAWeek()
{
    QFETCH(QVariant, value);
    QFETCH(int, minutes);
    QFETCH(bool, warned);
    QString warning;
    QCOMPARE(ServerSettings::pollingPeriodMinutes(value, &warning), minutes);
    QCOMPARE(!warning.isEmpty(), warned);
}

QTEST_GUILESS_MAIN(tst_ServerSettings)
#include "tst_serversettings.moc"
