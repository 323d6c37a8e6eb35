// PelluxMonitor: devices taken from the monitoring database's station table.
#pragma once

#include "server/core/devicetreemodel.h"

#include <QBasicTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>

class LogHandler;
class PelluxHandler;
class QThread;

// Keeps one device per station of the monitoring database's station table,
// in the read-only settings file "Pellux.xml" of the data folder, open in a
// DeviceTreeModel while monitoring is on. The poller (PelluxHandler) runs in
// a thread this object owns; its rows arrive here queued and become devices
// with running schedulers; at the end of each poll the devices of stations
// no longer listed are removed.
//
// Used by the desktop window and by the headless runner alike; no widgets.
// Lives in the GUI thread; the model is not owned and must outlive it.
class PelluxMonitor : public QObject
{
    Q_OBJECT

public:
    // Station types and the device models they stand for.
    enum StationType { LorvanP = 29, Zerva = 39, Mirel = 49, LorvanS = 43 };

    // dataFolder (with a trailing "/"): where "Pellux.xml" lives and under
    // which every station's recordings get a folder named by its address.
    PelluxMonitor(DeviceTreeModel *model, const QString &dataFolder, QObject *parent = nullptr);
    // Stops the poller's thread; a poll under way is waited for at most
    // kThreadEndWaitMs (a database that does not answer may hold a poll for
    // PelluxHandler::kLongestPollMs): the thread then ends by itself later.
    ~PelluxMonitor() override;

    // "a.b.c.d", a being the address's least significant byte.
    static QString addressText(uint address);
    // False for addresses that name no single device: 0.x.x.x (an empty or
    // NULL address), multicast, reserved and broadcast addresses.
    static bool isDeviceAddress(uint address);
    // Only the stations whose address is in the shard become devices here;
    // the others are another collector's.
    void setShard(DeviceTreeModel::Shard shard) { m_shard = shard; }
    // The six device parameters for a station row; empty for a type outside
    // the table.
    static QStringList stationDeviceParams(int type, uint address, const QString &comment, const QString &dataFolder);

    bool isOn() const { return m_fileId != 0; }
    // The model position of "Pellux.xml", -1 while monitoring is off.
    int fileIndex() const;
    QString filePath() const;

    // Poller reports (started, stopped, errors) become log lines.
    void wireLog(LogHandler *log);
    // Stops polling and ignores rows still on their way; the devices run on.
    void freeze();

public slots:
    // The seven monitoring values (Usage first): switching on opens or
    // creates "Pellux.xml" and starts polling; switching off writes and
    // closes it and stops polling. Values already in force change nothing
    // (new connection values apply after switching off and on again).
    void apply(QVariantList values);
    // A poll's rows and its end, applied a slice at a time (at most
    // kApplySliceMs per turn of the event loop), so that a large station
    // table never holds the GUI thread.
    void pelluxItemDo(int type, uint address, QString comment);
    void pelluxItemsEnd();

signals:
    void pelluxSetParam(QStringList param);
    void pelluxPollingStart(short period);
    void pelluxPollingStop();
    void infoSended(QString message);
    void errorSended(QString message);
    void warningSended(QString message);
    // A poll's rows have been applied: `devices` monitoring devices remain.
    void pollApplied(int devices);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    static constexpr int kApplySliceMs = 8;
    struct Row
    {
        bool end = false; // the poll's end rather than a row
        int type = 0;
        uint address = 0;
        QString comment;
    };

    void switchOn(const QVariantList &values);
    void switchOff();
    void applyRow(const Row &row);
    void applyEnd();
    void queueRow(Row row);

    QList<Row> m_rows;         // rows and ends not yet applied, in order
    QBasicTimer m_applyTimer;

    DeviceTreeModel *m_model;
    QString m_folder;
    DeviceTreeModel::Id m_fileId = 0;
    // Devices confirmed by the poll under way.
    QSet<DeviceTreeModel::Id> m_marked;
    bool m_frozen = false;
    DeviceTreeModel::Shard m_shard;
    QSet<QString> m_refusedRows;     // station rows skipped and logged
    std::unique_ptr<QThread> m_thread;
    PelluxHandler *m_handler; // lives in m_thread; deleted when it finishes
};
