#include "store/mail/curl_stream.h"

#include <poll.h>
#include <cerrno>

namespace qv::mail {
namespace {

constexpr size_t kReadChunk = 256 * 1024;

}  // namespace

CurlStream::CurlStream(CurlSession& session, int idle_timeout_seconds)
    : session_(session), idle_ms_(idle_timeout_seconds * 1000) {}

bool CurlStream::fail(const QString& reason) {
    error_ = reason;
    return false;
}

bool CurlStream::send_some() {
    while (!out_.isEmpty()) {
        size_t sent = 0;
        const CURLcode code = curl_easy_send(session_.handle(), out_.constData(),
                                             static_cast<size_t>(out_.size()), &sent);
        if (code == CURLE_AGAIN) return true;
        if (code != CURLE_OK) return fail(QStringLiteral("サーバーとの接続が切れました"));
        out_.remove(0, static_cast<qsizetype>(sent));
    }
    return true;
}

bool CurlStream::receive(QByteArray* into) {
    const curl_socket_t socket = session_.socket();
    if (socket == CURL_SOCKET_BAD) return fail(QStringLiteral("サーバーとの接続が切れました"));
    for (;;) {
        if (!send_some()) return false;
        const qsizetype before = into->size();
        into->resize(before + static_cast<qsizetype>(kReadChunk));
        size_t got = 0;
        const CURLcode code =
            curl_easy_recv(session_.handle(), into->data() + before, kReadChunk, &got);
        into->resize(before + static_cast<qsizetype>(code == CURLE_OK ? got : 0));
        if (code == CURLE_OK) {
            if (got == 0) return fail(QStringLiteral("サーバーとの接続が切れました"));
            return true;
        }
        if (code != CURLE_AGAIN) {
            return fail(code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR
                            ? QStringLiteral("サーバーとの接続が切れました")
                            : session_.describe(code));
        }
        pollfd p{socket, static_cast<short>(POLLIN | (out_.isEmpty() ? 0 : POLLOUT)), 0};
        const int ready = ::poll(&p, 1, idle_ms_);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            return fail(QStringLiteral("サーバー「%1」から応答がありません（時間切れ）")
                            .arg(session_.server().host));
        }
        if (ready < 0) return fail(QStringLiteral("サーバーとの接続が切れました"));
    }
}

}  // namespace qv::mail
