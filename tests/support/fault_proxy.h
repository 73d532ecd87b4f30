#pragma once

// A TCP proxy on 127.0.0.1 that stands between the code under test and a real server and
// misbehaves on purpose: it cuts the connection after a given number of bytes from the server,
// never answers at all, hides the server's STLS / STARTTLS capability so that a session stays
// plain, or passes the server's replies on slowly.

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace qv::test {

class FaultProxy {
  public:
    enum class Mode {
        Forward,     // pass everything through (counting connections and bytes)
        CutAfter,    // close the first connection once `limit` bytes went from server to
                     // client; later connections (a retry) pass through
        StallAfter,  // the same, but the connection stays open and goes quiet instead
        Silent       // accept, then never send anything
    };

    FaultProxy(int target_port, Mode mode, long long limit = 0);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    // Replace "STLS" in the server's replies (same length), as a server without STLS would answer.
    void hide_stls() { hide_stls_ = true; }
    // Replace "STARTTLS" in the server's replies with "XTARTTLS" (IMAP, SMTP).
    void hide_starttls() { hide_starttls_ = true; }
    // Hold each piece of the server's replies this long before passing it on: a slow line.
    void delay_replies(int ms) { delay_ms_ = ms; }

    int port() const { return port_; }
    int connections() const { return connections_; }
    long long bytes_to_client() const { return to_client_; }
    bool has_cut() const { return cut_; }
    // Everything the clients sent, for checking what went over the wire in the clear.
    QByteArray from_clients() const;

  private:
    void run();

    int target_port_;
    Mode mode_;
    long long limit_;
    int listen_fd_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<bool> hide_stls_{false};
    std::atomic<bool> hide_starttls_{false};
    std::atomic<int> delay_ms_{0};
    std::atomic<int> connections_{0};
    std::atomic<long long> to_client_{0};
    std::atomic<bool> cut_{false};
    mutable std::mutex mutex_;
    QByteArray from_clients_;
    std::thread thread_;
};

}  // namespace qv::test
