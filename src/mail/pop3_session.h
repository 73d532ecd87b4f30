#pragma once

#include "mail/curl_session.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

namespace qv::mail {

// One POP3 session (RFC 1939) over one connection: every command is a libcurl transfer on the
// same easy handle, so libcurl logs in once (STARTTLS included) and keeps the connection for the
// commands that follow.
//
// Deletions take effect only when quit() succeeds. A session that asked for deletions and is
// destroyed without quit() drops its connection without a goodbye, so the server keeps
// everything; so does a lost connection, a refused command or a server that stops answering.
class Pop3Session {
  public:
    Pop3Session(const ServerAddress& server, const QString& user, const QString& password,
                const NetworkOptions& options);
    ~Pop3Session();
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    bool stat(qint64* count, qint64* octets);
    bool list(QList<QByteArray>* lines);  // "<n> <size>"
    // Message numbers with their unique ids. A server without UIDL gives empty ids.
    bool uidl(std::vector<std::pair<int, QByteArray>>* messages);

    // One message to delete, fetched first (RETR) unless `fetch` is false.
    struct Step {
        int number;
        bool fetch;
    };
    // Where fetched messages go: begin(step) before the first byte of that step's message,
    // data(...) with its exact bytes (dot-stuffing undone), end(step) after its last byte.
    // Any of them returning false stops everything as a local failure.
    struct Receiver {
        std::function<bool(size_t step)> begin;
        std::function<bool(const char* data, size_t size)> data;
        std::function<bool(size_t step)> end;
        // Whether end(step) will take long (a batch to store): the next message is then asked
        // for only after it, as a command left unanswered that long would time out.
        std::function<bool(size_t step)> slow_end = nullptr;
    };
    // Retrieves the messages (RETR), in order: receiver.begin(i) ... end(i) for numbers[i].
    bool retrieve(const std::vector<int>& numbers, const Receiver& receiver);
    // Asks for the messages to be deleted (DELE); they go only when quit() succeeds.
    bool delete_messages(const std::vector<int>& numbers);
    // Retrieves the messages of the steps that ask for it, in order, then deletes those of all
    // steps. True when every message came whole and every deletion was accepted (still to be
    // committed by quit()).
    bool fetch_and_delete(const std::vector<Step>& steps, const Receiver& receiver);

    // Commits the deletions and ends the session.
    bool quit();
    // Ends the session without committing anything.
    void abandon();

    // The Japanese reason of the last failure.
    const QString& error() const { return error_; }
    // The last failure came from the receiver (a local problem), not from the server.
    bool local_failure() const { return local_failure_; }

  private:
    bool fail(const QString& reason, bool local = false);
    // One command on the session's connection: `path` is "/" or "/<n>"; `custom` replaces the
    // command libcurl derives from it (LIST without a number, RETR with one); `lines` reads a
    // multi-line answer. The answer goes to text_ or, while receiver_ is set, to the receiver.
    bool command(const QByteArray& path, const char* custom, bool lines);
    // The two halves of command(): the command goes out, then its transfer is finished.
    void send(const QByteArray& path, const char* custom, bool lines);
    bool finish();
    // A lost connection, seen after a transfer that libcurl took as complete.
    bool connection_lost() const;
    static size_t on_data(char* data, size_t size, size_t count, void* self);

    CurlSession curl_;
    ServerAddress server_;
    int connect_timeout_;
    int idle_timeout_;
    bool connected_ = false;  // a command has succeeded
    bool failed_ = false;
    bool finished_ = false;
    bool deleting_ = false;  // a DELE went out: from now on no goodbye but quit()'s
    QByteArray text_;
    const Receiver* receiver_ = nullptr;
    bool receiver_failed_ = false;
    QString error_;
    bool local_failure_ = false;
};

}  // namespace qv::mail
