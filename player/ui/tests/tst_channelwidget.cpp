// The channel dialog on an indexed recording: what it lists, the sample
// rate it names, commit and revert of ticks and order, and the summaries
// of its third column.
#include "player/ui/dialogs/channelwidget.h"
#include "player/ui/dialogs/streamsummary.h"
#include "testsupport/testrecording.h"

#include <QSignalSpy>
#include <QTextCodec>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace PlayerUi;

Q_DECLARE_METATYPE(QList<uint>)

namespace {

using StreamMap = QMap<QString, QString>;

QStringList column(const QTreeWidget *list, int c)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts.append(list->topLevelItem(i)->text(c));
    return texts;
}

} // namespace

class tst_ChannelWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void listsEveryStream();
    void okCommitsCancelReverts_data();
    void okCommitsCancelReverts();
    void summaries_data();
    void summaries();

private:
    std::unique_ptr<TestRecording> m_recording;
    RecordingIndexer m_indexer;
    std::unique_ptr<ChannelWidget> m_dialog;
    int m_rate = -1;
};

// Streams: 1 A-law at 16000 Hz with frames, 2 text with frames, 3 G.726
// without frames, "A7" A-law with frames (an id that is no number).
void tst_ChannelWidget::initTestCase()
{
    qRegisterMetaType<QList<uint>>();
    m_recording = std::make_unique<TestRecording>();
    m_recording->addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA/16000"), QStringLiteral("Диспетчер"));
    m_recording->addStream(2, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    m_recording->addStream(3, QStringLiteral("audio"), QStringLiteral("G726-32"), QStringLiteral("Борт 7"));
    m_recording->writer().writeSection(QStringLiteral("STREAM"), {{QStringLiteral("ID"), QStringLiteral("A7")},
                                                                  {QStringLiteral("TYPE"), QStringLiteral("audio")},
                                                                  {QStringLiteral("ENCODING"), QStringLiteral("PCMA/11025")},
                                                                  {QStringLiteral("DESCRIPTION"), QStringLiteral("Без номера")}},
                                       QTextCodec::codecForName("Windows-1251"));
    // 3 frames of 16000 samples: 3 s at 16000 Hz.
    for (quint32 t = 0; t < 3000; t += 1000)
        m_recording->frame(t, 1, TestRecordingData::alaw(16000));
    m_recording->text(500, 2, QStringLiteral("Вызов"));
    m_recording->text(900, 2, QStringLiteral("Конец"));
    m_recording->frame(100, 0, TestRecordingData::alaw(80)); // stream number 0 is no declared id
    m_indexer.open(m_recording->finish());
    m_indexer.start();
    while (m_indexer.state() != RecordingIndexer::Idle)
        m_indexer.step();
    m_indexer.closeFiles();
}

void tst_ChannelWidget::init()
{
    m_dialog = std::make_unique<ChannelWidget>();
    m_dialog->resize(600, 400);
    QSignalSpy active(m_dialog.get(), &ChannelWidget::activeStreamListChanged);
    m_rate = m_dialog->fill(m_indexer);
    QCOMPARE(active.count(), 1);
}

void tst_ChannelWidget::listsEveryStream()
{
    const QTreeWidget *list = m_dialog->streamList();
    QCOMPARE(column(list, 0), (QStringList{"Диспетчер", "События", "Борт 7", "Без номера"}));
    QCOMPARE(column(list, 1), (QStringList{"audio", "text", "audio", "audio"}));
    QCOMPARE(column(list, 2).mid(0, 3),
             (QStringList{"Длительность: 00:00:03", "Кол-во записей: 2", "Нет звуковых данных"}));
    // The stream without frames is not ticked; "A7" reads as no id: never
    // played nor shown, it is listed unticked and off, saying why.
    QCOMPARE(list->topLevelItem(2)->checkState(0), Qt::Unchecked);
    QCOMPARE(list->topLevelItem(3)->data(0, ChannelWidget::kIdRole).toUInt(), 4294967295u);
    QCOMPARE(list->topLevelItem(3)->checkState(0), Qt::Unchecked);
    QVERIFY(!(list->topLevelItem(3)->flags() & (Qt::ItemIsEnabled | Qt::ItemIsUserCheckable)));
    QCOMPARE(list->topLevelItem(3)->text(2), QString("Нет идентификатора (ID): канал не воспроизводится"));
    QCOMPARE(list->topLevelItem(0)->data(2, ChannelWidget::kFrameCountRole).toUInt(), 3u);
    QCOMPARE(list->topLevelItem(0)->data(2, ChannelWidget::kTotalLengthRole).toUInt(), 3u * (16000 + 6));
    // The last audio stream names the rate; streams cannot be dropped onto.
    QCOMPARE(m_rate, 11025);
    QVERIFY(!(list->topLevelItem(0)->flags() & Qt::ItemIsDropEnabled));
    QCOMPARE(list->dragDropMode(), QAbstractItemView::InternalMove);
}

void tst_ChannelWidget::okCommitsCancelReverts_data()
{
    QTest::addColumn<int>("untick");   // row to untick, -1: none
    QTest::addColumn<int>("toTop");    // row dragged to the top, -1: none
    QTest::addColumn<QString>("close"); // "ok", "cancel" or "window"
    QTest::addColumn<bool>("emitted");
    QTest::addColumn<QList<uint>>("active");
    QTest::addColumn<QStringList>("order");

    const QStringList recorded{"Диспетчер", "События", "Борт 7", "Без номера"};
    const QList<uint> all{1, 2};
    QTest::newRow("nothing changed") << -1 << -1 << "ok" << false << all << recorded;
    QTest::newRow("untick, ok") << 0 << -1 << "ok" << true << QList<uint>{2} << recorded;
    QTest::newRow("untick, cancel") << 0 << -1 << "cancel" << true << all << recorded;
    QTest::newRow("untick, window closed") << 0 << -1 << "window" << true << all << recorded;
    QTest::newRow("to the top, ok") << -1 << 1 << "ok" << true << QList<uint>{2, 1}
                                    << QStringList{"События", "Диспетчер", "Борт 7", "Без номера"};
    QTest::newRow("to the top, cancel") << -1 << 3 << "cancel" << true << all << recorded;
}

void tst_ChannelWidget::okCommitsCancelReverts()
{
    QFETCH(int, untick);
    QFETCH(int, toTop);
    QFETCH(QString, close);
    QFETCH(bool, emitted);
    QFETCH(QList<uint>, active);
    QFETCH(QStringList, order);

    QTreeWidget *list = m_dialog->streamList();
    m_dialog->show();
    QSignalSpy changed(m_dialog.get(), &ChannelWidget::activeStreamListChanged);
    if (untick >= 0)
        list->topLevelItem(untick)->setCheckState(0, Qt::Unchecked);
    if (toTop >= 0) // what an internal move does
        list->insertTopLevelItem(0, list->takeTopLevelItem(toTop));

    if (close == QLatin1String("ok"))
        m_dialog->okPushButtonClick();
    else if (close == QLatin1String("cancel"))
        m_dialog->cancelPushButtonClick();
    else
        m_dialog->close();

    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(changed.count(), emitted ? 1 : 0);
    if (emitted)
        QCOMPARE(changed.first().first().value<QList<uint>>(), active);
    QCOMPARE(m_dialog->activeIds(), active);
    QCOMPARE(column(list, 0), order);

    // What was committed stays: opening and cancelling again changes nothing.
    m_dialog->show();
    m_dialog->cancelPushButtonClick();
    QCOMPARE(changed.count(), emitted ? 1 : 0);
    QCOMPARE(m_dialog->activeIds(), active);
}

void tst_ChannelWidget::summaries_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("frameCount");
    QTest::addColumn<int>("totalLength"); // bytes with the 6-byte frame headers
    QTest::addColumn<QString>("summary");

    // 3725.9 s of A-law in 1000 frames, rounded to the nearest second as
    // every length is shown: counting the headers would give 3726.65 s.
    QTest::newRow("hours, minutes, seconds") << "audio" << "PCMA" << 1000 << 29807200 + 6000
                                             << "Длительность: 01:02:06";
    QTest::newRow("rate after the slash") << "audio" << "PCMA/16000" << 2 << 32000 + 12 << "Длительность: 00:00:02";
    QTest::newRow("G.726 at 4 bits") << "audio" << "G726-32/8000" << 1 << 4000 + 6 << "Длительность: 00:00:01";
    QTest::newRow("headers only") << "audio" << "PCMA" << 10 << 60 << "Нет звуковых данных";
    QTest::newRow("no frames") << "audio" << "TETRA" << 0 << 0 << "Нет звуковых данных";
    QTest::newRow("unknown coding") << "audio" << "MP3" << 5 << 5000 << "Нет звуковых данных";
    QTest::newRow("text") << "text" << "Windows-1251" << 42 << 4200 << "Кол-во записей: 42";
}

void tst_ChannelWidget::summaries()
{
    QFETCH(QString, type);
    QFETCH(QString, encoding);
    QFETCH(int, frameCount);
    QFETCH(int, totalLength);
    QFETCH(QString, summary);
    const StreamMap descriptor{{"TYPE", type}, {"ENCODING", encoding}, {"ID", "1"}};
    QCOMPARE(StreamSummary::text(descriptor, frameCount, totalLength), summary);
}

QTEST_MAIN(tst_ChannelWidget)
#include "tst_channelwidget.moc"
