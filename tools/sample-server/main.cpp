#include <exception>
#include <iostream>

#include "command_line.h"
#include "sample_server.h"
#include "stop_signal.h"

using kestrova::sample::CommandLine;

int main(int argc, char** argv) {
    kestrova::sample::writeOutputUnchanged();
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

    kestrova::sample::holdStopSignals();

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
        kestrova::sample::waitForStopSignal();
        server.stop();
    } catch (const std::exception& e) {
        std::cerr << "kestrova-sample-server: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
