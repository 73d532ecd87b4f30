#include "store/mail/pop3_session.h"

#include <cstring>

namespace qv::mail {
namespace {

// Messages in flight when the server takes pipelined commands: enough to keep the connection
// busy, few enough that a failure leaves little in vain.
constexpr size_t kWindow = 64;
// A reply line longer than this is not POP3.
constexpr qsizetype kMaxLine = 64 * 1024;
// Consumed input is dropped once this much has piled up.
constexpr qsizetype kCompactAt = 1024 * 1024;

QString server_refused(const QByteArray& line) {
    const QString text = QString::fromUtf8(line).trimmed();
    if (line.contains("[AUTH]")) return QStringLiteral("パスワードかユーザー名が違います");
    if (line.contains("[IN-USE]")) {
        return QStringLiteral("メールボックスがほかで使用中です（%1）").arg(text);
    }
    return QStringLiteral("サーバーがエラーを返しました（%1）").arg(text);
}

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
    : curl_(server, user, password, options), idle_timeout_(options.idle_timeout_seconds) {}

Pop3Session::~Pop3Session() {
    if (connected_ && !finished_) abandon();
}

bool Pop3Session::fail(const QString& reason, bool local) {
    error_ = reason;
    local_failure_ = local;
    failed_ = true;  // the stream may be out of step with the replies: no more commands
    return false;
}

bool Pop3Session::connect() {
    if (failed_) return false;
    if (connected_) return true;
    const CURLcode code = curl_.connect_only();
    if (code != CURLE_OK) return fail(curl_.describe(code));
    connected_ = true;
    for (const QByteArray& line : curl_.replies()) {  // the capabilities, after STLS if any
        if (line.trimmed().toUpper() == "PIPELINING") pipelining_ = true;
    }
    stream_ = std::make_unique<CurlStream>(curl_, idle_timeout_);
    return true;
}

bool Pop3Session::fill() {
    if (pos_ >= kCompactAt) {
        in_.remove(0, pos_);
        pos_ = 0;
    }
    if (!stream_->receive(&in_)) return fail(stream_->error());
    return true;
}

bool Pop3Session::take_line(QByteArray* line) {
    const qsizetype nl = in_.indexOf('\n', pos_);
    if (nl < 0) {
        if (in_.size() - pos_ > kMaxLine) {
            fail(QStringLiteral("サーバーの応答を理解できませんでした"));
        }
        return false;
    }
    *line = in_.mid(pos_, nl - pos_);
    if (line->endsWith('\r')) line->chop(1);
    pos_ = nl + 1;
    return true;
}

bool Pop3Session::read_status(QByteArray* line) {
    while (!take_line(line)) {
        if (failed_ || !fill()) return false;
    }
    return true;
}

bool Pop3Session::take_body(const std::function<bool(const char*, size_t)>& sink, bool* done) {
    *done = false;
    const char* b = in_.constData();
    const qsizetype size = in_.size();
    while (pos_ < size) {
        if (line_start_ && b[pos_] == '.') {
            if (pos_ + 1 >= size) return true;  // too early to tell
            if (b[pos_ + 1] == '\n') {
                pos_ += 2;
                *done = true;
                return true;
            }
            if (b[pos_ + 1] == '\r') {
                if (pos_ + 2 >= size) return true;
                if (b[pos_ + 2] == '\n') {
                    pos_ += 3;
                    *done = true;
                    return true;
                }
            }
            ++pos_;  // a dot the server doubled
            line_start_ = false;
            continue;
        }
        // Everything up to the next line that starts with a dot goes out in one piece.
        const void* hit = ::memmem(b + pos_, static_cast<size_t>(size - pos_), "\n.", 2);
        const qsizetype end = hit ? static_cast<const char*>(hit) - b + 1 : size;
        if (!sink(b + pos_, static_cast<size_t>(end - pos_))) return false;
        line_start_ = b[end - 1] == '\n';
        pos_ = end;
    }
    return true;
}

bool Pop3Session::read_lines(QByteArray* body) {
    const auto collect = [body](const char* data, size_t size) {
        body->append(data, static_cast<qsizetype>(size));
        return true;
    };
    line_start_ = true;
    for (bool done = false; !done;) {
        take_body(collect, &done);
        if (!done && !fill()) return false;
    }
    return true;
}

bool Pop3Session::simple(const QByteArray& command, Reply reply, QByteArray* answer) {
    if (!connect()) return false;
    stream_->queue(command + "\r\n");
    QByteArray status;
    if (!read_status(&status)) return false;
    if (!status.startsWith("+OK")) {
        // A refusal of one command leaves the session usable.
        error_ = server_refused(status);
        local_failure_ = false;
        *answer = status;
        return false;
    }
    if (reply == Reply::Line) {
        *answer = status;
        return true;
    }
    answer->clear();
    return read_lines(answer);
}

bool Pop3Session::stat(qint64* count, qint64* octets) {
    QByteArray line;
    if (!simple("STAT", Reply::Line, &line)) return false;
    const QList<QByteArray> parts = line.simplified().split(' ');
    bool ok_count = false;
    bool ok_size = false;
    if (parts.size() >= 3) {
        *count = parts[1].toLongLong(&ok_count);
        *octets = parts[2].toLongLong(&ok_size);
    }
    if (ok_count && ok_size) return true;
    return fail(
        QStringLiteral("サーバーの応答を理解できませんでした（%1）").arg(QString::fromUtf8(line)));
}

bool Pop3Session::list(QList<QByteArray>* lines) {
    QByteArray body;
    if (!simple("LIST", Reply::Lines, &body)) return false;
    *lines = body_lines(body);
    return true;
}

bool Pop3Session::uidl(std::vector<std::pair<int, QByteArray>>* messages) {
    messages->clear();
    QByteArray body;
    if (!simple("UIDL", Reply::Lines, &body)) {
        if (failed_) return false;
        // No UIDL on this server: number the messages from LIST and go without ids.
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
        if (n > 0) messages->emplace_back(n, line.mid(space + 1).trimmed());
    }
    return true;
}

bool Pop3Session::fetch_and_delete(const std::vector<Step>& steps, const Receiver& receiver) {
    if (steps.empty()) return true;
    if (!connect()) return false;
    // Every RETR first, then every DELE: Dovecot commits the deletions at QUIT about twice as
    // fast when they did not come between the retrievals. Nothing is deleted before QUIT
    // either way, and the terminating line of each message shows that it came whole.
    struct Command {
        bool retrieve;
        size_t step;
    };
    std::vector<Command> commands;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].fetch) commands.push_back({true, i});
    }
    for (size_t i = 0; i < steps.size(); ++i) commands.push_back({false, i});

    const size_t window = pipelining_ ? kWindow : 1;
    size_t sent = 0;
    size_t done = 0;
    bool in_body = false;
    while (done < commands.size()) {
        if (sent < commands.size() && sent - done < window) {
            for (; sent < commands.size() && sent - done < window; ++sent) {
                const Command& c = commands[sent];
                stream_->queue((c.retrieve ? "RETR " : "DELE ") +
                               QByteArray::number(steps[c.step].number) + "\r\n");
            }
            if (!stream_->send_some()) return fail(stream_->error());
        }
        const Command& current = commands[done];
        bool progressed = false;
        if (in_body) {
            bool complete = false;
            if (!take_body(receiver.data, &complete)) return fail(QString(), true);
            if (complete) {
                if (!receiver.end(current.step)) return fail(QString(), true);
                in_body = false;
                ++done;
                progressed = true;
            }
        } else if (QByteArray line; take_line(&line)) {
            if (!line.startsWith("+OK")) return fail(server_refused(line));
            if (current.retrieve) {
                if (!receiver.begin(current.step)) return fail(QString(), true);
                line_start_ = true;
                in_body = true;
            } else {
                ++done;
            }
            progressed = true;
        }
        if (failed_) return false;
        if (!progressed && done < commands.size() && !fill()) return false;
    }
    return true;
}

bool Pop3Session::quit() {
    if (!connected_) {
        finished_ = true;
        return !failed_;
    }
    QByteArray line;
    if (!simple("QUIT", Reply::Line, &line)) {
        abandon();
        return false;
    }
    finished_ = true;
    curl_.abandon();  // the server has said goodbye; curl must not say it again
    return true;
}

void Pop3Session::abandon() {
    curl_.abandon();
    finished_ = true;
}

}  // namespace qv::mail
