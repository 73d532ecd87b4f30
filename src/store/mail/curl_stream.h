#pragma once

#include "store/mail/curl_session.h"

#include <QByteArray>
#include <QString>

namespace qv::mail {

// The byte stream of a logged-in CurlSession (see CurlSession::connect_only), plain or TLS
// alike: what is queued goes out while we wait for what comes in, so that commands can be
// pipelined without either side ever blocking the other.
class CurlStream {
  public:
    CurlStream(CurlSession& session, int idle_timeout_seconds);

    void queue(const QByteArray& bytes) { out_ += bytes; }
    // Sends what the connection takes right now, without waiting.
    bool send_some();

    // Appends whatever has arrived to *into, sending queued bytes meanwhile; waits at most the
    // idle timeout for the first byte. False (error() says why, in Japanese) on a timeout, a
    // closed connection or any other failure.
    bool receive(QByteArray* into);

    const QString& error() const { return error_; }

  private:
    bool fail(const QString& reason);

    CurlSession& session_;
    int idle_ms_;
    QByteArray out_;
    QString error_;
};

}  // namespace qv::mail
