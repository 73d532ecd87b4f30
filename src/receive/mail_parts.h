#pragma once

#include <QString>
#include <QStringList>

namespace qv {

// One received mail as it goes to the database, taken from the mail component's ReadMail
// answer.
struct ReceivedMail {
    QString subject;
    QString sender;
    QString date;
    QString body;
    QString attach;  // the attachment element as the component gave it ("File: <path>"), or ""
};

// Splits a ReadMail answer: the subject follows "subject: ", the sender follows "From:" (its
// leading blank kept), the date is taken as it is, the body follows "Body:" and loses every "_"
// and "-", and the sixth element, when there is one, is the attachment. Missing elements are
// empty texts. Every search is exact (case matters).
ReceivedMail split_read_mail(const QStringList& parts);

// The body as the database keeps it: without double and single quotes.
QString body_for_store(QString body);

// The path of an attachment element: what follows "File: ". An element without that marker
// loses its first five characters, as if the marker stood there; the component always writes
// it.
QString attachment_path(const QString& attach);

// Whether a file in the mail directory is a mail the component saved (as opposed to an
// attachment of one, a voice recording or one of the component's own hidden files).
bool is_saved_mail_name(const QString& name);

}  // namespace qv
