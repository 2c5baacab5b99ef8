// A stand-in for a network printer: listens on 127.0.0.1, on a port the
// system picks, and keeps every connection's bytes as one job file.
//
//   job_sink PORTFILE DIR
//
// The port number goes to PORTFILE once the socket listens. Job n is received
// into DIR/job-n.part and renamed to DIR/job-n.bin when the sender closes the
// connection, so a reader never sees half a job. Runs until it is killed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool writePort(const std::string &path, unsigned port)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary);
        out << port << '\n';
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void receiveJob(int connection, const std::string &dir, unsigned number)
{
    const std::string part = dir + "/job-" + std::to_string(number) + ".part";
    const std::string done = dir + "/job-" + std::to_string(number) + ".bin";
    std::ofstream out(part, std::ios::binary);
    if (!out) {
        std::perror(part.c_str());
        return;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(connection, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.write(buffer, n);
    }
    out.close();
    std::rename(part.c_str(), done.c_str());
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: job_sink PORTFILE DIR\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // any free port
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::perror("job_sink: listen");
        return 1;
    }
    if (!writePort(argv[1], ntohs(address.sin_port))) {
        std::perror(argv[1]);
        return 1;
    }
    for (unsigned number = 1;;) {
        const int connection = accept(listener, nullptr, nullptr);
        if (connection < 0) {
            if (errno == EINTR)
                continue;
            std::perror("job_sink: accept");
            return 1;
        }
        receiveJob(connection, argv[2], number++);
        close(connection);
    }
}
