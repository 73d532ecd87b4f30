#pragma once

// A TCP proxy on 127.0.0.1 before a real server that misbehaves on purpose (see Mode, hide_tls,
// delay_replies). It runs in a thread of its own, as the code under test blocks the test's.

#include <QByteArray>
#include <QObject>
#include <QThread>

#include <atomic>
#include <mutex>

class QTcpServer;

namespace qv::test {

class FaultProxy {  // neither copied nor moved: its thread points at it
  public:
    enum class Mode {
        Forward,     // pass everything through (counting connections)
        CutAfter,    // close the first connection after `limit` bytes from the server;
                     // later connections (a retry) pass through
        StallAfter,  // the same, but it stays open and goes quiet instead
        Silent       // accept, then never send anything
    };

    FaultProxy(int target_port, Mode mode, long long limit = 0);
    ~FaultProxy();

    // Hide the server's STLS / STARTTLS capability, as a server without it would answer.
    void hide_tls() { hide_tls_ = true; }
    // A slow line: each piece of the server's replies is held this long.
    void delay_replies(int ms) { delay_ms_ = ms; }

    int port() const { return port_; }
    int connections() const { return connections_; }
    // Everything the clients sent, for checking what went over the wire in the clear.
    QByteArray from_clients() const;

  private:
    void accept();

    const int target_port_;
    const Mode mode_;
    const long long limit_;
    int port_ = 0;
    std::atomic<bool> hide_tls_{false};
    std::atomic<int> delay_ms_{0};
    std::atomic<int> connections_{0};
    std::atomic<bool> cut_{false};
    bool cutting_ = false;  // a connection that is to be cut is open (proxy thread only)
    mutable std::mutex mutex_;
    QByteArray from_clients_;
    QThread thread_;
    QObject context_;  // lives in thread_
    QTcpServer* server_ = nullptr;
};

}  // namespace qv::test
