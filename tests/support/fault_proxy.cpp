#include "support/fault_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <vector>

namespace qv::test {
namespace {

struct Pair {
    int client = -1;
    int server = -1;  // -1 when silent
    long long to_client = 0;
    bool cut_here = false;  // the connection that is to be cut
};

int connect_local(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool send_all(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

void close_pair(Pair& p) {
    if (p.client >= 0) ::close(p.client);
    if (p.server >= 0) ::close(p.server);
    p.client = p.server = -1;
}

}  // namespace

FaultProxy::FaultProxy(int target_port, Mode mode, long long limit)
    : target_port_(target_port), mode_(mode), limit_(limit) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::listen(listen_fd_, 16) == 0 &&
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port_ = ntohs(addr.sin_port);
    }
    if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this] { run(); });
}

FaultProxy::~FaultProxy() {
    const char stop = 'x';
    if (wake_[1] >= 0 && ::write(wake_[1], &stop, 1) != 1) {
        // the loop also ends when the listening socket goes away
    }
    thread_.join();
    ::close(listen_fd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

QByteArray FaultProxy::from_clients() const {
    std::lock_guard lock(mutex_);
    return from_clients_;
}

void FaultProxy::run() {
    std::vector<Pair> pairs;
    char buffer[16384];
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
        for (const Pair& p : pairs) {
            fds.push_back({p.client, POLLIN, 0});
            fds.push_back({p.server, static_cast<short>(p.server >= 0 ? POLLIN : 0), 0});
        }
        if (::poll(fds.data(), fds.size(), 1000) < 0) continue;
        if (fds[0].revents) break;
        const size_t polled = pairs.size();  // a connection accepted now is polled next time
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                ++connections_;
                Pair p{client, -1, 0,
                       (mode_ == Mode::CutAfter || mode_ == Mode::StallAfter) && !cut_};
                if (p.cut_here) {
                    for (const Pair& other : pairs) p.cut_here = p.cut_here && !other.cut_here;
                }
                if (mode_ != Mode::Silent) {
                    p.server = connect_local(target_port_);
                    if (p.server < 0) {
                        ::close(client);
                        continue;
                    }
                }
                pairs.push_back(p);
            }
        }
        for (size_t i = 0; i < polled; ++i) {
            Pair& p = pairs[i];
            const pollfd& from_client = fds[2 + 2 * i];
            const pollfd& from_server = fds[3 + 2 * i];
            if (p.client < 0) continue;
            if (from_client.revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(p.client, buffer, sizeof buffer, 0);
                if (n <= 0 || (p.server >= 0 && !send_all(p.server, buffer, n))) {
                    close_pair(p);
                    continue;
                }
                std::lock_guard lock(mutex_);
                from_clients_.append(buffer, n);
            }
            if (p.server >= 0 && (from_server.revents & (POLLIN | POLLHUP | POLLERR))) {
                ssize_t n = ::recv(p.server, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    close_pair(p);
                    continue;
                }
                if (hide_stls_) {
                    std::string_view view(buffer, static_cast<size_t>(n));
                    for (size_t at = view.find("STLS\r\n"); at != std::string_view::npos;
                         at = view.find("STLS\r\n", at + 1)) {
                        std::copy_n("XTLS", 4, buffer + at);
                    }
                }
                if (hide_starttls_) {
                    std::string_view view(buffer, static_cast<size_t>(n));
                    for (size_t at = view.find("STARTTLS"); at != std::string_view::npos;
                         at = view.find("STARTTLS", at + 1)) {
                        buffer[at] = 'X';
                    }
                }
                if (delay_ms_ > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms_));
                bool cut_now = false;
                if (p.cut_here && p.to_client + n >= limit_) {
                    n = static_cast<ssize_t>(limit_ - p.to_client);
                    cut_now = true;
                }
                if (n > 0 && !send_all(p.client, buffer, n)) {
                    close_pair(p);
                    continue;
                }
                to_client_ += n;
                p.to_client += n;
                if (cut_now) {
                    cut_ = true;
                    if (mode_ == Mode::CutAfter) {
                        close_pair(p);
                    } else {
                        ::close(p.server);  // nothing more reaches the client, which is kept
                        p.server = -1;
                    }
                }
            }
        }
        pairs.erase(
            std::remove_if(pairs.begin(), pairs.end(), [](const Pair& p) { return p.client < 0; }),
            pairs.end());
    }
    for (Pair& p : pairs) close_pair(p);
}

}  // namespace qv::test
