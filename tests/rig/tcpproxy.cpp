// A loopback TCP proxy for fault tests: forwards every connection on a listening port to a target
// port, and on command drops every connection or stalls them.
//   tcpproxy LISTEN_PORT TARGET_PORT
//   SIGUSR1  drop: close every open connection (new ones are still accepted)
//   SIGUSR2  stall: stop forwarding in both directions (bytes wait in the sockets)
//   SIGCONT  resume forwarding after a stall
// It prints "ready" once it listens, and ends on SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t g_drop = 0, g_stall = 0, g_stop = 0;

void OnSignal(int sig) {
    if (sig == SIGUSR1)
        g_drop = 1;
    else if (sig == SIGUSR2)
        g_stall = 1;
    else if (sig == SIGCONT)
        g_stall = 0;
    else
        g_stop = 1;
}

int Connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

struct Pair {
    int client, server;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LISTEN_PORT TARGET_PORT\n", argv[0]);
        return 2;
    }
    const int listenPort = std::atoi(argv[1]), targetPort = std::atoi(argv[2]);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    for (int s : {SIGUSR1, SIGUSR2, SIGCONT, SIGTERM, SIGINT})
        sigaction(s, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int lfd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(listenPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(lfd, 16) != 0) {
        std::perror("listen");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    std::vector<Pair> pairs;
    std::vector<char> buf(64 * 1024);
    while (!g_stop) {
        if (g_drop) {
            for (const Pair& p : pairs) {
                close(p.client);
                close(p.server);
            }
            pairs.clear();
            g_drop = 0;
        }
        std::vector<pollfd> fds{{lfd, POLLIN, 0}};
        if (!g_stall)
            for (const Pair& p : pairs) {
                fds.push_back({p.client, POLLIN, 0});
                fds.push_back({p.server, POLLIN, 0});
            }
        if (poll(fds.data(), fds.size(), 100) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            int c = accept(lfd, nullptr, nullptr);
            if (c >= 0) {
                int s = Connect(targetPort);
                if (s < 0)
                    close(c);
                else
                    pairs.push_back({c, s});
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Pair& p = pairs[(i - 1) / 2];
            if (p.client < 0)
                continue;
            const bool fromClient = fds[i].fd == p.client;
            ssize_t n = read(fds[i].fd, buf.data(), buf.size());
            bool ok = n > 0;
            for (ssize_t off = 0; ok && off < n;) {
                ssize_t w = write(fromClient ? p.server : p.client, buf.data() + off, n - off);
                ok = w > 0;
                off += w;
            }
            if (!ok) {
                close(p.client);
                close(p.server);
                p.client = p.server = -1;
            }
        }
        std::erase_if(pairs, [](const Pair& p) { return p.client < 0; });
    }
    return 0;
}
