#include "Connection.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string systemError(int code)
{
    return std::strerror(code);
}

} // namespace

std::unique_ptr<Connection> Connection::open(const std::string& host, const std::string& port, std::string* error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (lookup != 0) {
        *error = ::gai_strerror(lookup);
        return nullptr;
    }
    int fd = -1;
    for (addrinfo* address = found; address && fd < 0; address = address->ai_next) {
        fd = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (fd < 0) {
            *error = "no socket could be made: " + systemError(errno);
            continue;
        }
        if (::connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
            *error = systemError(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd < 0 ? nullptr : std::unique_ptr<Connection>(new Connection(fd));
}

Connection::~Connection()
{
    ::close(int(m_socket));
}

bool Connection::sendAll(std::string_view bytes, std::string* error)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(int(m_socket), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            *error = systemError(errno);
            return false;
        }
        bytes.remove_prefix(std::size_t(sent));
    }
    return true;
}

Connection::Wait Connection::waitReadable(int timeoutMs, std::string* error)
{
    pollfd watch{int(m_socket), POLLIN, 0};
    int ready = 0;
    while ((ready = ::poll(&watch, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    if (ready < 0) {
        *error = systemError(errno);
        return Wait::Failed;
    }
    return ready > 0 ? Wait::Readable : Wait::TimedOut;
}

long Connection::receive(char* into, std::size_t size, std::string* error, bool peek)
{
    for (;;) {
        const ssize_t got = ::recv(int(m_socket), into, size, peek ? MSG_PEEK : 0);
        if (got >= 0)
            return long(got);
        if (errno != EINTR) {
            *error = systemError(errno);
            return -1;
        }
    }
}

void Connection::shutdownSending()
{
    ::shutdown(int(m_socket), SHUT_WR);
}
