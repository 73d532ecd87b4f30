#include "mail/imap_session.h"

#include <algorithm>

namespace qv::mail {
namespace {

// libcurl hands every answer line to its header callback too, and gives up on a transfer whose
// lines add up to more than 300 KB; it also cuts a line longer than half its buffer. A SEARCH
// answer is one line, so each SEARCH covers at most this many UIDs (at most 55 KB of digits).
constexpr quint64 kUidWindow = 5000;
// UIDs per STORE and UID EXPUNGE: short command lines, and answers of one line per message.
constexpr size_t kUidsPerCommand = 1000;
constexpr quint64 kMaxUid = 0xffffffffu;

QString renumbered_reason() {
    return QStringLiteral("サーバー側でメールの番号が付け直されたため、中断しました");
}

QString message_gone_reason() {
    return QStringLiteral(
        "受信しようとしたメールがサーバーにありません（ほかで削除された可能性があります）");
}

// The number after "[NAME " in a response code, e.g. "* OK [UIDVALIDITY 1712345678] UIDs valid".
std::optional<quint32> code_number(const QByteArray& line, const QByteArray& name) {
    const QByteArray start = "* OK [" + name + ' ';
    if (!line.startsWith(start)) return std::nullopt;
    const qsizetype close = line.indexOf(']', start.size());
    bool ok = false;
    const quint32 n = line.mid(start.size(), close - start.size()).toUInt(&ok);
    return ok ? std::optional<quint32>(n) : std::nullopt;
}

QList<QByteArray> answer_lines(const QByteArray& text) {
    QList<QByteArray> lines;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.isEmpty()) lines.append(line);
    }
    return lines;
}

// "4:7,9" for 4 5 6 7 9 (sorted, no repeats).
QByteArray uid_set(const quint32* first, const quint32* last) {
    QByteArray set;
    while (first != last) {
        const quint32* run = first;
        while (run + 1 != last && run[1] == run[0] + 1) ++run;
        if (!set.isEmpty()) set += ',';
        set += QByteArray::number(*first);
        if (run != first) set += ':' + QByteArray::number(*run);
        first = run + 1;
    }
    return set;
}

QByteArray message_path(quint32 uidvalidity, quint32 uid) {
    return "/INBOX;UIDVALIDITY=" + QByteArray::number(uidvalidity) +
           ";UID=" + QByteArray::number(uid);
}

}  // namespace

ImapSession::ImapSession(const ServerAddress& server, const QString& user, const QString& password,
                         const NetworkOptions& options)
    : curl_(server, user, password, options), server_(server) {
    if (CURL* h = curl_.handle()) {
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &ImapSession::on_data);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    }
}

ImapSession::~ImapSession() {
    if (!finished_) abandon();
}

bool ImapSession::fail(const QString& reason, bool local) {
    error_ = reason;
    local_failure_ = local;
    failed_ = true;
    return false;
}

size_t ImapSession::on_data(char* data, size_t size, size_t count, void* self) {
    auto* session = static_cast<ImapSession*>(self);
    const size_t bytes = size * count;
    if (!session->receiver_) {
        session->text_.append(data, static_cast<qsizetype>(bytes));
        return bytes;
    }
    if (session->receiver_->data(data, bytes)) return bytes;
    session->receiver_failed_ = true;
    return 0;  // libcurl stops with a write error
}

void ImapSession::send(const QByteArray& path, const QByteArray& custom) {
    text_.clear();
    receiver_failed_ = false;
    if (CURL* h = curl_.handle()) {
        curl_easy_setopt(h, CURLOPT_URL, server_.url(path).constData());
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, custom.isEmpty() ? nullptr : custom.constData());
    }
    curl_.start();
}

bool ImapSession::finish() {
    const CURLcode code = curl_.finish();
    if (code == CURLE_OK) return true;
    if (receiver_failed_) return fail(QString(), true);
    // libcurl's only use of it here: a FETCH that found no such message.
    if (code == CURLE_REMOTE_FILE_NOT_FOUND) return fail(message_gone_reason());
    return fail(curl_.describe(code));
}

bool ImapSession::command(const QByteArray& path, const QByteArray& custom) {
    if (failed_) return false;
    send(path, custom);
    if (!finish()) return false;
    // Mail that arrived or went meanwhile, announced along with any answer.
    for (const QByteArray& line : answer_lines(text_)) {
        if (!line.startsWith("* ")) continue;
        if (line.endsWith(" EXISTS")) exists_ = line.mid(2, line.size() - 9).toLongLong();
        if (line.endsWith(" EXPUNGE") && exists_ > 0) --exists_;
    }
    return true;
}

bool ImapSession::open_inbox(bool read_only) {
    if (failed_) return false;
    if (open_ && read_only_ == read_only) return true;
    // The first time, libcurl selects the INBOX itself before our command, and from then on
    // takes it as selected: the message URLs below then go out as bare UID FETCHes, in
    // whichever mode we opened it.
    if (!command("/INBOX", read_only ? "EXAMINE INBOX" : "SELECT INBOX")) return false;
    std::optional<quint32> validity;
    std::optional<quint32> next;
    for (const QByteArray& line : answer_lines(text_)) {
        if (!validity) validity = code_number(line, "UIDVALIDITY");
        if (!next) next = code_number(line, "UIDNEXT");
    }
    if (!validity || *validity == 0) return fail(unreadable_reply_reason(curl_.last_reply()));
    if (open_ && *validity != uidvalidity_) return fail(renumbered_reason());
    open_ = true;
    read_only_ = read_only;
    uidvalidity_ = *validity;
    uidnext_ = next.value_or(0);
    return true;
}

std::vector<quint32> ImapSession::search_result() const {
    std::vector<quint32> uids;
    for (const QByteArray& line : answer_lines(text_)) {
        if (line != "* SEARCH" && !line.startsWith("* SEARCH ")) continue;
        const QList<QByteArray> words = line.split(' ');
        for (qsizetype i = 2; i < words.size(); ++i) {
            bool ok = false;
            const quint32 uid = words[i].toUInt(&ok);
            if (ok && uid > 0) uids.push_back(uid);
        }
    }
    return uids;
}

bool ImapSession::select(Inbox* inbox) {
    if (!open_inbox(true) || !uids_above(0, &inbox->uids)) return false;
    inbox->uidvalidity = uidvalidity_;
    inbox->uidnext = uidnext_;
    inbox->exists = exists_;
    return true;
}

bool ImapSession::uids_above(quint32 uid, std::vector<quint32>* uids) {
    uids->clear();
    if (failed_ || (!open_ && !open_inbox(true))) return false;
    quint64 from = quint64(uid) + 1;
    if (from > kMaxUid) return true;
    // Windows of UIDs from the lowest one present, the last one open-ended for what arrived
    // after the INBOX was opened. On an empty INBOX, that one alone.
    quint64 last_known = 0;
    if (exists_ > 0) {
        if (!command("/INBOX", "UID SEARCH 1")) return false;  // the UID of message 1
        const std::vector<quint32> lowest = search_result();
        if (!lowest.empty()) from = std::max<quint64>(from, lowest.front());
        if (uidnext_ > 0) last_known = uidnext_ - 1;
    }
    for (;;) {
        const bool open_ended = last_known < from || last_known - from < kUidWindow;
        const quint64 to = open_ended ? kMaxUid : from + kUidWindow - 1;
        const QByteArray range = QByteArray::number(from) + ':' +
                                 (open_ended ? QByteArray("*") : QByteArray::number(to));
        if (!command("/INBOX", "UID SEARCH UID " + range)) return false;
        // "n:*" also names the highest message when all are below n.
        for (const quint32 found : search_result()) {
            if (found >= from && found <= to) uids->push_back(found);
        }
        if (open_ended) break;
        from = to + 1;
    }
    std::sort(uids->begin(), uids->end());
    uids->erase(std::unique(uids->begin(), uids->end()), uids->end());
    return true;
}

bool ImapSession::count_above(quint32 uid, qint64* count) {
    std::vector<quint32> uids;
    if (!uids_above(uid, &uids)) return false;
    *count = static_cast<qint64>(uids.size());
    return true;
}

bool ImapSession::fetch(const std::vector<quint32>& uids, const Receiver& receiver) {
    if (!open_inbox(true)) return false;
    const auto local = [this] {
        curl_.cancel();
        return fail(QString(), true);
    };
    if (uids.empty()) return true;
    if (!receiver.begin(0)) return local();
    send(message_path(uidvalidity_, uids[0]), {});
    for (size_t i = 0; i < uids.size(); ++i) {
        // What came before the receiver was ready for it.
        if (!text_.isEmpty() && !receiver.data(text_.constData(), size_t(text_.size()))) {
            return local();
        }
        receiver_ = &receiver;
        const bool fetched = finish();
        receiver_ = nullptr;
        if (!fetched) return false;
        // The next message is asked for before this one is closed, so that the server works
        // on it meanwhile.
        const bool more = i + 1 < uids.size();
        if (more) send(message_path(uidvalidity_, uids[i + 1]), {});
        if (!receiver.end(i)) return local();
        if (more && !receiver.begin(i + 1)) return local();
    }
    return true;
}

bool ImapSession::delete_messages(const std::vector<quint32>& uids) {
    if (!open_inbox(false)) return false;
    if (uids.empty()) return true;
    if (!uidplus_) {
        if (!command("/INBOX", "CAPABILITY")) return false;
        bool found = false;
        for (const QByteArray& line : answer_lines(text_)) {
            if (line.startsWith("* CAPABILITY "))
                found = found || line.split(' ').contains("UIDPLUS");
        }
        uidplus_ = found;
    }
    std::vector<quint32> sorted = uids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (size_t at = 0; at < sorted.size(); at += kUidsPerCommand) {
        const size_t end = std::min(sorted.size(), at + kUidsPerCommand);
        const QByteArray set = uid_set(sorted.data() + at, sorted.data() + end);
        if (!command("/INBOX", "UID STORE " + set + " +FLAGS.SILENT (\\Deleted)")) return false;
        if (!command("/INBOX", *uidplus_ ? "UID EXPUNGE " + set : QByteArray("EXPUNGE"))) {
            return false;
        }
    }
    return true;
}

bool ImapSession::logout() {
    if (failed_ || !open_) {
        abandon();
        return !failed_;
    }
    if (finished_) return false;
    const bool said = command("/", "LOGOUT");
    abandon();  // the server has said goodbye; libcurl must not say it again
    return said;
}

void ImapSession::abandon() {
    curl_.abandon();
    finished_ = true;
}

}  // namespace qv::mail
