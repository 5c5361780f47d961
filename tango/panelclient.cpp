#include "panelclient.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A reply longer than this is no reply of the panel's.
constexpr std::size_t longestReply = 4096;
// An acting request must be taken up by the panel this long before the client gives up on
// it: the time the panel has to act and its reply to come back.
constexpr std::chrono::milliseconds replyAllowance(500);
// How often a connect is tried again while the panel's backlog is full.
constexpr std::chrono::milliseconds connectRetry(20);

int millisecondsUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) + 1 : 0;
}

} // namespace

std::int64_t monotonicMilliseconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string deadlineRequest(const std::string &request, std::int64_t deadlineMs)
{
    return "deadline " + std::to_string(deadlineMs) + ' ' + request;
}

PanelClient::PanelClient(std::string path, std::chrono::milliseconds timeout)
    : socketPath(std::move(path))
    , timeout(timeout)
    , wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{ }

PanelClient::~PanelClient()
{
    closeSocket();
    if (wakeFd >= 0)
        ::close(wakeFd);
}

void PanelClient::abandon()
{
    const std::uint64_t one = 1;
    if (wakeFd >= 0 && ::write(wakeFd, &one, sizeof(one)) < 0) {
        // The counter is already far from zero: it stays readable.
    }
}

int PanelClient::waitFor(short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd wanted[2] = { { fd, events, 0 }, { wakeFd, POLLIN, 0 } };
        const int ready = ::poll(wanted, 2, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || wanted[1].revents)
            return -1;
        if (ready == 0 && Clock::now() < deadline)
            continue; // poll's milliseconds were rounded down
        return ready;
    }
}

bool PanelClient::connectSocket(Clock::time_point deadline, std::string *why)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(address.sun_path)) {
        *why = socketPath + ": the path is too long for a socket";
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *why = socketPath + ": " + std::strerror(errno);
        return false;
    }
    // A panel that does not accept (stopped, its backlog full) makes a local connect fail
    // with EAGAIN rather than wait: it is tried again until the deadline.
    for (;;) {
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno == EINPROGRESS) {
            int error = 0;
            socklen_t size = sizeof(error);
            if (waitFor(POLLOUT, deadline) <= 0
                || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
                *why = socketPath + ": " + (error ? std::strerror(error) : "no connection in time");
                closeSocket();
                return false;
            }
            break;
        }
        const int error = errno;
        if (error != EAGAIN || Clock::now() + connectRetry >= deadline) {
            *why = socketPath + ": "
                + (error == EAGAIN ? "the panel takes no connection" : std::strerror(error));
            closeSocket();
            return false;
        }
        pollfd wake { wakeFd, POLLIN, 0 };
        if (::poll(&wake, 1, int(connectRetry.count())) > 0) {
            *why = socketPath + ": abandoned";
            closeSocket();
            return false;
        }
    }
    received.clear();
    return true;
}

bool PanelClient::sendAll(const std::string &line, Clock::time_point deadline, std::string *why)
{
    std::size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n
            = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(POLLOUT, deadline) > 0)
            continue;
        *why = socketPath + ": "
            + (n < 0 && errno != EAGAIN ? std::strerror(errno)
                                        : "the request could not be sent in time");
        return false;
    }
    return true;
}

void PanelClient::closeSocket()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

PanelClient::Reply PanelClient::ask(const std::string &request, bool acting)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    std::unique_lock<std::timed_mutex> lock(busy, std::defer_lock);
    if (!lock.try_lock_until(deadline))
        return { Outcome::TimedOut, "the panel did not answer an earlier request in time" };

    std::string why;
    if (fd < 0 && !connectSocket(deadline, &why))
        return { Outcome::Unreachable, why };
    std::string line = request;
    if (acting) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - replyAllowance - Clock::now());
        if (left.count() <= 0)
            return { Outcome::TimedOut, "no time left to send \"" + request + "\"" };
        line = deadlineRequest(request, monotonicMilliseconds() + left.count());
    }
    line += '\n';
    if (!sendAll(line, deadline, &why)) {
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
        const int ready = waitFor(POLLIN, deadline);
        if (ready <= 0) {
            closeSocket();
            return { Outcome::TimedOut,
                     "no reply to \"" + request + "\" within " + std::to_string(timeout.count())
                         + " ms" };
        }
        char bytes[1024];
        const ssize_t n = ::recv(fd, bytes, sizeof(bytes), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0 || received.size() + std::size_t(n) > longestReply) {
            closeSocket();
            return { Outcome::Unreachable, socketPath + ": the panel closed the connection" };
        }
        received.append(bytes, std::size_t(n));
    }
}
