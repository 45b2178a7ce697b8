// tavo-demo-service: the demo school. Parses the command line, loads the sample catalogue,
// listens (HTTP, or HTTPS with --cert/--key), prints "listening on <origin>" once the port
// accepts connections, and serves until SIGINT/SIGTERM (or, with --watch-stdin, until its
// standard input ends).

#include "ApiRoutes.h"
#include "Context.h"
#include "FileRoutes.h"
#include "ListenLoop.h"
#include "ServerLog.h"
#include "Shutdown.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

namespace {

constexpr size_t kMaxRequestBody = 8u << 20;
constexpr size_t kWorkerThreads = 16;

std::unique_ptr<httplib::Server> MakeServer(const demo::Options& options) {
    if (options.cert.empty()) return std::make_unique<httplib::Server>();
    return std::make_unique<httplib::SSLServer>(options.cert.c_str(), options.key.c_str());
}

void Configure(httplib::Server& server) {
    server.set_payload_max_length(kMaxRequestBody);
    server.set_read_timeout(15);
    server.set_write_timeout(30);
    server.set_keep_alive_timeout(5);
    server.set_keep_alive_max_count(100);
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    server.set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown exception";
        try {
            if (ep) std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        demo::LogLine("request " + req.method + " " + req.path + " failed: " + what);
        res.status = 500;
        res.set_content("{\"code\":500,\"msg\":\"服务器内部错误\"}", "application/json; charset=utf-8");
    });
    server.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request& req,
                                                                     httplib::Response& res) {
        // Only unknown addresses get a body here; other errors (416, ...) keep theirs.
        if (res.status != 404 || !res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        if (req.path.rfind("/api/", 0) == 0)
            res.set_content("{\"code\":404,\"msg\":\"接口不存在\"}", "application/json; charset=utf-8");
        else
            res.set_content("not found\n", "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    }));
    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        if (demo::Verbose()) demo::LogLine(req.method + " " + req.path + " -> " + std::to_string(res.status));
    });
}

}  // namespace

int main(int argc, char** argv) {
    demo::Context context;
    std::string message;
    bool help = false;
    if (!demo::ParseOptions(argc, argv, context.options, message, help)) {
        std::cerr << "tavo-demo-service: " << message << "\n" << demo::UsageText();
        return 2;
    }
    if (help) {
        std::cout << demo::UsageText();
        return 0;
    }
    const demo::Options& options = context.options;
    demo::SetVerbose(options.verbose);

    std::error_code ec;
    std::filesystem::create_directories(options.data, ec);
    ::chmod(options.data.c_str(), 0700);
    if (!std::filesystem::is_directory(options.data)) {
        demo::LogLine("cannot create the state folder " + options.data.string());
        return 1;
    }
    if (!context.catalogue.Load(options.catalogue, message)) {
        demo::LogLine("cannot load the catalogue: " + message);
        return 1;
    }
    for (const auto& video : context.catalogue.Videos()) {
        if (!std::filesystem::exists(options.assets / "media" / video.file))
            demo::LogLine("warning: media file missing: " + (options.assets / "media" / video.file).string());
    }
    const std::string secret = demo::LoadOrCreateSecret(options.data);
    if (secret.empty()) {
        demo::LogLine("cannot read or create " + (options.data / "secret.key").string());
        return 1;
    }
    context.signer = std::make_unique<demo::TokenSigner>(secret);
    context.store = std::make_unique<demo::AccountStore>(options.data, context.catalogue);
    if (options.testHooks) context.hooks.Enable();

    // Signals are taken by one thread with sigwait; every other thread inherits the mask.
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto server = MakeServer(options);
    if (!server->is_valid()) {
        demo::LogLine("cannot use the certificate " + options.cert + " and key " + options.key);
        return 1;
    }
    Configure(*server);
    demo::ApiRoutes api(context);
    api.Install(*server);
    demo::InstallFileRoutes(*server, context);
    context.hooks.Install(*server);

    int port = options.port;
    if (port == 0) {
        port = server->bind_to_any_port(options.host);
    } else if (!server->bind_to_port(options.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        demo::LogLine("cannot listen on " + options.host + ":" + std::to_string(options.port));
        return 1;
    }
    const std::string scheme = options.cert.empty() ? "http" : "https";
    const std::string hostPart = options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
    const std::string listening = scheme + "://" + hostPart + ":" + std::to_string(port);
    context.origin = options.origin.empty() ? listening : options.origin;

    demo::ListenLoop loop(*server);
    std::thread signalThread([&loop, signals] {
        int number = 0;
        sigwait(&signals, &number);
        demo::BeginShutdown();
        loop.Stop();
    });
    if (options.watchStdin) {
        std::thread([&loop] {
            char buffer[256];
            while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
            }
            demo::BeginShutdown();
            loop.Stop();
        }).detach();
    }

    std::printf("listening on %s\n", listening.c_str());
    std::fflush(stdout);
    demo::LogLine("serving " + options.catalogue.string() + " with state in " + options.data.string());
    const bool ok = loop.Run();
    ::kill(::getpid(), SIGUSR1);  // releases the signal thread when the stop came from elsewhere
    signalThread.join();
    return ok ? 0 : 1;
}
