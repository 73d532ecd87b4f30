#pragma once

#include "store/mail/curl_session.h"
#include "store/mail/curl_stream.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace qv::mail {

// One POP3 session (RFC 1939) over one connection: libcurl connects, starts TLS and logs in;
// the commands after that are ours, pipelined when the server offers PIPELINING (RFC 2449), so
// a thousand messages do not cost two thousand round trips.
//
// Deletions take effect only when quit() succeeds. A session that asked for deletions and is
// destroyed without quit() drops its connection without a goodbye, so the server keeps
// everything; so does a lost connection.
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
    };
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
    enum class Reply { Line, Lines };
    bool connect();
    bool fail(const QString& reason, bool local = false);
    bool fill();
    bool take_line(QByteArray* line);
    bool read_status(QByteArray* line);
    bool read_lines(QByteArray* body);
    // Consumes message bytes from the input up to the terminating line; *done when it came.
    bool take_body(const std::function<bool(const char*, size_t)>& sink, bool* done);
    bool simple(const QByteArray& command, Reply reply, QByteArray* answer);

    CurlSession curl_;
    int idle_timeout_;
    std::unique_ptr<CurlStream> stream_;
    bool connected_ = false;
    bool failed_ = false;
    bool pipelining_ = false;
    bool finished_ = false;
    QByteArray in_;
    qsizetype pos_ = 0;       // first unread byte of in_
    bool line_start_ = true;  // inside a message body: the next byte starts a line
    QString error_;
    bool local_failure_ = false;
};

}  // namespace qv::mail
