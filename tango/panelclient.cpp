#include "panelclient.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A reply longer than this is no reply of the panel's.
constexpr std::size_t longestReply = 4096;

} // namespace

PanelClient::PanelClient(std::string path, std::chrono::milliseconds timeout)
    : socketPath(std::move(path))
    , timeout(timeout)
{ }

PanelClient::~PanelClient()
{
    closeSocket();
}

bool PanelClient::connectSocket(std::string *why)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(address.sun_path)) {
        *why = socketPath + ": the path is too long for a socket";
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        *why = socketPath + ": " + std::strerror(errno);
        closeSocket();
        return false;
    }
    received.clear();
    return true;
}

void PanelClient::closeSocket()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

PanelClient::Reply PanelClient::ask(const std::string &request)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    std::unique_lock<std::timed_mutex> lock(busy, std::defer_lock);
    if (!lock.try_lock_until(deadline))
        return { Outcome::TimedOut, "the panel did not answer an earlier request in time" };

    std::string why;
    if (fd < 0 && !connectSocket(&why))
        return { Outcome::Unreachable, why };
    const std::string line = request + '\n';
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != ssize_t(line.size())) {
        why = socketPath + ": " + std::strerror(errno);
        closeSocket();
        return { Outcome::Unreachable, why };
    }
    for (;;) {
        const std::size_t end = received.find('\n');
        if (end != std::string::npos) {
            std::string reply = received.substr(0, end);
            received.erase(0, end + 1);
            return { Outcome::Answered, reply };
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - Clock::now());
        pollfd wanted { fd, POLLIN, 0 };
        const int ready = left.count() > 0 ? ::poll(&wanted, 1, int(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            closeSocket();
            return { Outcome::TimedOut,
                     "no reply to \"" + request + "\" within "
                         + std::to_string(timeout.count()) + " ms" };
        }
        char bytes[1024];
        const ssize_t n = ready > 0 ? ::recv(fd, bytes, sizeof(bytes), 0) : -1;
        if (n <= 0 || received.size() + std::size_t(n) > longestReply) {
            closeSocket();
            return { Outcome::Unreachable, socketPath + ": the panel closed the connection" };
        }
        received.append(bytes, std::size_t(n));
    }
}
