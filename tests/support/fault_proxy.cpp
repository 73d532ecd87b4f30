#include "support/fault_proxy.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace qv::test {

FaultProxy::FaultProxy(int target_port, Mode mode, long long limit)
    : target_port_(target_port), mode_(mode), limit_(limit) {
    context_.moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(
        &context_,
        [this] {
            server_ = new QTcpServer;
            if (server_->listen(QHostAddress::LocalHost)) port_ = server_->serverPort();
            QObject::connect(server_, &QTcpServer::newConnection, server_, [this] { accept(); });
        },
        Qt::BlockingQueuedConnection);
}

FaultProxy::~FaultProxy() {
    QMetaObject::invokeMethod(
        &context_, [this] { delete server_; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

QByteArray FaultProxy::from_clients() const {
    std::lock_guard lock(mutex_);
    return from_clients_;
}

void FaultProxy::accept() {
    while (QTcpSocket* client = server_->nextPendingConnection()) {
        ++connections_;
        QTcpSocket* target = nullptr;
        if (mode_ != Mode::Silent) {
            target = new QTcpSocket(client);
            target->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(target_port_));
            QObject::connect(target, &QTcpSocket::disconnected, client,
                             &QTcpSocket::disconnectFromHost);
            QObject::connect(client, &QTcpSocket::disconnected, target,
                             &QTcpSocket::disconnectFromHost);
        }
        const bool cut_here =
            (mode_ == Mode::CutAfter || mode_ == Mode::StallAfter) && !cut_ && !cutting_;
        cutting_ = cutting_ || cut_here;
        auto sent = std::make_shared<long long>(0);
        QObject::connect(client, &QTcpSocket::readyRead, client, [this, client, target] {
            const QByteArray data = client->readAll();
            if (target && target->isOpen()) target->write(data);
            std::lock_guard lock(mutex_);
            from_clients_ += data;
        });
        if (!target) continue;
        QObject::connect(target, &QTcpSocket::readyRead, target, [=, this] {
            QByteArray data = target->readAll();
            if (hide_tls_) data.replace("STLS\r\n", "XTLS\r\n").replace("STARTTLS", "XTARTTLS");
            if (delay_ms_ > 0) QThread::msleep(static_cast<unsigned long>(delay_ms_.load()));
            const bool cut_now = cut_here && *sent + data.size() >= limit_;
            if (cut_now) data.truncate(limit_ - *sent);
            if (client->isOpen()) client->write(data);
            *sent += data.size();
            if (!cut_now) return;
            cut_ = true;
            cutting_ = false;
            target->disconnect();  // nothing more reaches the client
            target->abort();
            if (mode_ == Mode::CutAfter) client->disconnectFromHost();
        });
    }
}

}  // namespace qv::test
