// Command line of tavo-demo-service and the folders it works with.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace demo {

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;                      // 0: a free port chosen by the system
    std::filesystem::path data;        // state folder (accounts, secret)
    std::filesystem::path catalogue;   // accounts.json, courses.json, media.json
    std::filesystem::path assets;      // generated media/, docs/, img/ and the site/ pages
    std::string cert, key;             // HTTPS when both are given
    std::string origin;                // public origin written into addresses; default: the listening one
    std::int64_t tokenTtl = 7 * 24 * 3600;
    std::int64_t playAuthTtl = 3600;
    std::string smsCode = "123456";
    bool testHooks = false;
    bool watchStdin = false;
    bool verbose = false;
};

// Fills `options` from the command line and the defaults (folders relative to the
// executable, the state folder under XDG_STATE_HOME). False with a message on bad input;
// `help` is set for --help.
bool ParseOptions(int argc, char** argv, Options& options, std::string& message, bool& help);

std::string UsageText();

}  // namespace demo
