#include "Options.h"

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace demo {

namespace fs = std::filesystem;

namespace {

bool ParseInt(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t& value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() && value >= low && value <= high;
}

fs::path ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : exe.parent_path();
}

fs::path DefaultDataFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) return fs::path(state) / "tavo-demo";
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".local" / "state" / "tavo-demo";
    return fs::temp_directory_path() / ("tavo-demo-" + std::to_string(::getuid()));
}

}  // namespace

std::string UsageText() {
    return "usage: tavo-demo-service [options]\n"
           "  --port N            port to listen on (0, the default: a free port)\n"
           "  --host ADDR         address to listen on (default 127.0.0.1)\n"
           "  --data DIR          state folder (default $XDG_STATE_HOME/tavo-demo)\n"
           "  --catalogue DIR     sample catalogue (default: the built one)\n"
           "  --assets DIR        generated media, documents, pictures and site pages\n"
           "  --cert FILE --key FILE   serve HTTPS with this certificate and key (PEM)\n"
           "  --origin URL        origin written into file addresses (default: the listening one)\n"
           "  --token-ttl SEC     lifetime of session tokens (default 604800; 0: expired at once)\n"
           "  --play-auth-ttl SEC lifetime of play authorisations (default 3600)\n"
           "  --sms-code CODE     the SMS code accepted for every demo number (default 123456)\n"
           "  --test-hooks        enable /__test/ (request log, canned answers) for client tests\n"
           "  --watch-stdin       stop when standard input reaches its end (parent gone)\n"
           "  --verbose           log every request\n";
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& message, bool& help) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                message = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        std::int64_t number = 0;
        if (arg == "--help" || arg == "-h") {
            help = true;
            return true;
        } else if (arg == "--port") {
            if (!value(text) || !ParseInt(text, 0, 65535, number)) {
                message = "--port needs a number from 0 to 65535";
                return false;
            }
            options.port = static_cast<int>(number);
        } else if (arg == "--host") {
            if (!value(options.host)) return false;
        } else if (arg == "--data") {
            if (!value(text)) return false;
            options.data = text;
        } else if (arg == "--catalogue") {
            if (!value(text)) return false;
            options.catalogue = text;
        } else if (arg == "--assets") {
            if (!value(text)) return false;
            options.assets = text;
        } else if (arg == "--cert") {
            if (!value(options.cert)) return false;
        } else if (arg == "--key") {
            if (!value(options.key)) return false;
        } else if (arg == "--origin") {
            if (!value(options.origin)) return false;
            while (!options.origin.empty() && options.origin.back() == '/') options.origin.pop_back();
        } else if (arg == "--token-ttl" || arg == "--play-auth-ttl") {
            if (!value(text) || !ParseInt(text, 0, 10LL * 365 * 24 * 3600, number)) {
                message = std::string(arg) + " needs a number of seconds";
                return false;
            }
            (arg == "--token-ttl" ? options.tokenTtl : options.playAuthTtl) = number;
        } else if (arg == "--sms-code") {
            if (!value(options.smsCode) || options.smsCode.empty()) return false;
        } else if (arg == "--test-hooks") {
            options.testHooks = true;
        } else if (arg == "--watch-stdin") {
            options.watchStdin = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else {
            message = "unknown option " + std::string(arg);
            return false;
        }
    }
    if (options.cert.empty() != options.key.empty()) {
        message = "--cert and --key go together";
        return false;
    }
    if (options.assets.empty()) options.assets = ExecutableFolder().parent_path() / "demo-data";
    if (options.catalogue.empty()) options.catalogue = options.assets / "catalogue";
    if (options.data.empty()) options.data = DefaultDataFolder();
    return true;
}

}  // namespace demo
