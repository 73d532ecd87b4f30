#pragma once

#include "store/mail/curl_session.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

namespace qv::mail {

// One POP3 session (RFC 1939) over one connection. Deletions take effect only when quit()
// succeeds; abandon() or a lost connection leaves the mailbox as it was.
class Pop3Session {
  public:
    // Receives a message's bytes as they arrive; false stops the transfer.
    using Sink = std::function<bool(const char* data, size_t size)>;

    Pop3Session(const ServerAddress& server, const QString& user, const QString& password,
                const NetworkOptions& options);

    bool stat(qint64* count, qint64* octets);
    bool list(QList<QByteArray>* lines);  // "<n> <size>"
    // Message numbers with their unique ids. A server without UIDL gives empty ids.
    bool uidl(std::vector<std::pair<int, QByteArray>>* messages);
    bool retr(int number, const Sink& sink);
    bool dele(int number);
    bool quit();
    void abandon() { curl_.abandon(); }

    // The Japanese reason of the last failure.
    const QString& error() const { return error_; }
    // The last failure came from the sink (a local problem), not from the server.
    bool sink_failed() const { return sink_failed_; }

  private:
    bool run(const char* command, int number, bool multiline, const Sink* sink);
    static size_t on_write(char* data, size_t size, size_t count, void* sink);

    CurlSession curl_;
    QString error_;
    bool sink_failed_ = false;
};

}  // namespace qv::mail
