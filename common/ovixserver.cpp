#include "ovixserver.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iostream>

#include "XMLParser.h"
#include "extractToken.h"
#include "sysutil.h"

namespace {

const std::string kTerminator = OVIX_TERMINATOR;
const char* const kOvixService = "8789";

// Waits until fd is ready for events or timeoutMs passes; EINTR restarts the
// wait with the time that is left. Returns false on time-out or error.
bool waitFor(int fd, short events, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0) {
            return false;
        }
        struct pollfd p = {fd, events, 0};
        int n = ::poll(&p, 1, static_cast<int>(left.count()));
        if (n > 0) {
            return true;
        }
        if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

bool setBlocking(int fd, bool blocking) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) {
        return false;
    }
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

// Connects one resolved address within timeoutMs; returns the socket or -1.
int connectOne(const struct addrinfo* ai, int timeoutMs) {
    UniqueFd fd(
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol));
    if (!fd.valid()) {
        return -1;
    }
    if (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0) {
        if (errno != EINPROGRESS || !waitFor(fd.get(), POLLOUT, timeoutMs)) {
            return -1;
        }
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
            return -1;
        }
    }
    if (!setBlocking(fd.get(), true)) {
        return -1;
    }
    // A server that stops reading must not hold a send for ever either.
    struct timeval tv = {kReceiveTimeoutMs / 1000, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return fd.release();
}

bool sendAll(int fd, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string getOvixServerIP(const std::string& insFolder) {
    LineReader reader(insFolder + "/etc/hosts.allow");
    std::string line;
    while (reader.next(line) == LineReader::Result::Line) {
        if (line.empty() || line[0] == '#' || line == "127.0.0.1") {
            continue;
        }
        return line;
    }
    return "";
}

int connectWithServer(std::string serverIP, int /*serverPort*/, int timeoutMs) {
    struct addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* list = nullptr;
    if (serverIP.empty() || ::getaddrinfo(serverIP.c_str(), kOvixService, &hints, &list) != 0) {
        return -1;
    }
    int fd = -1;
    for (const struct addrinfo* ai = list; ai != nullptr && fd < 0; ai = ai->ai_next) {
        fd = connectOne(ai, timeoutMs);
    }
    ::freeaddrinfo(list);
    return fd;
}

int getResponsePacket(int clientSocket, std::string& answer, int timeoutMs, std::size_t maxSize) {
    answer.clear();
    char chunk[65536];
    for (;;) {
        if (!waitFor(clientSocket, POLLIN, timeoutMs)) {
            return OVIX_NO_ANSWER;
        }
        ssize_t n = ::recv(clientSocket, chunk, sizeof chunk, 0);
        if (n == 0) {
            return OVIX_OK;  // closed without a terminator: take what came
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return OVIX_NO_ANSWER;
        }
        // The terminator may straddle two receives: look back a little.
        std::size_t from =
            answer.size() >= kTerminator.size() - 1 ? answer.size() - (kTerminator.size() - 1) : 0;
        answer.append(chunk, static_cast<std::size_t>(n));
        std::size_t end = answer.find(kTerminator, from);
        if (end != std::string::npos) {
            answer.resize(end);
            return OVIX_OK;
        }
        if (answer.size() > maxSize) {
            answer.clear();
            return OVIX_NO_ANSWER;
        }
    }
}

std::string requestFrame(const std::string& action) {
    return "<command><action>" + action + "</action></command>" + kTerminator;
}

OvixServerExchange::~OvixServerExchange() {
    close();
}

void OvixServerExchange::close() {
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

void OvixServerExchange::setTimeouts(int connectMs, int receiveMs) {
    connectTimeoutMs_ = connectMs;
    receiveTimeoutMs_ = receiveMs;
}

bool OvixServerExchange::connect(const std::string& serverIP) {
    close();
    socket_ = connectWithServer(serverIP, OVIXSERVERPORT, connectTimeoutMs_);
    return socket_ >= 0;
}

int OvixServerExchange::ask(const std::string& action, std::size_t greetingSize, bool trace) {
    greeting_.clear();
    answer_.clear();
    entries_.clear();
    parseError_.clear();
    if (socket_ < 0) {
        return OVIX_NO_CONNECTION;
    }
    int result = OVIX_NO_ANSWER;
    std::string buffer(greetingSize, '\0');
    ssize_t n = -1;
    if (waitFor(socket_, POLLIN, receiveTimeoutMs_)) {
        n = readSome(socket_, buffer.data(), buffer.size());
    }
    if (n >= 0) {
        greeting_.assign(buffer, 0, static_cast<std::size_t>(n));
        if (trace) {
            std::cout << "Message Length=" << n << "\n"
                      << "Message Received=" << greeting_ << std::endl;
        }
        if (sendAll(socket_, requestFrame(action))) {
            result = getResponsePacket(socket_, answer_, receiveTimeoutMs_);
        }
    }
    close();
    if (result != OVIX_OK) {
        return result;
    }
    if (trace) {
        std::cout << "Message Received=" << answer_ << std::endl;
    }
    if (XMLParser(answer_, entries_, parseError_) != XML_PARSE_OK) {
        return OVIX_MALFORMED;
    }
    std::vector<std::string> first =
        entries_.empty() ? std::vector<std::string>{} : COvixGetCommand(entries_[0]);
    if (first.size() != 2 || !equalsIgnoreCase(first[1], action)) {
        return OVIX_WRONG_ACTION;
    }
    return OVIX_OK;
}
