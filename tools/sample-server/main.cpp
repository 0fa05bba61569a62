#include <csignal>
#include <exception>
#include <iostream>

#include "command_line.h"
#include "sample_server.h"

using kestrova::sample::CommandLine;

int main(int argc, char** argv) {
    CommandLine cl;
    try {
        cl = kestrova::sample::parseCommandLine({argv + 1, argv + argc});
    } catch (const std::exception& e) {
        std::cerr << "kestrova-sample-server: " << e.what() << "\n" << kestrova::sample::kUsage;
        return 2;
    }
    if (cl.help) {
        std::cout << kestrova::sample::kUsage;
        return 0;
    }

    // Signals are taken with sigwait on this thread; the server threads never see them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        kestrova::sample::SampleServer server(cl.server);
        for (auto& fault : cl.faults) {
            server.addFault(fault);
        }
        server.start();
        std::cout << "listening on " << (cl.https ? "https" : "http") << "://" << server.hostPort()
                  << std::endl;
        if (cl.printIni) {
            std::cout << kestrova::sample::sampleIni(server.hostPort(), cl.https) << std::flush;
        }
        int received = 0;
        sigwait(&signals, &received);
        server.stop();
    } catch (const std::exception& e) {
        std::cerr << "kestrova-sample-server: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
