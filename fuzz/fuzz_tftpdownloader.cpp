// The TFTP client against a hostile device. A scripted device on 127.0.0.1
// answers every packet the client sends with the input's next datagram,
// to a real TftpDownloader with a short retransmission interval, until the
// downloader reports an outcome or kMaxRunMs pass.
//
// Input: as TftpScript describes (scriptformats.h); the last datagram is
// cut at the input's end.
#include "fuzz/fuzzsupport.h"

#include "fuzz/scriptformats.h"
#include "server/core/downloaders/tftpdownloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

namespace {

constexpr int kMaxRunMs = 500;
constexpr int kMaxDatagrams = 64;
const QString kFileName = QStringLiteral("fuzz.rec");
// Short retransmissions: a device that falls silent ends the run quickly.
const QString kTimingOptions = QStringLiteral("retransmit_interval=15 retransmit_count=1");
const QString kSmallBlocks = QStringLiteral(" blksize=16");

using namespace TftpScript;


class DeviceScript : public QObject
{
public:
    DeviceScript(const QList<QByteArray> &datagrams, quint8 flags) : m_datagrams(datagrams), m_flags(flags)
    {
        connect(&m_listen, &QUdpSocket::readyRead, this, [this] { receive(&m_listen); });
        connect(&m_transfer, &QUdpSocket::readyRead, this, [this] { receive(&m_transfer); });
    }

    bool listen()
    {
        const QHostAddress loopback(QHostAddress::LocalHost);
        return m_listen.bind(loopback) && m_transfer.bind(loopback) && m_stray.bind(loopback);
    }
    quint16 port() const { return m_listen.localPort(); }

private:
    void receive(QUdpSocket *socket)
    {
        while (socket->hasPendingDatagrams()) {
            const QNetworkDatagram received = socket->receiveDatagram();
            const int answers = (m_flags & TwoPerPacket) ? 2 : 1;
            for (int i = 0; i < answers && m_next < m_datagrams.size(); ++i)
                answer(m_datagrams.at(m_next++), received.senderAddress(), quint16(received.senderPort()));
        }
    }
    void answer(const QByteArray &datagram, const QHostAddress &address, quint16 port)
    {
        if (m_flags & StrayFirst)
            m_stray.writeDatagram(datagram, address, port);
        QUdpSocket &from = (m_flags & AnswerFromNewPort) ? m_transfer : m_listen;
        from.writeDatagram(datagram, address, port);
    }

    QUdpSocket m_listen;
    QUdpSocket m_transfer;
    QUdpSocket m_stray;
    QList<QByteArray> m_datagrams;
    quint8 m_flags;
    int m_next = 0;
};

void run(quint8 flags, const QList<QByteArray> &datagrams, const QString &folder)
{
    DeviceScript script(datagrams, flags);
    FUZZ_CHECK(script.listen());

    auto downloader = std::make_unique<TftpDownloader>();
    const QString options = kTimingOptions + ((flags & SmallBlocks) ? kSmallBlocks : QString());
    FUZZ_CHECK(downloader->setParam({QStringLiteral("tftp://127.0.0.1:%1/records/").arg(script.port()), folder, options}) == 0);

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(downloader.get(), &Downloader::errorOccured, &loop, &QEventLoop::quit);
    QObject::connect(downloader.get(), &Downloader::getFileDone, &loop, &QEventLoop::quit);
    QObject::connect(downloader.get(), &Downloader::getFileListDone, &loop, &QEventLoop::quit);

    downloader->start();
    if (flags & FileNotList)
        downloader->getFile(kFileName, (flags & Resume) ? kResumePosition : 0);
    else
        downloader->getFileList();
    limit.start(kMaxRunMs);
    loop.exec();
    downloader->stop();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::init();
    FuzzSupport::InputReader in(data, size);
    const quint8 flags = in.byte();
    QList<QByteArray> datagrams;
    while (in.remaining() > 0 && datagrams.size() < kMaxDatagrams)
        datagrams.append(in.bytes(in.number16()));

    const QString folder = FuzzSupport::scratchDir() + QStringLiteral("/tftp");
    run(flags, datagrams, folder);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDir(folder).removeRecursively();
    return 0;
}
