#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// One TCP connection, over BSD sockets or Winsock: what the sender needs
// and no more. Failures come back with the system's reason in words.
class Connection
{
public:
    // The first address of host that takes the connection; null with the
    // reason when none does.
    static std::unique_ptr<Connection> open(const std::string& host, const std::string& port, std::string* error);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool sendAll(std::string_view bytes, std::string* error);

    enum class Wait { Readable, TimedOut, Failed };
    // Readable also when the peer has closed or reset the connection.
    Wait waitReadable(int timeoutMs, std::string* error);

    // Bytes read (above 0), 0 when the peer has closed, -1 on a failure.
    // peek leaves the bytes to be read again.
    long receive(char* into, std::size_t size, std::string* error, bool peek = false);

    // Our side is done sending; the peer reads the end of the stream.
    void shutdownSending();

private:
    explicit Connection(std::intptr_t socket)
        : m_socket(socket)
    {
    }

    std::intptr_t m_socket;
};
