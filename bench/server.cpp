// Local download server of the benchmark, on 127.0.0.1, switched between the behaviours the
// benchmark compares by commands on its standard input, one per line:
//
//   answer   listen, and answer every request that no newer version exists
//            (new_version=<installed version>, url=...)
//   silent   listen and accept, read what comes, never answer
//   closed   no listening socket: connections are refused
//   stats    report "answered N silent N path P" (P: the first path answered, or "-")
//
// Every command is acknowledged with one line ("ok", or the statistics) once it has taken
// effect; the server starts closed and says "ok" when it is ready. End of input ends it.
//
//   bench_server --port PORT --version VERSION
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

enum class Mode { closed, answer, silent };

struct Client {
    int fd;
    Mode mode;
    std::string received;
};

int openListener(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(fd, 64) != 0) {
        std::fprintf(stderr, "bench_server: cannot listen on 127.0.0.1:%d: %s\n", port,
            std::strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

void writeAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd wait { fd, POLLOUT, 0 };
            poll(&wait, 1, 1000);
        } else {
            return;
        }
    }
}

void reply(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    int port = 0;
    std::string version;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--port") == 0)
            port = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--version") == 0)
            version = argv[i + 1];
    }
    if (port <= 0 || port > 65535) {
        std::fprintf(stderr, "usage: bench_server --port PORT --version VERSION\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);

    const std::string body = "new_version=" + version
        + "\r\nurl=http://127.0.0.1:" + std::to_string(port) + "/download\r\n";
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
                               "Content-Length: "
        + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;

    Mode mode = Mode::closed;
    int listener = -1;
    std::vector<Client> clients;
    long answered = 0;
    long silent = 0;
    std::string firstPath = "-";
    std::string input;
    reply("ok");

    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({ STDIN_FILENO, POLLIN, 0 });
        if (listener >= 0)
            fds.push_back({ listener, POLLIN, 0 });
        const size_t firstClient = fds.size();
        for (const Client& client : clients)
            fds.push_back({ client.fd, POLLIN, 0 });
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }

        // Clients first: their descriptors are only valid for this round.
        std::vector<Client> remaining;
        for (size_t i = 0; i < clients.size(); ++i) {
            Client& client = clients[i];
            if (!(fds[firstClient + i].revents & (POLLIN | POLLHUP | POLLERR))) {
                remaining.push_back(client);
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(client.fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                remaining.push_back(client);
                continue;
            }
            if (n <= 0) {
                close(client.fd);
                continue;
            }
            if (client.mode == Mode::silent) {
                remaining.push_back(client);
                continue;
            }
            client.received.append(buffer, size_t(n));
            if (client.received.find("\r\n\r\n") == std::string::npos) {
                remaining.push_back(client);
                continue;
            }
            if (firstPath == "-") {
                const size_t start = client.received.find(' ');
                const size_t end = client.received.find(' ', start + 1);
                if (start != std::string::npos && end != std::string::npos)
                    firstPath = client.received.substr(start + 1, end - start - 1);
            }
            writeAll(client.fd, answer);
            ++answered;
            close(client.fd);
        }
        clients.swap(remaining);

        if (listener >= 0 && (fds[1].revents & POLLIN)) {
            for (;;) {
                const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (fd < 0)
                    break;
                if (mode == Mode::silent)
                    ++silent;
                clients.push_back({ fd, mode, std::string() });
            }
        }

        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[256];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                break;
            input.append(buffer, size_t(n));
            size_t end;
            while ((end = input.find('\n')) != std::string::npos) {
                const std::string command = input.substr(0, end);
                input.erase(0, end + 1);
                if (command == "stats") {
                    reply("answered " + std::to_string(answered) + " silent "
                        + std::to_string(silent) + " path " + firstPath);
                    continue;
                }
                if (command != "answer" && command != "silent" && command != "closed") {
                    reply("error");
                    continue;
                }
                const Mode wanted = command == "answer" ? Mode::answer
                    : command == "silent"               ? Mode::silent
                                                        : Mode::closed;
                if (wanted == Mode::closed && listener >= 0) {
                    close(listener);
                    listener = -1;
                } else if (wanted != Mode::closed && listener < 0) {
                    listener = openListener(port);
                    if (listener < 0) {
                        reply("error");
                        continue;
                    }
                }
                mode = wanted;
                reply("ok");
            }
        }
    }
    for (const Client& client : clients)
        close(client.fd);
    if (listener >= 0)
        close(listener);
    return 0;
}
