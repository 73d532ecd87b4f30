#include "mail/pop3_session.h"

#include <sys/socket.h>
#include <cerrno>

namespace qv::mail {
namespace {

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
    : curl_(server, user, password, options),
      server_(server),
      connect_timeout_(options.connect_timeout_seconds),
      idle_timeout_(options.idle_timeout_seconds) {
    if (CURL* h = curl_.handle()) {
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Pop3Session::on_data);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    }
}

Pop3Session::~Pop3Session() {
    if (!finished_) abandon();
}

bool Pop3Session::fail(const QString& reason, bool local) {
    error_ = reason;
    local_failure_ = local;
    failed_ = true;
    return false;
}

size_t Pop3Session::on_data(char* data, size_t size, size_t count, void* self) {
    auto* session = static_cast<Pop3Session*>(self);
    const size_t bytes = size * count;
    if (!session->receiver_) {
        session->text_.append(data, static_cast<qsizetype>(bytes));
        return bytes;
    }
    if (session->receiver_->data(data, bytes)) return bytes;
    session->receiver_failed_ = true;
    session->curl_.abandon();
    return 0;  // libcurl stops with a write error
}

void Pop3Session::send(const QByteArray& path, const char* custom, bool lines) {
    CURL* h = curl_.handle();
    text_.clear();
    receiver_failed_ = false;
    if (h) {
        curl_easy_setopt(h, CURLOPT_URL, server_.url(path).constData());
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, custom);
        curl_easy_setopt(h, CURLOPT_NOBODY, lines ? 0L : 1L);
        // Once a DELE went out, libcurl must never give up on a silent server by saying
        // goodbye (its reaction to a reply that does not come): the whole transfer gets a time
        // limit that ends first, and ends it without one.
        const long limit_ms =
            deleting_ ? 1000L * (idle_timeout_ + (connected_ ? 0 : connect_timeout_)) : 0L;
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limit_ms);
        curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                         static_cast<long>(idle_timeout_ + (deleting_ ? 2 : 0)));
    }
    curl_.start();
}

bool Pop3Session::finish() {
    const CURLcode code = curl_.finish();
    if (code == CURLE_OK) {
        connected_ = true;
        return true;
    }
    if (receiver_failed_) return fail(QString(), true);
    return fail(curl_.describe(code));
}

bool Pop3Session::command(const QByteArray& path, const char* custom, bool lines) {
    if (failed_) return false;
    send(path, custom, lines);
    return finish();
}

bool Pop3Session::connection_lost() const {
    const curl_socket_t socket = curl_.socket();
    if (socket == CURL_SOCKET_BAD) return true;
    char byte = 0;
    const ssize_t n = ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

bool Pop3Session::stat(qint64* count, qint64* octets) {
    if (!command("/", "STAT", false)) return false;
    const QByteArray line = curl_.last_reply();
    const QList<QByteArray> parts = line.simplified().split(' ');
    bool ok_count = false;
    bool ok_size = false;
    if (parts.size() >= 3 && parts[0] == "+OK") {
        *count = parts[1].toLongLong(&ok_count);
        *octets = parts[2].toLongLong(&ok_size);
    }
    if (ok_count && ok_size) return true;
    return fail(unreadable_reply_reason(line));
}

bool Pop3Session::list(QList<QByteArray>* lines) {
    if (!command("/", nullptr, true)) return false;  // LIST
    *lines = body_lines(text_);
    return true;
}

bool Pop3Session::uidl(std::vector<std::pair<int, QByteArray>>* messages) {
    messages->clear();
    if (!command("/", "UIDL", true)) {
        if (deleting_ || local_failure_ || !curl_.last_reply().startsWith("-ERR")) return false;
        // No UIDL on this server: number the messages from LIST and go without ids. libcurl
        // has closed the connection on the refusal; as nothing has changed on the server yet,
        // a new one may take its place.
        failed_ = false;
        curl_.allow_new_connection();
        QList<QByteArray> lines;
        if (!list(&lines)) return false;
        for (const QByteArray& line : lines) {
            const int n = line.split(' ').value(0).toInt();
            if (n > 0) messages->emplace_back(n, QByteArray());
        }
        return true;
    }
    for (const QByteArray& line : body_lines(text_)) {
        const qsizetype space = line.indexOf(' ');
        if (space <= 0) continue;
        const int n = line.left(space).toInt();
        if (n > 0) messages->emplace_back(n, line.mid(space + 1).trimmed());
    }
    return true;
}

bool Pop3Session::retrieve(const std::vector<int>& numbers, const Receiver& receiver) {
    if (failed_) return false;
    const auto local = [this] {
        curl_.cancel();
        return fail(QString(), true);
    };
    const auto retr = [this, &numbers](size_t i) {
        send('/' + QByteArray::number(numbers[i]), nullptr, true);
    };
    if (numbers.empty()) return true;
    if (!receiver.begin(0)) return local();
    retr(0);
    for (size_t i = 0; i < numbers.size(); ++i) {
        // What came before the receiver was ready for it.
        if (!text_.isEmpty() && !receiver.data(text_.constData(), size_t(text_.size()))) {
            return local();
        }
        receiver_ = &receiver;
        const bool fetched = finish();
        receiver_ = nullptr;
        if (!fetched) return false;
        // Over a plain connection, libcurl takes the server closing it as the end of the
        // message: only a connection still open shows that the terminating line came.
        if (connection_lost()) {
            curl_.abandon();
            return fail(connection_lost_reason());
        }
        // The next message is asked for before this one is closed and the next file made, so
        // that the server works on it meanwhile.
        const bool more = i + 1 < numbers.size();
        const bool ahead = more && !(receiver.slow_end && receiver.slow_end(i));
        if (ahead) retr(i + 1);
        if (!receiver.end(i)) return local();
        if (more && !ahead) retr(i + 1);
        if (more && !receiver.begin(i + 1)) return local();
    }
    return true;
}

bool Pop3Session::delete_messages(const std::vector<int>& numbers) {
    for (const int number : numbers) {
        deleting_ = true;
        if (!command('/' + QByteArray::number(number), "DELE", false)) return false;
    }
    return !failed_;
}

bool Pop3Session::fetch_and_delete(const std::vector<Step>& steps, const Receiver& receiver) {
    if (failed_) return false;
    // Every RETR first, then every DELE: Dovecot commits the deletions at QUIT about twice as
    // fast when they did not come between the retrievals. Nothing is deleted before QUIT
    // either way.
    std::vector<int> fetch;
    std::vector<size_t> step_of;
    std::vector<int> all;
    for (size_t i = 0; i < steps.size(); ++i) {
        all.push_back(steps[i].number);
        if (!steps[i].fetch) continue;
        fetch.push_back(steps[i].number);
        step_of.push_back(i);
    }
    const Receiver by_step{[&](size_t i) { return receiver.begin(step_of[i]); }, receiver.data,
                           [&](size_t i) { return receiver.end(step_of[i]); }};
    return retrieve(fetch, by_step) && delete_messages(all);
}

bool Pop3Session::quit() {
    if (failed_ || !connected_) {
        abandon();
        return !failed_;
    }
    if (finished_) return false;  // dropped already, or quit: there is nothing left to commit
    deleting_ = true;             // the same bounded wait as for a DELE
    const bool said = command("/", "QUIT", false);
    abandon();  // the server has said goodbye; libcurl must not say it again
    return said;
}

void Pop3Session::abandon() {
    curl_.abandon();
    finished_ = true;
}

}  // namespace qv::mail
