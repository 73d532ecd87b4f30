#include "store/mail/pop3_session.h"

namespace qv::mail {
namespace {

struct SinkCall {
    const Pop3Session::Sink* sink;
    bool failed = false;
};

QList<QByteArray> body_lines(const QByteArray& body) {
    QList<QByteArray> lines;
    for (const QByteArray& raw : body.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.isEmpty()) lines.append(line);
    }
    return lines;
}

}  // namespace

Pop3Session::Pop3Session(const ServerAddress& server, const QString& user, const QString& password,
                         const NetworkOptions& options)
    : curl_(server, user, password, options) {}

size_t Pop3Session::on_write(char* data, size_t size, size_t count, void* user) {
    auto* call = static_cast<SinkCall*>(user);
    const size_t bytes = size * count;
    if (!(*call->sink)(data, bytes)) {
        call->failed = true;
        return 0;  // makes curl stop with CURLE_WRITE_ERROR
    }
    return bytes;
}

bool Pop3Session::run(const char* command, int number, bool multiline, const Sink* sink) {
    CURL* h = curl_.handle();
    error_.clear();
    sink_failed_ = false;
    if (!h) {
        error_ = QStringLiteral("通信の準備ができませんでした");
        return false;
    }
    const QByteArray path = number > 0 ? '/' + QByteArray::number(number) : QByteArray("/");
    curl_easy_setopt(h, CURLOPT_URL, curl_.server().url(path).constData());
    // RETR and LIST are curl's own commands (chosen by the path); the rest are custom, and those
    // with one-line answers must not wait for a body: their answer comes as a header line.
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, command);
    curl_easy_setopt(h, CURLOPT_NOBODY, multiline ? 0L : 1L);
    static const Sink discard = [](const char*, size_t) { return true; };
    SinkCall call{sink ? sink : &discard};
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Pop3Session::on_write);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &call);
    const CURLcode code = curl_.perform();
    if (code == CURLE_OK) return true;
    sink_failed_ = call.failed;
    error_ = curl_.describe(code);
    return false;
}

bool Pop3Session::stat(qint64* count, qint64* octets) {
    if (!run("STAT", 0, false, nullptr)) return false;
    for (qsizetype i = curl_.replies().size() - 1; i >= 0; --i) {
        const QByteArray& line = curl_.replies()[i];
        if (!line.startsWith("+OK")) continue;
        const QList<QByteArray> parts = line.simplified().split(' ');
        bool ok_count = false;
        bool ok_size = false;
        if (parts.size() >= 3) {
            *count = parts[1].toLongLong(&ok_count);
            *octets = parts[2].toLongLong(&ok_size);
        }
        if (ok_count && ok_size) return true;
        break;
    }
    error_ = QStringLiteral("サーバーの応答を理解できませんでした（%1）")
                 .arg(QString::fromUtf8(curl_.last_reply()));
    return false;
}

bool Pop3Session::list(QList<QByteArray>* lines) {
    QByteArray body;
    const Sink collect = [&](const char* data, size_t size) {
        body.append(data, static_cast<qsizetype>(size));
        return true;
    };
    if (!run(nullptr, 0, true, &collect)) return false;
    *lines = body_lines(body);
    return true;
}

bool Pop3Session::uidl(std::vector<std::pair<int, QByteArray>>* messages) {
    QByteArray body;
    const Sink collect = [&](const char* data, size_t size) {
        body.append(data, static_cast<qsizetype>(size));
        return true;
    };
    messages->clear();
    if (!run("UIDL", 0, true, &collect)) {
        if (!curl_.last_reply().startsWith("-ERR")) return false;
        // No UIDL on this server (it answered, so the session stands): number the messages
        // from LIST and go without ids.
        QList<QByteArray> lines;
        if (!list(&lines)) return false;
        for (const QByteArray& line : lines) {
            const int n = line.split(' ').value(0).toInt();
            if (n > 0) messages->emplace_back(n, QByteArray());
        }
        return true;
    }
    for (const QByteArray& line : body_lines(body)) {
        const qsizetype space = line.indexOf(' ');
        if (space <= 0) continue;
        const int n = line.left(space).toInt();
        const QByteArray id = line.mid(space + 1).trimmed();
        if (n > 0) messages->emplace_back(n, id);
    }
    return true;
}

bool Pop3Session::retr(int number, const Sink& sink) { return run(nullptr, number, true, &sink); }

bool Pop3Session::dele(int number) { return run("DELE", number, false, nullptr); }

bool Pop3Session::quit() { return run("QUIT", 0, false, nullptr); }

}  // namespace qv::mail
