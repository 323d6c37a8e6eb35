#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class Downloader;

// One device's downloader driven to the end of one request, for the
// command-line tools: connect, then list or fetch, then disconnect. Runs a
// local event loop in the calling thread; the downloader's own reply and
// retransmission timers bound every wait. Owns the downloader.
class DownloadSession : public QObject
{
    Q_OBJECT

public:
    // param: the downloader parameter list (URL, local folder, options).
    explicit DownloadSession(const QStringList &param, QObject *parent = nullptr);

    // False when the URL's scheme is neither "ftp" nor "tftp".
    bool isValid() const { return m_downloader != nullptr; }

    // The device's file list; false with the downloader's message.
    bool list(QStringList *lines, QString *error);
    // Fetches name into the local folder from byte pos on; false with the
    // downloader's message.
    bool fetch(const QString &name, qulonglong pos, QString *error);

private:
    bool run(const std::function<void()> &request, QString *error);

    Downloader *m_downloader;   // child of this session
    QStringList m_lines;
};
