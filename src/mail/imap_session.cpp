#include "mail/imap_session.h"

#include "core/kill_point.h"
#include "mail/message_key.h"

#include <QHash>

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

QByteArray message_path(quint32 uidvalidity, quint32 uid, const QByteArray& section = {}) {
    return "/INBOX;UIDVALIDITY=" + QByteArray::number(uidvalidity) +
           ";UID=" + QByteArray::number(uid) + (section.isEmpty() ? "" : ";SECTION=" + section);
}

// The number after the data item `name` in a FETCH answer ("... UID 63 ..."), 0 if none.
quint64 item_number(const QByteArray& text, const QByteArray& name) {
    for (qsizetype at = text.indexOf(name + ' '); at >= 0; at = text.indexOf(name + ' ', at + 1)) {
        if (at > 0 && text[at - 1] != ' ' && text[at - 1] != '(') continue;
        qsizetype end = at + name.size() + 1;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        return text.mid(at + name.size() + 1, end - at - name.size() - 1).toULongLong();
    }
    return 0;
}

// The literal of each FETCH answer among the reply lines, by UID: "* 4 FETCH (UID 9 BODY[...]
// {23}", the 23 bytes on the lines that follow, then the rest of the answer (where the UID may
// come instead).
std::vector<std::pair<quint32, QByteArray>> fetched_literals(const QList<QByteArray>& lines) {
    std::vector<std::pair<quint32, QByteArray>> found;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (!line.startsWith("* ") || !line.contains(" FETCH (")) continue;
        while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
        quint64 uid = item_number(line, "UID");
        QByteArray literal;
        if (line.endsWith('}') && line.lastIndexOf('{') > 0) {
            const qsizetype open = line.lastIndexOf('{');
            const qsizetype length = line.mid(open + 1, line.size() - open - 2).toLongLong();
            while (literal.size() < length && i + 1 < lines.size()) literal += lines[++i];
            QByteArray rest = literal.mid(length);
            literal.truncate(length);
            if (rest.isEmpty() && i + 1 < lines.size() && !lines[i + 1].startsWith("* ")) {
                rest = lines[++i];
            }
            if (!uid) uid = item_number(rest, "UID");
        }
        if (uid > 0 && uid <= kMaxUid) found.emplace_back(static_cast<quint32>(uid), literal);
    }
    return found;
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
    return fetch_section(uids, QByteArray(), receiver);
}

bool ImapSession::fetch_section(const std::vector<quint32>& uids, const QByteArray& section,
                                const Receiver& receiver) {
    if (!open_inbox(true)) return false;
    const auto local = [this] {
        curl_.cancel();
        return fail(QString(), true);
    };
    if (uids.empty()) return true;
    if (!receiver.begin(0)) return local();
    send(message_path(uidvalidity_, uids[0], section), {});
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
        const bool ahead = more && !(receiver.slow_end && receiver.slow_end(i));
        const auto next = [&] { send(message_path(uidvalidity_, uids[i + 1], section), {}); };
        if (ahead) next();
        if (!receiver.end(i)) return local();
        if (more && !ahead) next();
        if (more && !receiver.begin(i + 1)) return local();
    }
    return true;
}

bool ImapSession::message_keys(const std::vector<quint32>& uids, std::vector<QByteArray>* keys) {
    keys->assign(uids.size(), QByteArray());
    if (!open_inbox(true)) return false;
    std::vector<quint32> sorted = uids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    // The Message-ID fields of a few hundred messages an answer. libcurl keeps those lines to
    // itself (they are a literal), but shows them to its reply lines.
    QHash<quint32, QByteArray> by_uid;
    QList<QByteArray> lines;
    for (size_t at = 0; at < sorted.size(); at += kUidsPerCommand / 2) {
        const size_t end = std::min(sorted.size(), at + kUidsPerCommand / 2);
        lines.clear();
        curl_.collect_lines(&lines);
        const bool answered =
            command("/INBOX", "UID FETCH " + uid_set(sorted.data() + at, sorted.data() + end) +
                                  " (BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])");
        curl_.collect_lines(nullptr);
        if (!answered) return false;
        for (const auto& [uid, fields] : fetched_literals(lines)) {
            by_uid.insert(uid, message_key(fields, false));
        }
    }
    // A message without one is known by its whole header.
    std::vector<quint32> whole;
    for (const quint32 uid : sorted) {
        if (by_uid.value(uid).isEmpty()) whole.push_back(uid);
    }
    QByteArray header;
    const Receiver reader{[&](size_t) {
                              header.clear();
                              return true;
                          },
                          [&](const char* data, size_t size) {
                              header.append(data, static_cast<qsizetype>(size));
                              return true;
                          },
                          [&](size_t i) {
                              by_uid.insert(whole[i], message_key(header));
                              return true;
                          }};
    if (!fetch_section(whole, "HEADER", reader)) return false;
    for (size_t i = 0; i < uids.size(); ++i) (*keys)[i] = by_uid.value(uids[i]);
    return true;
}

bool ImapSession::sizes(const std::vector<quint32>& uids, qint64* octets) {
    *octets = 0;
    if (!open_inbox(true)) return false;
    std::vector<quint32> sorted = uids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (size_t at = 0; at < sorted.size(); at += kUidsPerCommand) {
        const size_t end = std::min(sorted.size(), at + kUidsPerCommand);
        if (!command("/INBOX", "UID FETCH " + uid_set(sorted.data() + at, sorted.data() + end) +
                                   " (RFC822.SIZE)")) {
            return false;
        }
        for (const QByteArray& line : answer_lines(text_)) {
            if (line.startsWith("* ") && line.contains(" FETCH (")) {
                *octets += static_cast<qint64>(item_number(line, "RFC822.SIZE"));
            }
        }
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
        kill_point("after-flag");
        if (!command("/INBOX", *uidplus_ ? "UID EXPUNGE " + set : QByteArray("EXPUNGE"))) {
            return false;
        }
        kill_point("after-expunge");
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
