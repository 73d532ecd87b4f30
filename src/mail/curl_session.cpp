#include "mail/curl_session.h"

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <mutex>

namespace qv::mail {
namespace {

// Reply lines kept per command: enough for a greeting, CAPA and the answer itself.
constexpr qsizetype kMaxReplies = 64;

void init_curl_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // With CURLOPT_NOSIGNAL curl leaves SIGPIPE alone; a write to a connection the server
        // (or abandon()) closed must give EPIPE, not end the program.
        std::signal(SIGPIPE, SIG_IGN);
    });
}

QString reply_text(const QByteArray& reply) { return QString::fromUtf8(reply).trimmed(); }

const char* protocols_of(MailProtocol protocol) {
    switch (protocol) {
        case MailProtocol::Smtp:
            return "smtp,smtps";
        case MailProtocol::Imap:
            return "imap,imaps";
        case MailProtocol::Pop3:
            break;
    }
    return "pop3,pop3s";
}

// "A005 NO ..." or "A005 BAD ...": the server refused the command tagged A005.
bool imap_refusal(const QByteArray& line) {
    const QList<QByteArray> words = line.split(' ');
    return words.size() >= 2 && words[0] != "*" && words[0] != "+" &&
           (words[1] == "NO" || words[1] == "BAD");
}

}  // namespace

QString connection_lost_reason() {
    return QStringLiteral("サーバーとの接続が切れました。しばらくしてから、もう一度お試しください");
}

QString unreadable_reply_reason(const QByteArray& reply) {
    return QStringLiteral("サーバーの応答を理解できませんでした（%1）").arg(reply_text(reply));
}

CurlSession::CurlSession(const ServerAddress& server, const QString& user, const QString& password,
                         const NetworkOptions& options)
    : server_(server), no_starttls_(options.no_starttls) {
    init_curl_once();
    curl_ = curl_easy_init();
    if (!curl_) return;
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);  // we run on worker threads
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, protocols_of(server.protocol));
    curl_easy_setopt(curl_, CURLOPT_URL, server.url().constData());
    if (!user.isEmpty()) {  // no user: no login (SMTP servers that need none)
        curl_easy_setopt(curl_, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(curl_, CURLOPT_PASSWORD, password.toUtf8().constData());
    }
    switch (server.tls) {
        case TlsMode::Implicit:
            break;  // the scheme says it
        case TlsMode::StartTlsRequired:
            curl_easy_setopt(curl_, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
            break;
        case TlsMode::StartTlsIfOffered:
            curl_easy_setopt(curl_, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
            break;
    }
    if (!options.ca_file.isEmpty()) {
        curl_easy_setopt(curl_, CURLOPT_CAINFO, options.ca_file.constData());
        curl_easy_setopt(curl_, CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT,
                     static_cast<long>(options.connect_timeout_seconds));
    curl_easy_setopt(curl_, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     static_cast<long>(options.idle_timeout_seconds));
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(options.idle_timeout_seconds));
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &CurlSession::on_header);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl_, CURLOPT_OPENSOCKETFUNCTION, &CurlSession::on_open_socket);
    curl_easy_setopt(curl_, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(curl_, CURLOPT_CLOSESOCKETFUNCTION, &CurlSession::on_close_socket);
    curl_easy_setopt(curl_, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(curl_, CURLOPT_BUFFERSIZE, 256L * 1024L);
}

CurlSession::~CurlSession() {
    cancel();
    if (multi_) curl_multi_cleanup(multi_);  // closes the connection (goodbye unless abandoned)
    if (curl_) curl_easy_cleanup(curl_);
}

void CurlSession::start() {
    replies_.clear();
    refusal_.clear();
    if (!curl_) return;
    if (!multi_) multi_ = curl_multi_init();
    if (!multi_ || curl_multi_add_handle(multi_, curl_) != CURLM_OK) return;
    active_ = true;
    int running = 0;
    curl_multi_perform(multi_, &running);
}

CURLcode CurlSession::finish() {
    if (!active_) return curl_ ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
    CURLcode code = CURLE_OK;
    for (bool done = false; !done;) {
        int running = 0;
        if (curl_multi_perform(multi_, &running) != CURLM_OK) {
            code = CURLE_OUT_OF_MEMORY;
            break;
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl_) {
                code = message->data.result;
                done = true;
            }
        }
        // libcurl shortens the wait to its own next timeout.
        if (!done && curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) {
            code = CURLE_OUT_OF_MEMORY;
            break;
        }
    }
    cancel();
    if (code == CURLE_OK) established_ = true;
    return noted(code);
}

void CurlSession::cancel() {
    if (!active_) return;
    curl_multi_remove_handle(multi_, curl_);  // the connection stays in multi_ for the next
    active_ = false;
}

CURLcode CurlSession::perform() {
    if (!curl_) return CURLE_FAILED_INIT;
    replies_.clear();
    refusal_.clear();
    const CURLcode code = curl_easy_perform(curl_);
    if (code == CURLE_OK) established_ = true;
    return noted(code);
}

CURLcode CurlSession::noted(CURLcode code) {
    if (code == CURLE_USE_SSL_FAILED && no_starttls_) *no_starttls_ = true;
    return code;
}

void CurlSession::abandon() {
    if (socket_ != CURL_SOCKET_BAD) {
        ::shutdown(socket_, SHUT_RDWR);  // the QUIT curl would send on closing cannot go out
    }
    established_ = true;  // and nothing may reconnect
}

void CurlSession::allow_new_connection() {
    established_ = false;
    refused_reconnect_ = false;
}

size_t CurlSession::on_header(char* data, size_t size, size_t count, void* self) {
    auto* session = static_cast<CurlSession*>(self);
    const size_t bytes = size * count;
    QByteArray line(data, static_cast<qsizetype>(bytes));
    if (session->collected_) session->collected_->append(line);
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    if (session->replies_.size() >= kMaxReplies) session->replies_.removeFirst();
    if (session->server_.protocol == MailProtocol::Pop3 && line.startsWith("-ERR")) {
        session->refusal_ = line;
        // Before libcurl, closing the connection, says goodbye. Not while logging in: libcurl
        // goes on after some refusals there (CAPA, one of several AUTH mechanisms).
        if (session->established_) session->abandon();
    }
    // An IMAP refusal is followed by libcurl's LOGOUT, whose answer must not hide it.
    if (session->server_.protocol == MailProtocol::Imap && imap_refusal(line)) {
        session->refusal_ = line;
    }
    session->replies_.append(line);
    return bytes;
}

curl_socket_t CurlSession::on_open_socket(void* self, curlsocktype, struct curl_sockaddr* address) {
    auto* session = static_cast<CurlSession*>(self);
    if (session->established_) {
        session->refused_reconnect_ = true;
        return CURL_SOCKET_BAD;
    }
    session->socket_ =
        ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    return session->socket_;
}

int CurlSession::on_close_socket(void* self, curl_socket_t socket) {
    auto* session = static_cast<CurlSession*>(self);
    // Forgotten first: a later abandon() must never shut down a number reused by another file.
    if (socket == session->socket_) session->socket_ = CURL_SOCKET_BAD;
    return ::close(socket);
}

namespace {

// What the user can do about a failure, said after its reason.
const QString kCheckServer = QStringLiteral(
    "。アカウントの設定でサーバーの名前を確認し、ネットワークにつながっているか確かめてください");
const QString kTryLater = QStringLiteral("。しばらくしてから、もう一度お試しください");
const QString kCheckLogin =
    QStringLiteral("。アカウントの設定でユーザー名とパスワードを確認してください");
const QString kCheckTrust = QStringLiteral(
    "。サーバーの名前が正しいか確かめ、直らないときはメールの提供元に問い合わせてください");

}  // namespace

QString CurlSession::describe(CURLcode code) const {
    const bool smtp = server_.protocol == MailProtocol::Smtp;
    const bool imap = server_.protocol == MailProtocol::Imap;
    const QString host = server_.host;
    // A command libcurl saw refused: the refusal, not what came after it (the goodbye).
    const QByteArray reply =
        (code == CURLE_WEIRD_SERVER_REPLY || imap) && !refusal_.isEmpty() ? refusal_ : last_reply();
    switch (code) {
        case CURLE_OK:
            return {};
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return QStringLiteral("サーバーの指定「%1」が正しくありません").arg(host) +
                   kCheckServer;
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("サーバー「%1」が見つかりません").arg(host) + kCheckServer;
        case CURLE_COULDNT_CONNECT:
            if (refused_reconnect_) return connection_lost_reason();
            return QStringLiteral("サーバー「%1」（ポート %2）に接続できません")
                       .arg(host)
                       .arg(server_.port) +
                   kCheckServer;
        case CURLE_OPERATION_TIMEDOUT:
            return QStringLiteral("サーバー「%1」から応答がありません（時間切れ）").arg(host) +
                   kTryLater;
        case CURLE_LOGIN_DENIED:
            return (smtp ? QStringLiteral("認証に失敗しました")
                         : QStringLiteral("パスワードかユーザー名が違います")) +
                   kCheckLogin;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return QStringLiteral("サーバーの証明書を信頼できないため、接続をやめました") +
                   kCheckTrust;
        case CURLE_SSL_CONNECT_ERROR:
            return QStringLiteral("サーバーと暗号化通信を始められませんでした") + kCheckTrust;
        case CURLE_USE_SSL_FAILED:
            return QStringLiteral("サーバーが暗号化通信（STARTTLS）に対応していません") +
                   kCheckTrust;
        case CURLE_WRITE_ERROR:
            return QStringLiteral("受信したメールを保存できませんでした");
        case CURLE_OUT_OF_MEMORY:
            return QStringLiteral("メモリーが足りません");
        case CURLE_ABORTED_BY_CALLBACK:
            return QStringLiteral("中止しました");
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_WEIRD_SERVER_REPLY:
        default:
            break;
    }
    // The server said no: its own words are the best reason we have.
    if (reply.startsWith("-ERR") || (imap && imap_refusal(reply))) {
        if (reply.contains("[AUTH]") || reply.contains("[AUTHENTICATIONFAILED]")) {
            return QStringLiteral("パスワードかユーザー名が違います") + kCheckLogin;
        }
        if (reply.contains("[IN-USE]") || reply.contains("[INUSE]")) {
            return QStringLiteral("メールボックスがほかで使用中です（%1）").arg(reply_text(reply));
        }
        return QStringLiteral("サーバーがエラーを返しました（%1）").arg(reply_text(reply));
    }
    if (smtp && reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5')) {
        if (reply.startsWith("535") || reply.startsWith("534"))
            return QStringLiteral("認証に失敗しました") + kCheckLogin;
        if (reply.startsWith("530"))
            return QStringLiteral("認証が必要です（%1）").arg(reply_text(reply));
        return QStringLiteral("サーバーが受け付けませんでした（%1）").arg(reply_text(reply));
    }
    if (code == CURLE_GOT_NOTHING || code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR ||
        code == CURLE_PARTIAL_FILE || code == CURLE_WEIRD_SERVER_REPLY) {
        return connection_lost_reason();
    }
    return QStringLiteral("通信エラーが起きました（%1）")
               .arg(QString::fromUtf8(curl_easy_strerror(code))) +
           kTryLater;
}

}  // namespace qv::mail
