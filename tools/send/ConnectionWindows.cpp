#include "Connection.h"

#include "WindowsText.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace {

std::string systemError(int code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return WindowsText::utf8Of(message);
}

// Winsock is started once, for the life of the program.
bool winsockStarted(std::string* error)
{
    static const int started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (started != 0)
        *error = "Winsock did not start: " + systemError(started);
    return started == 0;
}

} // namespace

std::unique_ptr<Connection> Connection::open(const std::string& host, const std::string& port, std::string* error)
{
    if (!winsockStarted(error))
        return nullptr;
    addrinfoW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfoW* found = nullptr;
    const int lookup = GetAddrInfoW(WindowsText::wideOf(host).c_str(), WindowsText::wideOf(port).c_str(), &hints, &found);
    if (lookup != 0) {
        *error = systemError(lookup);
        return nullptr;
    }
    SOCKET socket = INVALID_SOCKET;
    for (addrinfoW* address = found; address && socket == INVALID_SOCKET; address = address->ai_next) {
        socket = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (socket == INVALID_SOCKET) {
            *error = "no socket could be made: " + systemError(WSAGetLastError());
            continue;
        }
        if (::connect(socket, address->ai_addr, int(address->ai_addrlen)) != 0) {
            *error = systemError(WSAGetLastError());
            closesocket(socket);
            socket = INVALID_SOCKET;
        }
    }
    FreeAddrInfoW(found);
    return socket == INVALID_SOCKET ? nullptr : std::unique_ptr<Connection>(new Connection(std::intptr_t(socket)));
}

Connection::~Connection()
{
    closesocket(SOCKET(m_socket));
}

bool Connection::sendAll(std::string_view bytes, std::string* error)
{
    while (!bytes.empty()) {
        const int piece = int(std::min<std::size_t>(bytes.size(), 1 << 20));
        const int sent = ::send(SOCKET(m_socket), bytes.data(), piece, 0);
        if (sent == SOCKET_ERROR) {
            *error = systemError(WSAGetLastError());
            return false;
        }
        bytes.remove_prefix(std::size_t(sent));
    }
    return true;
}

Connection::Wait Connection::waitReadable(int timeoutMs, std::string* error)
{
    WSAPOLLFD watch{SOCKET(m_socket), POLLRDNORM, 0};
    const int ready = WSAPoll(&watch, 1, timeoutMs);
    if (ready == SOCKET_ERROR) {
        *error = systemError(WSAGetLastError());
        return Wait::Failed;
    }
    return ready > 0 ? Wait::Readable : Wait::TimedOut;
}

long Connection::receive(char* into, std::size_t size, std::string* error, bool peek)
{
    const int got = ::recv(SOCKET(m_socket), into, int(std::min<std::size_t>(size, 1 << 20)), peek ? MSG_PEEK : 0);
    if (got == SOCKET_ERROR) {
        *error = systemError(WSAGetLastError());
        return -1;
    }
    return got;
}

void Connection::shutdownSending()
{
    ::shutdown(SOCKET(m_socket), SD_SEND);
}
