// The exchange with the Ovix Server: finding its address, connecting, and
// one question per connection (greeting, XML command, XML answer ended by
// "\r\n.\r\n"). Every wait has a deadline and every answer a size cap, so a
// hung or hostile server can stall no program.
#ifndef OVIX_COMMON_OVIXSERVER_H
#define OVIX_COMMON_OVIXSERVER_H

#include <cstddef>
#include <string>
#include <vector>

#define OVIXSERVERPORT 8789

// Ends every request and every answer; not part of the XML.
#define OVIX_TERMINATOR "\r\n.\r\n"

// An answer larger than this fails like a lost connection.
constexpr std::size_t kMaxAnswerSize = 16 * 1024 * 1024;
constexpr int kConnectTimeoutMs = 30 * 1000;
// Longest silence while a greeting or an answer is awaited.
constexpr int kReceiveTimeoutMs = 120 * 1000;

// How much of the greeting one receive takes: the DNS question's buffer is
// smaller than the others'.
constexpr std::size_t kGreetingSizeDNS = 1023;
constexpr std::size_t kGreetingSize = 29999;

// The Ovix Server's address: the first line of insFolder + "/etc/hosts.allow"
// that is not empty, not a "#" comment and not exactly "127.0.0.1", taken
// whole. Empty when there is none or the file cannot be read.
std::string getOvixServerIP(const std::string& insFolder);

// Connects to the Ovix Server at serverIP (a numeric IPv4 or IPv6 address or
// a host name, through the system resolver) on service 8789, trying every
// resolved address in turn, each within timeoutMs. Returns the connected
// socket (close-on-exec), or -1. serverPort is not consulted: the service is
// always 8789.
int connectWithServer(std::string serverIP, int serverPort, int timeoutMs = kConnectTimeoutMs);

// Results of getResponsePacket and of OvixServerExchange::ask.
enum OvixExchangeResult {
    OVIX_OK = 0,
    OVIX_NO_CONNECTION,  // no address connected
    OVIX_NO_ANSWER,      // timed out, failed, or the answer passed its size cap
    OVIX_MALFORMED,      // the answer is not well-formed XML
    OVIX_WRONG_ACTION,   // entry 0 of the answer carries another action
};

// Reads an answer up to its terminator, in as many receives as it takes.
// answer receives the text before the terminator. A peer that closes before
// sending the terminator ends the answer with what arrived (OVIX_OK).
// OVIX_NO_ANSWER when a receive fails, nothing arrives for timeoutMs, or the
// answer grows past maxSize.
int getResponsePacket(int clientSocket, std::string& answer, int timeoutMs = kReceiveTimeoutMs,
                      std::size_t maxSize = kMaxAnswerSize);

// The request frame of one action.
std::string requestFrame(const std::string& action);

// One question to the Ovix Server on its own connection. Separate steps so
// that callers can log between connecting and asking, as the programs do.
class OvixServerExchange {
public:
    OvixServerExchange() = default;
    ~OvixServerExchange();
    OvixServerExchange(const OvixServerExchange&) = delete;
    OvixServerExchange& operator=(const OvixServerExchange&) = delete;

    // Deadlines of the next connect and ask (the defaults otherwise).
    void setTimeouts(int connectMs, int receiveMs);

    // Connects; false when no address connected.
    bool connect(const std::string& serverIP);

    // Reads the greeting (one receive of at most greetingSize bytes), sends the
    // request for action, reads the answer and parses it. With trace, prints
    // "Message Length=" and "Message Received=" lines for the greeting and the
    // answer on standard output. Returns OVIX_OK when entry 0 carries action
    // (compared ignoring case), or the failure. The connection is closed
    // afterwards whatever happens.
    int ask(const std::string& action, std::size_t greetingSize, bool trace);

    const std::string& greeting() const { return greeting_; }
    const std::string& answer() const { return answer_; }
    // The parsed answer; entry 0 is the action.
    const std::vector<std::string>& entries() const { return entries_; }
    // The parse error text of an OVIX_MALFORMED answer.
    const std::string& parseError() const { return parseError_; }

private:
    void close();

    int socket_ = -1;
    int connectTimeoutMs_ = kConnectTimeoutMs;
    int receiveTimeoutMs_ = kReceiveTimeoutMs;
    std::string greeting_;
    std::string answer_;
    std::vector<std::string> entries_;
    std::string parseError_;
};

#endif
