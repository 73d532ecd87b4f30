#pragma once

// What a benchmark of the main window stands on instead of servers and the desktop: a mail
// component that finds no mail, an opener that opens nothing, and the dates of seeded mail.
#include "core/opener.h"
#include "mail/mail_component.h"

namespace qv::bench {

class IdleComponent : public qv::MailComponent {
  public:
    qv::MailArray RcvMail(const QString&, const QString&, const QString&, const QString&,
                          const QString&) override {
        return QStringList{QStringLiteral("0 0")};
    }
    std::optional<qv::ParsedMail> ReadMail(const QString&, const QString&) override {
        return std::nullopt;
    }
    QString SendMail(const QString&, const QString&, const QString&, const QString&, const QString&,
                     const QString&) override {
        return {};
    }
    void Sleep(int) override {}
    QString lastError() const override { return {}; }
};

// The received date of the i-th seeded mail: spread over the year, so that sorting has work to do.
inline QString seeded_date(int i) {
    return QStringLiteral("2026/%1/%2 %3:%4:%5")
        .arg(1 + i % 12, 2, 10, QChar('0'))
        .arg(1 + i % 28, 2, 10, QChar('0'))
        .arg(i % 24, 2, 10, QChar('0'))
        .arg(i % 60, 2, 10, QChar('0'))
        .arg((i / 60) % 60, 2, 10, QChar('0'));
}

class NoOpener : public qv::DesktopOpener, public qv::AudioPlayer {
  public:
    bool open(const QString&) override { return true; }
    bool play(const QString&) override { return true; }
};

}  // namespace qv::bench
