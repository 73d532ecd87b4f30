#pragma once

// What a benchmark of the main window stands on instead of servers and the desktop: a mail
// component that finds no mail and an opener that opens nothing.
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

class NoOpener : public qv::DesktopOpener, public qv::AudioPlayer {
  public:
    bool open(const QString&) override { return true; }
    bool play(const QString&) override { return true; }
};

}  // namespace qv::bench
