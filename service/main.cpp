// brindleaf-service: the maker's web service for the update check, the feedback and the
// pages, over HTTPS and HTTP on one port.
#include "service/certificate.h"
#include "service/options.h"
#include "service/routes.h"
#include "service/server.h"
#include "service/store.h"

#include <csignal>
#include <iostream>
#include <pthread.h>

int main(int argc, char** argv) {
    using namespace service;
    const std::string program = argc > 0 ? argv[0] : "brindleaf-service";
    ServiceOptions options;
    try {
        options = parseOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    } catch (const UsageError& error) {
        std::cerr << program << ": " << error.what() << "\n" << usageText(program);
        return 2;
    }
    if (options.showHelp) {
        std::cout << usageText(program);
        return 0;
    }

    // SIGTERM and SIGINT are taken by sigwait below; every thread started later inherits
    // the mask, so no handler runs in the middle of a request.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        std::filesystem::create_directories(
            std::filesystem::absolute(options.database).parent_path());
        // Declared before the server, so that it outlives it: the server's last replies
        // wait for rows to be written.
        Store store(options.database);

        ServerConfig config;
        config.bindAddress = options.bindAddress;
        config.port = options.port;
        config.threads = options.threads;
        config.certificate = options.certificate;
        config.privateKey = options.privateKey;
        config.limits.maxConnections = options.maxConnections;
        config.limits.maxConnectionsPerAddress = options.maxConnectionsPerAddress;
        config.limits.maxRequestsPerAddress = options.maxRequestsPerAddress;
        if (config.certificate.empty()) {
            const CertificateFiles files = ensureSelfSignedCertificate(
                std::filesystem::absolute(options.database).parent_path(), {options.bindAddress});
            config.certificate = files.certificate;
            config.privateKey = files.privateKey;
            std::cout << (files.created ? "Created" : "Using") << " self-signed certificate "
                      << config.certificate.string() << "\n"
                      << "  clients trust it with SSL_CERT_FILE=" << config.certificate.string()
                      << "\n";
        }

        Routes routes(store, Release{options.releaseVersion, options.releaseUrl},
                      PostLimits{options.postsPerMinute, options.dailyQuota});
        Server server(config,
                      [&routes](const Request& request, const Client& client, Respond respond) {
                          routes.handle(request, client, std::move(respond));
                      });
        server.start();
        std::cout << "Database " << std::filesystem::absolute(options.database).string() << "\n"
                  << "Offering version \"" << options.releaseVersion << "\" at \""
                  << options.releaseUrl << "\"\n"
                  << "Listening on " << options.bindAddress << ":" << server.port()
                  << " (HTTPS and HTTP)" << std::endl;

        int received = 0;
        sigwait(&stopSignals, &received);
        std::cout << "Stopping on " << (received == SIGTERM ? "SIGTERM" : "SIGINT") << std::endl;
        server.stop();
    } catch (const std::exception& error) {
        std::cerr << program << ": " << error.what() << std::endl;
        return 1;
    }
    std::cout << "Stopped" << std::endl;
    return 0;
}
