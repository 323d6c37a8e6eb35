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
    // Fetches name into the local folder (see Downloader::getFile: pos 0
    // verifies a copy from its start, another value continues at its end;
    // listedSize bounds the copy, Downloader::kUnknownSize when not known);
    // false with the downloader's message.
    bool fetch(const QString &name, qulonglong pos, qint64 listedSize, QString *error);
    // What the last request did besides: local copies kept as versions or
    // removed again, one line each.
    QStringList notes() const { return m_notes; }
    // True when the last fetch kept the local copy as a version and fetched
    // the file whole.
    bool keptVersion() const { return m_keptVersion; }

private:
    bool run(const std::function<void()> &request, QString *error);

    Downloader *m_downloader;   // child of this session
    QStringList m_lines;
    QStringList m_notes;
    bool m_keptVersion = false;
};
