// Test tool: asks the Ovix Server one question through the common exchange
// code, the way the programs do, and prints what came of it, one fact per
// line ("server=", "result=", "greeting=", "entry=", "error="), so that
// system tests can drive the exchange against the stand-in server.
//
// usage: ovix_ask [--receive-timeout MS] [--greeting-size N] [--trace] ACTION
#include <cstdlib>
#include <iostream>
#include <string>

#include "ovixconfig.h"
#include "ovixserver.h"

namespace {

const char* resultName(int result) {
    switch (result) {
        case OVIX_OK:
            return "ok";
        case OVIX_NO_CONNECTION:
            return "no-connection";
        case OVIX_NO_ANSWER:
            return "no-answer";
        case OVIX_MALFORMED:
            return "malformed";
        case OVIX_WRONG_ACTION:
            return "wrong-action";
    }
    return "unknown";
}

}  // namespace

int main(int argc, char* argv[]) {
    int receiveTimeoutMs = kReceiveTimeoutMs;
    std::size_t greetingSize = kGreetingSize;
    bool trace = false;
    int i = 1;
    for (; i < argc - 1; ++i) {
        std::string option = argv[i];
        if (option == "--receive-timeout") {
            receiveTimeoutMs = std::atoi(argv[++i]);
        } else if (option == "--greeting-size") {
            greetingSize = static_cast<std::size_t>(std::atol(argv[++i]));
        } else if (option == "--trace") {
            trace = true;
        } else {
            break;
        }
    }
    if (i != argc - 1) {
        std::cerr
            << "usage: ovix_ask [--receive-timeout MS] [--greeting-size N] [--trace] ACTION\n";
        return 2;
    }
    std::string insFolder;
    getParamFromOvixConfFile(OVIXCONFFILE, insFolder, "InsFolder");
    const std::string server = getOvixServerIP(insFolder);
    std::cout << "server=" << server << std::endl;
    OvixServerExchange exchange;
    exchange.setTimeouts(kConnectTimeoutMs, receiveTimeoutMs);
    int result =
        exchange.connect(server) ? exchange.ask(argv[i], greetingSize, trace) : OVIX_NO_CONNECTION;
    std::cout << "result=" << resultName(result) << "\n"
              << "greeting=" << exchange.greeting() << "\n";
    for (const auto& entry : exchange.entries()) {
        std::cout << "entry=" << entry << "\n";
    }
    if (!exchange.parseError().empty()) {
        std::cout << "error=" << exchange.parseError();
    }
    std::cout << "answer-size=" << exchange.answer().size() << std::endl;
    return result;
}
