#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "ovixserver.h"
#include "sysutil.h"

namespace {

// A connected pair of stream sockets: the test writes as the server on one
// end and the reader under test reads the other.
struct SocketPair {
    SocketPair() {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        client.reset(fds[0]);
        server.reset(fds[1]);
    }
    UniqueFd client;
    UniqueFd server;
};

// Sends pieces one after another with a pause, so that each arrives in a
// receive of its own, then closes the server end when asked.
void serve(SocketPair& pair, std::vector<std::string> pieces, bool closeAfter) {
    for (const auto& piece : pieces) {
        ASSERT_TRUE(writeAll(pair.server.get(), piece));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (closeAfter) {
        pair.server.reset();
    }
}

}  // namespace

TEST(GetResponsePacket, ReadsUpToTheTerminatorInAnyNumberOfReceives) {
    struct Case {
        std::vector<std::string> pieces;
        bool closeAfter;
        int result;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {{"<command/>\r\n.\r\n"}, false, OVIX_OK, "<command/>"},
        {{"<comm", "and/>\r", "\n.", "\r\n"}, false, OVIX_OK, "<command/>"},
        {{"<a/>\r\n", ".\r\n"}, false, OVIX_OK, "<a/>"},
        {{"x\r\n.\r\ntrailing"}, false, OVIX_OK, "x"},
        {{"no terminator"}, true, OVIX_OK, "no terminator"},
        {{}, true, OVIX_OK, ""},
        {{"\r\n.\r\n"}, false, OVIX_OK, ""},
    };
    for (const auto& c : cases) {
        SocketPair pair;
        std::thread server(serve, std::ref(pair), c.pieces, c.closeAfter);
        std::string answer = "stale";
        EXPECT_EQ(getResponsePacket(pair.client.get(), answer, 5000), c.result);
        EXPECT_EQ(answer, c.answer);
        server.join();
    }
}

TEST(GetResponsePacket, GivesUpOnSilenceAndOnOversizedAnswers) {
    {
        SocketPair pair;
        std::string answer;
        EXPECT_EQ(getResponsePacket(pair.client.get(), answer, 200), OVIX_NO_ANSWER);
    }
    {
        SocketPair pair;
        std::thread server(serve, std::ref(pair), std::vector<std::string>{std::string(3000, 'x')},
                           false);
        std::string answer;
        EXPECT_EQ(getResponsePacket(pair.client.get(), answer, 5000, 2048), OVIX_NO_ANSWER);
        EXPECT_TRUE(answer.empty());
        server.join();
    }
    {
        // Exactly at the cap is still an answer.
        SocketPair pair;
        std::thread server(serve, std::ref(pair),
                           std::vector<std::string>{std::string(2048, 'x') + "\r\n.\r\n"}, false);
        std::string answer;
        EXPECT_EQ(getResponsePacket(pair.client.get(), answer, 5000, 2048), OVIX_OK);
        EXPECT_EQ(answer.size(), 2048u);
        server.join();
    }
}

TEST(RequestFrame, WrapsTheActionAndEndsWithTheTerminator) {
    EXPECT_EQ(requestFrame("GetServerDNS"),
              "<command><action>GetServerDNS</action></command>\r\n.\r\n");
}

TEST(GetOvixServerIP, TakesTheFirstUsableLine) {
    char pattern[] = "/tmp/ovixip-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string ins = pattern;
    ASSERT_EQ(mkdir((ins + "/etc").c_str(), 0755), 0);
    const std::string file = ins + "/etc/hosts.allow";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"# comment\n\n127.0.0.1\n192.0.2.7\n10.0.0.1\n", "192.0.2.7"},
        {"127.0.0.1\n", ""},
        {"127.0.0.1 \n", "127.0.0.1 "},  // taken whole, blank included
        {" # not a comment\n", " # not a comment"},
        {"ovix.example\n", "ovix.example"},
        {"2001:db8::5", "2001:db8::5"},
        {std::string(300, '#') + "\n192.0.2.9\n", "192.0.2.9"},
        {"", ""},
    };
    for (const auto& [content, expected] : cases) {
        std::ofstream(file, std::ios::trunc) << content;
        EXPECT_EQ(getOvixServerIP(ins), expected) << content;
    }
    unlink(file.c_str());
    EXPECT_EQ(getOvixServerIP(ins), "");
    rmdir((ins + "/etc").c_str());
    rmdir(ins.c_str());
}
