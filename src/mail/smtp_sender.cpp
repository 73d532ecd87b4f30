#include "mail/smtp_sender.h"

#include <algorithm>
#include <cstring>

namespace qv::mail {
namespace {

struct Upload {
    const QByteArray* data;
    qsizetype offset = 0;
};

size_t read_upload(char* buffer, size_t size, size_t count, void* user) {
    auto* upload = static_cast<Upload*>(user);
    const qsizetype left = upload->data->size() - upload->offset;
    const qsizetype n = std::min<qsizetype>(left, static_cast<qsizetype>(size * count));
    std::memcpy(buffer, upload->data->constData() + upload->offset, static_cast<size_t>(n));
    upload->offset += n;
    return static_cast<size_t>(n);
}

}  // namespace

QString send_message(const ServerAddress& server, const QString& user, const QString& password,
                     const NetworkOptions& options, const BuiltMessage& message) {
    CurlSession session(server, user, password, options);
    CURL* h = session.handle();
    if (!h) return QStringLiteral("通信の準備ができませんでした");
    const QByteArray sender = '<' + message.sender + '>';
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, sender.constData());
    curl_slist* recipients = nullptr;
    for (const QByteArray& r : message.recipients) {
        recipients = curl_slist_append(recipients, ('<' + r + '>').constData());
    }
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients);
    Upload upload{&message.data};
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &read_upload);
    curl_easy_setopt(h, CURLOPT_READDATA, &upload);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.data.size()));
    const CURLcode code = session.perform();
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, nullptr);
    curl_slist_free_all(recipients);
    return code == CURLE_OK ? QString() : session.describe(code);
}

}  // namespace qv::mail
