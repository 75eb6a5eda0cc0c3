// zq-service: stand-in for the proxy service's account and line-catalogue APIs, with its exit node.
#include "accountstore.h"
#include "atomicfile.h"
#include "catalogue.h"
#include "clock.h"
#include "envelope.h"
#include "hostport.h"
#include "httpserver.h"
#include "serviceapi.h"
#include "servicedata.h"
#include "sysport.h"

#ifdef ZQ_HAVE_EXIT_NODE
#include "exitnode.h"
#endif

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <sys/stat.h>
#include <thread>

#ifndef _WIN32
#include <pthread.h>
#endif

namespace {

using zq::peers::HostPort;

struct Options {
    HostPort listen { "127.0.0.1", 18080 };
    HostPort exitListen { "127.0.0.1", 18090 };
    std::string dataFile;
    std::string stateFile;
    std::string tlsCert;
    std::string tlsKey;
    std::int64_t clockOffset = 0;
};

int usage(const std::string& problem)
{
    std::cerr << "zq-service: " << problem << "\n"
              << "usage: zq-service [--listen HOST:PORT] [--exit-listen HOST:PORT] [--data FILE] [--state FILE]"
                 " [--tls-cert FILE --tls-key FILE] [--clock-offset SECONDS]\n"
                 "  --clock-offset  signed seconds added to the system time for every \"now\" of the service\n"
                 "                  (bind times, today-list expiry, plan expiry); tests age bindings with it.\n"
                 "                  POST /api/test/clock with form field offset changes it at run time\n"
                 "                  (callers on this machine only).\n";
    return 2;
}

bool fileExists(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// build/bin/../../data/service.json next to the executable, else the source tree's copy.
std::string defaultDataFile()
{
    std::string dir = zq::sys::executablePath("");
    const auto slash = dir.find_last_of("/\\");
    if (slash != std::string::npos) {
        dir = dir.substr(0, slash);
        const std::string candidate = dir + "/../../data/service.json";
        if (fileExists(candidate))
            return candidate;
    }
#ifdef ZQ_SERVICE_DEFAULT_DATA
    return ZQ_SERVICE_DEFAULT_DATA;
#else
    return "data/service.json";
#endif
}

// nullopt after reporting the problem.
std::optional<Options> parseArgs(int argc, char** argv, int* status)
{
    Options o;
    *status = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        const auto eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        } else if (arg == "--help" || arg == "-h") {
            *status = usage("help");
            return std::nullopt;
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            *status = usage("missing value for " + arg);
            return std::nullopt;
        }
        if (arg == "--listen" || arg == "--exit-listen") {
            const auto hp = zq::peers::parseHostPort(value);
            if (!hp) {
                *status = usage("bad HOST:PORT for " + arg + ": " + value);
                return std::nullopt;
            }
            (arg == "--listen" ? o.listen : o.exitListen) = *hp;
        } else if (arg == "--data") {
            o.dataFile = value;
        } else if (arg == "--state") {
            o.stateFile = value;
        } else if (arg == "--tls-cert") {
            o.tlsCert = value;
        } else if (arg == "--tls-key") {
            o.tlsKey = value;
        } else if (arg == "--clock-offset") {
            const auto offset = zq::service::parseClockOffset(value);
            if (!offset && !value.empty()) {
                *status = usage("bad number of seconds for --clock-offset: " + value);
                return std::nullopt;
            }
            o.clockOffset = offset.value_or(0);
        } else {
            *status = usage("unknown argument " + arg);
            return std::nullopt;
        }
        if (value.empty()) {
            *status = usage("empty value for " + arg);
            return std::nullopt;
        }
    }
    if (o.tlsCert.empty() != o.tlsKey.empty()) {
        *status = usage("--tls-cert and --tls-key go together");
        return std::nullopt;
    }
    if (o.dataFile.empty())
        o.dataFile = defaultDataFile();
    return o;
}

// Clients reach a wildcard listener through loopback.
std::string reachableHost(const std::string& host)
{
    if (host == "0.0.0.0")
        return "127.0.0.1";
    if (host == "::")
        return "::1";
    return host;
}

#ifdef _WIN32
// No sigwait there: the handlers only raise a flag the main thread watches.
std::atomic<bool> g_stopRequested { false };
void onStopSignal(int)
{
    g_stopRequested = true;
}
#endif

std::string hostPortText(const std::string& host, int port)
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

} // namespace

int main(int argc, char** argv)
{
    int status = 0;
    const auto options = parseArgs(argc, argv, &status);
    if (!options)
        return status;

#ifdef _WIN32
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    // SIGINT/SIGTERM are taken by a waiting thread; block them before any thread starts.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
#endif
    zq::sys::initSockets();

    // Before the state is loaded: loading drops entries older than a day by this clock.
    zq::service::setClockOffset(options->clockOffset);

    std::string error;
    auto data = zq::service::loadServiceData(options->dataFile, &error);
    if (!data) {
        std::cerr << "zq-service: cannot load data file: " << error << std::endl;
        return 1;
    }
    zq::service::Catalogue catalogue(data->lines);
    zq::service::AccountStore store(*data, catalogue);
    if (!options->stateFile.empty()) {
        if (const int stale = zq::peers::removeStaleTemps(options->stateFile))
            std::cerr << "zq-service: removed " << stale << " stale temporary state files" << std::endl;
        std::string detail;
        const auto result = store.load(options->stateFile, &detail);
        if (result == zq::service::AccountStore::LoadResult::Damaged) {
            std::cerr << "zq-service: " << detail << std::endl;
            // A damaged file that could not be moved aside is never overwritten: run in memory.
            if (detail.find("moved it to") == std::string::npos)
                std::cerr << "zq-service: state is kept in memory only" << std::endl;
            else
                store.setStatePath(options->stateFile);
        } else {
            store.setStatePath(options->stateFile);
        }
        // Find out now, not at the first change, when the state cannot be kept.
        if (!store.save(&error)) {
            std::cerr << "zq-service: cannot write the state file: " << error << std::endl;
            return 1;
        }
    }

    // Whole requests within limits and a deadline are read on one loop thread before a worker
    // runs them.
    zq::peers::HttpLimits limits;
    limits.maxBody = 1 << 20;
    limits.workers = 32;
    zq::peers::HttpServer server(std::move(limits));
    std::string scheme = "http";
    if (!options->tlsCert.empty()) {
        if (!server.useTls(options->tlsCert, options->tlsKey, &error)) {
            std::cerr << "zq-service: " << error << std::endl;
            return 1;
        }
        scheme = "https";
    }
    zq::peers::installEnvelopeErrorHandler(server);

    zq::service::ServiceApi api(*data, catalogue, store);

    const HostPort& listen = options->listen;
    const int port = server.bind(listen.host, listen.port, &error);
    if (port <= 0) {
        std::cerr << "zq-service: cannot listen on " << listen.text() << ": " << error << std::endl;
        return 1;
    }

    HostPort exitAddress = options->exitListen;
#ifdef ZQ_HAVE_EXIT_NODE
    zq::socks::ExitNode exitNode(
        [&store](const std::string& user, const std::string& password) -> std::optional<zq::socks::ExitGrant> {
            auto access = store.authorizeExit(user, password);
            if (!access)
                return std::nullopt;
            return zq::socks::ExitGrant { access->bindIp, access->countBytes };
        },
        4);
    const std::uint16_t exitPort = exitNode.listen(exitAddress.host, exitAddress.port);
    if (exitPort == 0) {
        std::cerr << "zq-service: cannot listen for the exit node on " << exitAddress.text() << std::endl;
        return 1;
    }
    exitAddress.port = exitPort;
    exitNode.start();
#endif
    catalogue.setExitServer(hostPortText(reachableHost(exitAddress.host), exitAddress.port));
    api.install(server, scheme);
    store.startFlusher();

    std::thread serving([&server] { server.run(); });
    std::cout << "listening " << scheme << "://" << hostPortText(listen.host, port) << " exit "
              << hostPortText(exitAddress.host, exitAddress.port) << std::endl;

#ifdef _WIN32
    while (!g_stopRequested)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
#else
    int sig = 0;
    sigwait(&stopSignals, &sig);
#endif
    server.stop();
    serving.join();
#ifdef ZQ_HAVE_EXIT_NODE
    exitNode.stop();
#endif
    store.stopFlusher();
    if (!store.save(&error)) {
        std::cerr << "zq-service: cannot save state: " << error << std::endl;
        return 1;
    }
    return 0;
}
