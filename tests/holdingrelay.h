#pragma once

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// A relay on a loopback port of its own between the program and the test server's TCP port.
// Holding it makes the connections open at that moment hear nothing more from the server: what
// the server sends them waits in the relay, as the answer of a front waits on a busy backend.
// Connections made later pass as before. A connection that its client shuts is closed at once.
class HoldingRelay
{
public:
    explicit HoldingRelay(std::uint16_t serverPort)
        : serverPort(serverPort)
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(listener, 8) != 0
            || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            closeListener();
            return;
        }
        port = ntohs(address.sin_port);
        relaying = std::thread([this] { relay(); });
    }
    ~HoldingRelay()
    {
        stopping = true;
        if (relaying.joinable())
            relaying.join();
        closeListener();
        for (const Link &link : links) {
            ::close(link.client);
            ::close(link.server);
        }
    }
    HoldingRelay(const HoldingRelay &) = delete;
    HoldingRelay &operator=(const HoldingRelay &) = delete;

    bool listening() const { return listener >= 0; }
    // The host value that connects through the relay.
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    // From now on the connections open now hear nothing more from the server.
    void holdOpenConnections()
    {
        const std::lock_guard lock(mutex);
        for (Link &link : links)
            link.held = true;
    }

private:
    struct Link
    {
        int client;
        int server;
        bool held = false;
    };

    static sockaddr_in loopback(std::uint16_t port)
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return address;
    }

    void closeListener()
    {
        if (listener >= 0)
            ::close(listener);
        listener = -1;
    }

    // Copies what one side has sent to the other; false when the side is gone.
    static bool pass(int from, int to)
    {
        char buffer[65536];
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t wrote = ::write(to, buffer + sent, static_cast<std::size_t>(got - sent));
            if (wrote <= 0)
                return false;
            sent += wrote;
        }
        return true;
    }

    void accept()
    {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = loopback(serverPort);
        if (server < 0
            || ::connect(server, reinterpret_cast<const sockaddr *>(&address), sizeof address)
                != 0) {
            ::close(client);
            if (server >= 0)
                ::close(server);
            return;
        }
        const std::lock_guard lock(mutex);
        links.push_back({client, server});
    }

    void relay()
    {
        while (!stopping) {
            std::vector<pollfd> watched {{listener, POLLIN, 0}};
            {
                const std::lock_guard lock(mutex);
                for (const Link &link : links) {
                    watched.push_back({link.client, POLLIN, 0});
                    watched.push_back({link.server, short(link.held ? 0 : POLLIN), 0});
                }
            }
            // The timeout only lets the relay see that it is to stop.
            if (::poll(watched.data(), watched.size(), 20) <= 0)
                continue;
            if (watched[0].revents & POLLIN)
                accept();
            const std::lock_guard lock(mutex);
            std::vector<Link> open;
            for (std::size_t i = 0; i < (watched.size() - 1) / 2; ++i) {
                Link &link = links[i];
                const short fromClient = watched[1 + 2 * i].revents;
                const short fromServer = watched[2 + 2 * i].revents;
                bool alive = true;
                if (fromClient & (POLLIN | POLLHUP | POLLERR))
                    alive = pass(link.client, link.server);
                // A hold that came during the poll holds from here.
                if (alive && !link.held && (fromServer & (POLLIN | POLLHUP | POLLERR)))
                    alive = pass(link.server, link.client);
                if (alive) {
                    open.push_back(link);
                } else {
                    ::close(link.client);
                    ::close(link.server);
                }
            }
            // Links accepted during this round were not watched yet; they stay.
            open.insert(open.end(), links.begin() + static_cast<long>((watched.size() - 1) / 2),
                        links.end());
            links = std::move(open);
        }
    }

    const std::uint16_t serverPort;
    int listener = -1;
    std::uint16_t port = 0;
    std::mutex mutex;
    std::vector<Link> links;
    std::atomic<bool> stopping {false};
    std::thread relaying;
};
