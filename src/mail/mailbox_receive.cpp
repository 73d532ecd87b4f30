#include "mail/mailbox_receive.h"

#include "core/kill_point.h"
#include "mail/imap_session.h"
#include "mail/pop3_session.h"

#include <QDateTime>
#include <QHash>

#include <cstdio>
#include <deque>

namespace qv::mail {
namespace {

using Failed = std::optional<QStringList>;

QString no_uidl_reason() {
    return QStringLiteral(
        "このサーバーはメールの識別番号（UIDL）に対応していないため、メールをサーバーに残したまま"
        "では受信できません。アカウントの設定で「サーバーにメールを残す」をやめてください");
}

ReceiveRun::Options batches_of(const ReceiveRequest& r, bool keys) {
    ReceiveRun::Options o = r.batches;
    o.keys = keys;
    return o;
}

// Hands each message a session fetches, uids[i] for step i, to the run (POP3 and IMAP alike).
Pop3Session::Receiver feeding(ReceiveRun& run, const std::vector<QByteArray>& uids) {
    return {[&run, &uids](size_t i) { return run.begin(uids[i]); },
            [&run](const char* data, size_t size) { return run.data(data, size); },
            [&run](size_t) { return run.end(); }, [&run](size_t) { return run.batch_due(); }};
}

// After the server has let go of the deletions, a record that cannot be pruned only costs the
// next receive the work: it prunes what the server no longer holds.
void finish(ReceiveRun& run, const QSet<QByteArray>& on_server, const QSet<QByteArray>& deleted) {
    if (!run.finish(on_server, deleted)) {
        std::fprintf(stderr, "quorvel: %s\n", qUtf8Printable(run.error()));
    }
}

// --- POP3 ---

struct Pop3Listing {
    std::vector<int> numbers;
    std::vector<QByteArray> uids;  // a stand-in of this receive's own where the server has none
    QSet<QByteArray> on_server;
};

bool list_pop3(Pop3Session& session, Pop3Listing* listing) {
    std::vector<std::pair<int, QByteArray>> messages;
    if (!session.uidl(&messages)) return false;
    // A server without UIDL: the stand-ins match no message of another receive.
    const QByteArray run = QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    for (const auto& [number, uidl] : messages) {
        listing->numbers.push_back(number);
        listing->uids.push_back(uidl.isEmpty() ? '-' + run + '.' + QByteArray::number(number)
                                               : uidl);
        if (!uidl.isEmpty()) listing->on_server.insert(uidl);
    }
    return true;
}

std::optional<QStringList> receive_pop3(const ReceiveRequest& r, QString* error) {
    Pop3Session session(r.server, r.user, r.password, r.network);
    ReceiveRun run(r.dir, ReceiveRecord::file_name(r.server, r.user), batches_of(r, false), r.sink,
                   r.progress);
    const auto failed = [&](const QString& reason) -> Failed {
        session.abandon();  // no QUIT: the server deletes nothing of this session
        run.fail(reason);
        *error = run.error();
        return std::nullopt;
    };
    if (!run.open()) return failed(run.error());
    Pop3Listing listing;
    if (!list_pop3(session, &listing)) return failed(session.error());
    if (r.keep && static_cast<size_t>(listing.on_server.size()) < listing.uids.size()) {
        return failed(no_uidl_reason());
    }
    if (!run.hand_over_saved()) return failed(run.error());

    std::vector<int> numbers;
    std::vector<QByteArray> uids;
    for (size_t i = 0; i < listing.uids.size(); ++i) {
        if (run.known(listing.uids[i])) continue;
        numbers.push_back(listing.numbers[i]);
        uids.push_back(listing.uids[i]);
    }
    run.expect(static_cast<int>(numbers.size()));
    if (!session.retrieve(numbers, feeding(run, uids))) {
        return failed(session.local_failure() ? run.error() : session.error());
    }
    if (!run.flush()) return failed(run.error());

    // Everything stored, of this receive and of earlier ones that did not get to QUIT: what is
    // stored already while the last batch is being stored, then that batch.
    QSet<QByteArray> deleted;
    const auto delete_stored = [&] {
        std::vector<int> stored;
        for (size_t i = 0; i < listing.uids.size(); ++i) {
            if (!run.stored(listing.uids[i]) || deleted.contains(listing.uids[i])) continue;
            stored.push_back(listing.numbers[i]);
            deleted.insert(listing.uids[i]);
        }
        if (!session.delete_messages(stored)) return false;
        if (!stored.empty()) kill_point("after-dele");
        return true;
    };
    if (!r.keep && !delete_stored()) return failed(session.error());
    if (!run.wait_stored()) return failed(run.error());
    if (!r.keep && !delete_stored()) return failed(session.error());
    kill_point("before-quit");
    if (!session.quit()) return failed(session.error());
    finish(run, listing.on_server, deleted);
    return run.handed();
}

// What the record holds beyond the messages not received yet.
void count_unfinished(const ReceiveRun& run, const QSet<QByteArray>& on_server, NewMail* found) {
    for (const ReceiveRecord::Entry& e : run.record().entries()) {
        if (!run.known(e.uid)) continue;
        if (!e.stored) ++found->unstored;
        if (e.stored && on_server.contains(e.uid)) ++found->stored_on_server;
    }
}

bool count_pop3(const ReceiveRequest& r, NewMail* found, QString* error) {
    Pop3Session session(r.server, r.user, r.password, r.network);
    ReceiveRun run(r.dir, ReceiveRecord::file_name(r.server, r.user), r.batches, {}, {});
    Pop3Listing listing;
    QList<QByteArray> sizes;
    if (!run.open()) {
        *error = run.error();
        return false;
    }
    if (!list_pop3(session, &listing) || !session.list(&sizes)) {
        *error = session.error();
        return false;
    }
    QHash<int, qint64> size_of;
    for (const QByteArray& line : sizes) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() >= 2) size_of.insert(words[0].toInt(), words[1].toLongLong());
    }
    for (size_t i = 0; i < listing.uids.size(); ++i) {
        if (run.known(listing.uids[i])) continue;
        ++found->count;
        found->octets += size_of.value(listing.numbers[i]);
    }
    count_unfinished(run, listing.on_server, found);
    session.quit();
    return true;
}

// --- IMAP ---

QByteArray uid_text(quint32 uid) { return QByteArray::number(uid); }

// Brings the record to the INBOX's UIDVALIDITY. When the server has numbered its messages
// anew, what was received is found again by message_key(): each entry takes the UID of an
// unmatched message with its key (the same mail twice in the INBOX was received twice, or is
// fetched once more). Entries whose messages are gone are forgotten, unless their files still
// wait to be stored.
bool renumber(ImapSession& session, ReceiveRun& run, const ImapSession::Inbox& inbox,
              QString* error) {
    ReceiveRecord& record = run.record();
    if (record.uidvalidity() == inbox.uidvalidity) return true;
    std::vector<ReceiveRecord::Entry> entries;
    if (!record.entries().empty()) {
        std::vector<QByteArray> keys;
        if (!session.message_keys(inbox.uids, &keys)) {
            *error = session.error();
            return false;
        }
        QHash<QByteArray, std::deque<quint32>> by_key;
        for (size_t i = 0; i < keys.size(); ++i) {
            if (!keys[i].isEmpty()) by_key[keys[i]].push_back(inbox.uids[i]);
        }
        int found = 0;
        for (ReceiveRecord::Entry e : record.entries()) {
            if (!run.known(e.uid)) continue;  // its file is lost: fetched again
            const auto match = by_key.find(e.key);
            if (!e.key.isEmpty() && match != by_key.end() && !match->empty()) {
                e.uid = uid_text(match->front());
                match->pop_front();
                entries.push_back(e);
                ++found;
            } else if (!e.stored) {
                if (!e.uid.startsWith('~')) {
                    e.uid = '~' + QByteArray::number(record.uidvalidity()) + '.' + e.uid;
                }
                entries.push_back(e);
            }
        }
        std::fprintf(stderr,
                     "quorvel: the server numbered its INBOX anew (UIDVALIDITY %u, was %u); %d of "
                     "its %d messages were received before\n",
                     inbox.uidvalidity, record.uidvalidity(), found,
                     static_cast<int>(inbox.uids.size()));
    }
    return record.rewrite(inbox.uidvalidity, std::move(entries), error);
}

std::optional<QStringList> receive_imap(const ReceiveRequest& r, QString* error) {
    ImapSession session(r.server, r.user, r.password, r.network);
    ReceiveRun run(r.dir, ReceiveRecord::file_name(r.server, r.user), batches_of(r, true), r.sink,
                   r.progress);
    const auto failed = [&](const QString& reason) -> Failed {
        session.abandon();
        run.fail(reason);
        *error = run.error();
        return std::nullopt;
    };
    if (!run.open()) return failed(run.error());
    ImapSession::Inbox inbox;
    if (!session.select(&inbox)) return failed(session.error());
    QString reason;
    if (!renumber(session, run, inbox, &reason)) return failed(reason);
    if (!run.hand_over_saved()) return failed(run.error());

    std::vector<quint32> fetch;
    std::vector<QByteArray> uids;
    QSet<QByteArray> on_server;
    for (const quint32 uid : inbox.uids) {
        on_server.insert(uid_text(uid));
        if (run.known(uid_text(uid))) continue;
        fetch.push_back(uid);
        uids.push_back(uid_text(uid));
    }
    run.expect(static_cast<int>(fetch.size()));
    if (!session.fetch(fetch, feeding(run, uids))) {
        return failed(session.local_failure() ? run.error() : session.error());
    }
    if (!run.flush() || !run.wait_stored()) return failed(run.error());

    QSet<QByteArray> deleted;
    if (!r.keep) {
        std::vector<quint32> stored;
        for (const quint32 uid : inbox.uids) {
            if (run.stored(uid_text(uid))) stored.push_back(uid);
        }
        if (!session.delete_messages(stored)) return failed(session.error());
        for (const quint32 uid : stored) deleted.insert(uid_text(uid));
    }
    kill_point("before-logout");
    session.logout();  // every change is made already: a goodbye that fails loses nothing
    finish(run, on_server, deleted);
    return run.handed();
}

bool count_imap(const ReceiveRequest& r, NewMail* found, QString* error) {
    ImapSession session(r.server, r.user, r.password, r.network);
    ReceiveRun run(r.dir, ReceiveRecord::file_name(r.server, r.user), batches_of(r, true), {}, {});
    ImapSession::Inbox inbox;
    if (!run.open()) {
        *error = run.error();
        return false;
    }
    if (!session.select(&inbox)) {
        *error = session.error();
        return false;
    }
    if (!renumber(session, run, inbox, error)) return false;
    std::vector<quint32> unknown;
    QSet<QByteArray> on_server;
    for (const quint32 uid : inbox.uids) {
        on_server.insert(uid_text(uid));
        if (!run.known(uid_text(uid))) unknown.push_back(uid);
    }
    found->count = static_cast<qint64>(unknown.size());
    count_unfinished(run, on_server, found);
    if (!session.sizes(unknown, &found->octets)) {
        *error = session.error();
        return false;
    }
    session.logout();
    return true;
}

}  // namespace

std::optional<QStringList> receive_mailbox(const ReceiveRequest& request, QString* error) {
    return request.server.protocol == MailProtocol::Imap ? receive_imap(request, error)
                                                         : receive_pop3(request, error);
}

bool count_new_mail(const ReceiveRequest& request, NewMail* found, QString* error) {
    *found = NewMail{};
    return request.server.protocol == MailProtocol::Imap ? count_imap(request, found, error)
                                                         : count_pop3(request, found, error);
}

}  // namespace qv::mail
