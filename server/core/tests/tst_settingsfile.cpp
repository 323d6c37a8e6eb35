#include "testsupport/testfiles.h"
#include "server/core/settings/settingsfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

// A parse of any hostile document ends well within this (ms).
constexpr qint64 kParseBudgetMs = 5000;

QByteArray document(const QByteArray &root, const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE DrovaneSettings>\n" + root + "\n" + items
        + "\n</drovane>\n";
}

QByteArray variable(const QByteArray &items)
{
    return document("<drovane version=\"1.0\" type=\"variable\">", items);
}

QByteArray items(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "<item name=\"d" + QByteArray::number(i) + "\" period=\"1\" source=\"ftp://127.0.0.1/\"/>\n";
    return bytes;
}

quint64 inodeOf(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? quint64(info.st_ino) : 0;
}

} // namespace

class tst_SettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void documentForm();
    void damaged_data();
    void damaged();
    void hugeFileReadsItsBeginning();
    void writeReplacesWholeFile();
};

void tst_SettingsFile::roundTrip_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<QStringList>>("devices");
    QTest::newRow("variable, no device") << int(SettingsFile::Type::Variable) << QList<QStringList>();
    QTest::newRow("variable, two devices")
        << int(SettingsFile::Type::Variable)
        << QList<QStringList>{{"Zerva", "Пост 1", "5", "ftp://10.0.0.7/rec/", "/srv/rec/zerva", "codec=\"Windows-1251\""},
                              {"Lorvan", "", "1", "tftp://10.0.0.8/", "/srv/rec/lorvan", "blksize=1500"}};
    QTest::newRow("constant, special characters")
        << int(SettingsFile::Type::Constant)
        << QList<QStringList>{{"<&>'\"", "строка\nвторая\tтаб", "%1 %2", "ftp://h/a b/", "C:\\rec", " lead and trail "}};
}

void tst_SettingsFile::roundTrip()
{
    QFETCH(int, type);
    QFETCH(QList<QStringList>, devices);
    QTemporaryDir dir;
    const QString path = dir.filePath("devices.xml");
    SettingsFile::Content written;
    written.type = SettingsFile::Type(type);
    written.devices = devices;
    QCOMPARE(SettingsFile::write(path, written), SettingsFile::Ok);
    SettingsFile::Content read;
    QStringList warnings;
    QCOMPARE(SettingsFile::read(path, &read, &warnings), SettingsFile::Ok);
    QCOMPARE(int(read.type), type);
    QCOMPARE(read.devices, devices);
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
}

void tst_SettingsFile::documentForm()
{
    SettingsFile::Content content;
    content.type = SettingsFile::Type::Constant;
    content.devices << QStringList{"n", "c", "1", "ftp://h/", "/d", "codec=\"KOI8-R\""};
    const QByteArray text = SettingsFile::serialize(content);
    QVERIFY(text.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    QVERIFY(text.contains("<!DOCTYPE DrovaneSettings>"));
    QVERIFY(text.contains("<!-- This is file use for store settings-->"));
    QVERIFY(text.contains("<drovane version=\"1.0\" type=\"constant\">"));
    QVERIFY2(text.contains("<item name=\"n\" comment=\"c\" period=\"1\" source=\"ftp://h/\" destination=\"/d\" "
                           "option=\"codec=&quot;KOI8-R&quot;\"/>"),
             text.constData());
}

void tst_SettingsFile::damaged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("names");     // the devices' names read
    QTest::addColumn<QString>("warning");       // part of a warning, empty: none expected

    const QByteArray one = "<item name=\"a\" comment=\"c\" period=\"1\" source=\"ftp://h/\" destination=\"/d\" option=\"\"/>";
    QTest::newRow("version 1.1") << document("<drovane version=\"1.1\" type=\"variable\">", one)
                                 << int(SettingsFile::Unsupported) << QStringList() << "";
    QTest::newRow("no version") << document("<drovane type=\"variable\">", one) << int(SettingsFile::Unsupported)
                                << QStringList() << "";
    QTest::newRow("other root") << QByteArray("<settings version=\"1.0\"><item name=\"a\"/></settings>")
                                << int(SettingsFile::Unsupported) << QStringList() << "";
    QTest::newRow("upper-case root") << QByteArray("<Drovane version=\"1.0\"/>") << int(SettingsFile::Unsupported)
                                     << QStringList() << "";
    QTest::newRow("empty file") << QByteArray() << int(SettingsFile::Empty) << QStringList() << "";
    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe<<\x01\x02", 8) << int(SettingsFile::Empty)
                                    << QStringList() << "no element";
    const QByteArray whole = variable(one + "<item name=\"b\"/><item name=\"c\"/>");
    QTest::newRow("truncated in an item") << whole.left(whole.indexOf("name=\"c") + 7)
                                          << int(SettingsFile::Damaged) << QStringList{"a", "b"} << "XML error";
    // One unescaped "&" in the second of three devices.
    QTest::newRow("unescaped ampersand") << variable(one + "<item name=\"b & c\"/><item name=\"c\"/>")
                                         << int(SettingsFile::Damaged) << QStringList{"a"} << "XML error at line";
    QTest::newRow("truncated after the root") << QByteArray("<drovane version=\"1.0\">") << int(SettingsFile::Damaged)
                                              << QStringList() << "XML error";
    QTest::newRow("unknown elements skipped")
        << variable("<group><item name=\"inner\"/></group>" + one + "<note>text</note>") << int(SettingsFile::Ok)
        << QStringList{"a"} << "";
    QTest::newRow("content inside an item")
        << variable("<item name=\"a\"><item name=\"b\"/></item><item name=\"c\"/>") << int(SettingsFile::Ok)
        << QStringList{"a", "c"} << "";
    QTest::newRow("missing attributes") << variable("<item/>") << int(SettingsFile::Ok) << QStringList{""} << "";
    QTest::newRow("entity expansion bomb")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaa\">"
                      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                      "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                      "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]>"
                      "<drovane version=\"1.0\"><item name=\"ok\"/><item name=\"&g;\"/></drovane>")
        << int(SettingsFile::Damaged) << QStringList{"ok"} << "XML error";
    QTest::newRow("too many devices") << variable(items(SettingsFile::kMaxDevices + 3)) << int(SettingsFile::Damaged)
                                      << QStringList() << "devices: the rest ignored";
    QTest::newRow("over-long text") << variable("<item name=\"" + QByteArray(SettingsFile::kMaxTextChars + 10, 'x') + "\"/>")
                                    << int(SettingsFile::Damaged) << QStringList{QString(SettingsFile::kMaxTextChars, 'x')}
                                    << "shortened";
}

void tst_SettingsFile::damaged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QStringList, names);
    QFETCH(QString, warning);
    SettingsFile::Content content;
    QStringList warnings;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(int(SettingsFile::parse(bytes, &content, &warnings)), status);
    QVERIFY(clock.elapsed() < kParseBudgetMs);
    if (QByteArray(QTest::currentDataTag()) == "too many devices") {
        QCOMPARE(content.devices.size(), SettingsFile::kMaxDevices);
    } else {
        QStringList read;
        for (const QStringList &device : content.devices) {
            QCOMPARE(device.size(), 6);
            read << device.first();
        }
        QCOMPARE(read, names);
    }
    if (warning.isEmpty())
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    else
        QVERIFY2(warnings.join('\n').contains(warning), qPrintable(warnings.join('\n')));
    // A file not read whole says where: its owner tells the user.
    QCOMPARE(content.damage.isEmpty(), status != SettingsFile::Damaged);
    if (warning.startsWith("XML error"))
        QVERIFY(content.damageLine > 0 && content.damageColumn > 0);
}

// A file beyond the read limit: the devices in its beginning are read, the
// rest is reported, and it takes no longer than a small file.
void tst_SettingsFile::hugeFileReadsItsBeginning()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("huge.xml");
    QByteArray bytes = variable(items(3));
    bytes.insert(bytes.indexOf("</drovane>"), "<!--" + QByteArray(SettingsFile::kMaxFileBytes, ' ') + "-->");
    QVERIFY(writeFile(path, bytes));
    SettingsFile::Content content;
    QStringList warnings;
    QCOMPARE(SettingsFile::read(path, &content, &warnings), SettingsFile::Damaged);
    QCOMPARE(content.devices.size(), 3);
    QVERIFY2(warnings.join('\n').contains("larger than"), qPrintable(warnings.join('\n')));
}

// Saving never leaves a half-written file: the document goes to a
// temporary file that then takes the old file's place (a new inode), and a
// failed save leaves the old file as it was.
void tst_SettingsFile::writeReplacesWholeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("devices.xml");
    SettingsFile::Content content;
    content.devices << QStringList{"a", "", "1", "ftp://h/", "/d", ""};
    QCOMPARE(SettingsFile::write(path, content), SettingsFile::Ok);
    const quint64 before = inodeOf(path);
    content.devices << QStringList{"b", "", "1", "ftp://h/", "/d", ""};
    QCOMPARE(SettingsFile::write(path, content), SettingsFile::Ok);
    QVERIFY(inodeOf(path) != before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"devices.xml"});

    const QByteArray saved = readFile(path);
    QString error;
    QCOMPARE(SettingsFile::write(dir.filePath("missing/devices.xml"), content, &error), SettingsFile::CannotOpen);
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(path), saved);
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"
