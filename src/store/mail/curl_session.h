#pragma once

#include "store/mail/server_address.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <curl/curl.h>

namespace qv::mail {

struct NetworkOptions {
    // A dead or silent server must not hold the user for long: these bound every wait.
    int connect_timeout_seconds = 15;
    int idle_timeout_seconds = 20;
    // Empty: certificates are checked against the system's store of trusted authorities.
    QByteArray ca_file;
};

// One libcurl easy handle talking to one server: one connection, one login, kept across the
// commands performed on it. Once the first command has succeeded, no second connection may be
// opened: a session that was lost must fail, not quietly start over as a new one (whose message
// numbers could differ, and whose QUIT would commit a deletion meant for the old one).
class CurlSession {
  public:
    CurlSession(const ServerAddress& server, const QString& user, const QString& password,
                const NetworkOptions& options);
    ~CurlSession();  // says goodbye (QUIT) on a connection that is still up, unless abandoned
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    CURL* handle() const { return curl_; }
    const ServerAddress& server() const { return server_; }

    // Runs what the options set on handle() ask for.
    CURLcode perform();
    // Connects and logs in (greeting, capabilities, STARTTLS, AUTH) and stops there: the
    // commands that follow go through curl_easy_send / curl_easy_recv (see CurlStream).
    CURLcode connect_only();
    // The connection's socket, or CURL_SOCKET_BAD when there is none.
    curl_socket_t socket() const;

    // The server's reply lines during the last perform (greeting and capabilities included).
    const QList<QByteArray>& replies() const { return replies_; }
    QByteArray last_reply() const { return replies_.isEmpty() ? QByteArray() : replies_.back(); }

    // Drops the connection without a goodbye, so the server commits nothing of this session.
    void abandon();

    // Why `code` happened, in Japanese, for the user.
    QString describe(CURLcode code) const;

  private:
    static size_t on_header(char* data, size_t size, size_t count, void* self);
    static curl_socket_t on_open_socket(void* self, curlsocktype purpose,
                                        struct curl_sockaddr* address);

    ServerAddress server_;
    CURL* curl_ = nullptr;
    QList<QByteArray> replies_;
    bool established_ = false;
    bool refused_reconnect_ = false;
};

}  // namespace qv::mail
