#pragma once

#include "mail/receive_record.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace qv::mail {

class TempFiles;

// Takes a batch of saved files (names relative to the folder) and stores them; true when every
// one of them is stored. Called on a thread of its own while the next batch arrives.
using BatchSink = std::function<bool(const QStringList& names)>;
// (messages saved, messages to save), after each message.
using ReceiveProgress = std::function<void(int done, int total)>;

// The local half of receiving one account's mail, whatever the protocol: no message is lost or
// taken twice, whenever the program stops.
//  - Each message goes into a temporary file as it arrives.
//  - In batches, the files are synced; their final names are chosen and recorded (synced) in
//    the account's ReceiveRecord; they are renamed, and the folder synced.
//  - Then the batch goes to the sink, which stores it while the next batch arrives; only once it
//    says so is the batch marked stored in the record (synced), and only stored messages are
//    ever offered for deletion.
//  - open() finishes what a stopped receive left: renames still to do, temporaries to remove,
//    and the files saved but never stored, which hand_over_saved() hands over before anything
//    new is fetched. A message in the record is never fetched again.
// Without a sink, a batch counts as stored as soon as its files are saved (the caller takes the
// names that handed() returns).
class ReceiveRun {
  public:
    struct Options {
        int batch_messages = 250;
        qint64 batch_bytes = 32 * 1024 * 1024;
        bool keys = false;  // note each message's message_key() (for IMAP)
    };

    ReceiveRun(QString dir, QString record_name, Options options, BatchSink sink,
               ReceiveProgress progress);
    ~ReceiveRun();
    ReceiveRun(const ReceiveRun&) = delete;
    ReceiveRun& operator=(const ReceiveRun&) = delete;

    // Opens and locks the account's record in the folder and tidies up after a stopped receive.
    bool open();
    ReceiveRecord& record() { return record_; }
    const ReceiveRecord& record() const { return record_; }

    // Whether the message was received (saved by this receive or an earlier one).
    bool known(const QByteArray& uid) const;
    // Whether it was received and stored, so that it may be deleted on the server.
    bool stored(const QByteArray& uid) const;

    // Hands over the files an earlier receive saved but never got stored.
    bool hand_over_saved();

    // Receiving messages: how many are coming (for the progress), then each one.
    void expect(int messages) { to_fetch_ = messages; }
    bool begin(const QByteArray& uid);
    bool data(const char* bytes, size_t size);
    bool end();
    // Whether the message now ending completes a batch, so that end() stores it.
    bool batch_due() const;
    // Saves the last batch and hands it over; the sink may still be storing it.
    bool flush();
    // Waits until everything handed over is stored.
    bool wait_stored() { return collect(); }

    // Prunes the record to the messages still on the server and not deleted (and those not yet
    // stored). Called once the server has committed any deletions.
    bool finish(const QSet<QByteArray>& on_server, const QSet<QByteArray>& deleted);

    // Ends the receive after a failure: the temporary files that the record does not name go.
    // Always false; error() is the reason.
    bool fail(const QString& reason);
    const QString& error() const { return error_; }
    // The names handed over, in order.
    const QStringList& handed() const { return handed_; }

  private:
    struct Pending {
        QByteArray uid;
        QByteArray temp;
        QByteArray key;
        QString file;
    };

    bool commit();
    // Starts storing a batch (on a thread of its own: the sink blocks until it is stored), after
    // the one before is stored; collect() waits for it and marks it stored.
    bool hand_over(const QStringList& names, const std::vector<QByteArray>& uids);
    bool collect();
    bool flush_buffer();
    bool local_error(int code);
    QString free_name();
    bool exists(const QString& name) const;
    void drop_temporaries();

    QString dir_;
    QString record_name_;
    Options options_;
    BatchSink sink_;
    ReceiveProgress progress_;
    ReceiveRecord record_;
    std::unique_ptr<TempFiles> temps_;
    QSet<QByteArray> gone_;  // in the record, but their files are lost: fetched again
    QString error_;
    QByteArray temp_prefix_;
    QString name_stem_;
    int sequence_ = 0;
    int fetched_ = 0;
    int to_fetch_ = 0;

    int file_fd_ = -1;  // the message being received
    Pending file_;
    QByteArray buffer_;
    QByteArray head_;  // its start, until the header is whole (for the key)
    qint64 file_size_ = 0;

    std::vector<Pending> pending_;
    qint64 pending_bytes_ = 0;
    bool pending_recorded_ = false;  // the record names the batch: its files are the record's
    struct Handing {
        QStringList names;
        std::vector<QByteArray> uids;
        std::future<bool> stored;
    };
    std::optional<Handing> handing_;
    QStringList handed_;
};

}  // namespace qv::mail
