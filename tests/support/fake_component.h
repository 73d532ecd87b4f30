#pragma once

#include "mail/mail_component.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace qv::test {

// A mail component that answers from a script and remembers every call, in order.
class FakeMailComponent : public MailComponent {
  public:
    struct Call {
        QString method;
        QStringList args;
    };

    MailArray RcvMail(const QString& server, const QString& user, const QString& password,
                      const QString& command, const QString& dir) override {
        calls.push_back({QStringLiteral("RcvMail"), {server, user, password, command, dir}});
        return onRcvMail ? onRcvMail(server, user, command) : std::nullopt;
    }
    std::optional<ParsedMail> ReadMail(const QString& file, const QString& dir) override {
        calls.push_back({QStringLiteral("ReadMail"), {file, dir}});
        const auto it = readResults.constFind(file);
        return it == readResults.cend() ? std::nullopt : std::optional(*it);
    }
    QString SendMail(const QString& smtp, const QString& to, const QString& from,
                     const QString& subject, const QString& body,
                     const QString& attachment) override {
        calls.push_back({QStringLiteral("SendMail"), {smtp, to, from, subject, body, attachment}});
        if (sendHook) sendHook();
        return sendAnswer;
    }
    void Sleep(int seconds) override {
        calls.push_back({QStringLiteral("Sleep"), {QString::number(seconds)}});
    }
    QString lastError() const override { return error; }
    // Reports progress as the real component does during a SAVEALLD (from its thread).
    void report(int done, int total) {
        if (progress_) progress_(done, total);
    }

    // The methods called, in order ("RcvMail STAT", "Sleep 4", ...).
    QStringList trace() const {
        QStringList out;
        for (const Call& c : calls) {
            const int arg = c.method == QLatin1String("RcvMail") ? 3 : c.method == "Sleep" ? 0 : -1;
            out << (arg < 0 ? c.method : c.method + ' ' + c.args[arg]);
        }
        return out;
    }

    std::function<MailArray(const QString& server, const QString& user, const QString& command)>
        onRcvMail;
    std::function<void()> sendHook;
    QHash<QString, ParsedMail> readResults;
    QString sendAnswer;
    QString error;
    std::vector<Call> calls;
};

}  // namespace qv::test
