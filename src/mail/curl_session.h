#pragma once

#include "mail/server_address.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <curl/curl.h>

#include <atomic>

namespace qv::mail {

struct NetworkOptions {
    // A dead or silent server must not hold the user for long: these bound every wait.
    int connect_timeout_seconds = 15;
    int idle_timeout_seconds = 20;
    // Empty: certificates are checked against the system's store of trusted authorities.
    QByteArray ca_file;
    // Set when a connection failed because the server offers no STARTTLS that the address
    // requires (nothing was sent then): the caller tells the user, who may allow a plain login.
    std::atomic<bool>* no_starttls = nullptr;
};

// Reasons the sessions share, in Japanese, for the user.
QString connection_lost_reason();
QString unreadable_reply_reason(const QByteArray& reply);

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

    // Runs what the options set on handle() ask for, on the connection of the earlier commands
    // when there was one.
    CURLcode perform();
    // The same in two halves, on a connection that only these halves use: start() sends the
    // command and returns without waiting for the answer, so that the caller can do other work
    // meanwhile; finish() waits for the transfer to end. cancel() ends a started transfer
    // without finishing it.
    void start();
    CURLcode finish();
    void cancel();
    // The connection's socket, or CURL_SOCKET_BAD when there is none.
    curl_socket_t socket() const { return socket_; }

    // The server's reply lines during the last perform (greeting and capabilities included).
    const QList<QByteArray>& replies() const { return replies_; }
    QByteArray last_reply() const { return replies_.isEmpty() ? QByteArray() : replies_.back(); }

    // While set, every reply line (with its line end) is also appended here, however many:
    // the whole answer of a command whose lines libcurl keeps to itself (IMAP literals).
    void collect_lines(QList<QByteArray>* lines) { collected_ = lines; }

    // Drops the connection without a goodbye, so the server commits nothing of this session.
    // On POP3, a command the server refuses (after the first one succeeded) does the same:
    // libcurl would otherwise say goodbye as it closes, and the server would commit.
    void abandon();
    // Lets the next command open a new connection after all (only while the session has
    // changed nothing on the server).
    void allow_new_connection();

    // Why `code` happened, in Japanese, for the user.
    QString describe(CURLcode code) const;

  private:
    static size_t on_header(char* data, size_t size, size_t count, void* self);
    static curl_socket_t on_open_socket(void* self, curlsocktype purpose,
                                        struct curl_sockaddr* address);
    static int on_close_socket(void* self, curl_socket_t socket);

    CURLcode noted(CURLcode code);

    ServerAddress server_;
    std::atomic<bool>* no_starttls_ = nullptr;
    CURL* curl_ = nullptr;
    CURLM* multi_ = nullptr;  // holds the connection between start()/finish() transfers
    bool active_ = false;
    QList<QByteArray> replies_;
    QByteArray refusal_;  // the last "-ERR" of the last perform
    QList<QByteArray>* collected_ = nullptr;
    curl_socket_t socket_ = CURL_SOCKET_BAD;
    bool established_ = false;
    bool refused_reconnect_ = false;
};

}  // namespace qv::mail
