#include "command_line.h"

#include <charconv>
#include <stdexcept>
#include <tuple>

#include "calendar.h"
#include "data_paths.h"

namespace kestrova::sample {
namespace {

long number(std::string_view text, std::string_view what) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) {
        throw std::invalid_argument("bad " + std::string(what) + ": " + std::string(text));
    }
    return value;
}

std::pair<int, int> yearMonth(std::string_view text) {
    const auto month = parseYearMonth(text);
    if (!month) {
        throw std::invalid_argument("bad month (YYYY-MM expected): " + std::string(text));
    }
    return *month;
}

std::vector<std::string_view> split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t pos = text.find(sep, start);
        parts.push_back(text.substr(start, pos - start));
        if (pos == std::string_view::npos) {
            return parts;
        }
        start = pos + 1;
    }
}

}  // namespace

const char* const kUsage =
    "usage: kestrova-sample-server [options]\n"
    "  --bind ADDR            address to listen on (127.0.0.1)\n"
    "  --port N               port (0: a free port)\n"
    "  --https                TLS with the test certificate (or --cert/--key)\n"
    "  --cert FILE --key FILE server certificate and key in PEM\n"
    "  --newest YYYY-MM       newest month file served (default: last month)\n"
    "  --week-days D,D        day files served, yyyymmdd (default: this week's meeting days)\n"
    "  --seed N               data seed (1)\n"
    "  --change-month YYYY-MM generate that month with another seed (repeatable)\n"
    "  --no-validators        no ETag or Last-Modified, no 304 answers\n"
    "  --rate BYTES           body bytes a second, for all connections together\n"
    "  --latency MS           delay before each answer\n"
    "  --cache-pages N        generated pages kept ready (4)\n"
    "  --real-race-lists      race lists link races as the real site does: href links, and\n"
    "                         only the win odds (the others are tabs of the win page)\n"
    "  --fault PATH[@CODE]=KIND\n"
    "                         status:CODE, slow:MS, stall:BYTES:MS, cut:BYTES, oversized:ROWS,\n"
    "                         notables, nocodes, unclosed, duplicate[:N], unknowncode,\n"
    "                         reverseddays, redirect:STATUS, repeat:TIMES, hugecell:BYTES,\n"
    "                         truncate:BYTES, trickle:BYTES:MS, badencoding[:gzip|deflate];\n"
    "                         @CODE limits a fault on a racing-authority path to POSTs of\n"
    "                         that page code; may be repeated\n"
    "  --print-ini            print a Kestrova.Ini for this server\n"
    "  --help                 this text\n";

Fault parseFault(std::string_view option) {
    const std::size_t eq = option.rfind('=');
    if (eq == std::string_view::npos || eq == 0 || option[0] != '/') {
        throw std::invalid_argument("bad fault (PATH=KIND expected): " + std::string(option));
    }
    Fault fault;
    const std::string_view target = option.substr(0, eq);
    const std::size_t at = target.find('@');
    fault.path = std::string(target.substr(0, at));
    if (at != std::string_view::npos) {
        fault.pageCode = std::string(target.substr(at + 1));
        if (fault.pageCode.empty()) {
            throw std::invalid_argument("bad fault (page code after @ expected): " +
                                        std::string(option));
        }
    }
    const std::vector<std::string_view> parts = split(option.substr(eq + 1), ':');
    const std::string_view kind = parts[0];
    const auto want = [&](std::size_t n) {
        if (parts.size() != n + 1) {
            throw std::invalid_argument("bad fault arguments: " + std::string(option));
        }
    };
    if (kind == "status") {
        want(1);
        fault.kind = FaultKind::Status;
        fault.status = static_cast<int>(number(parts[1], "status"));
        if (fault.status < 100 || fault.status > 599) {
            throw std::invalid_argument("bad status: " + std::string(parts[1]));
        }
    } else if (kind == "slow") {
        want(1);
        fault.kind = FaultKind::Slow;
        fault.delay = std::chrono::milliseconds(number(parts[1], "delay"));
    } else if (kind == "stall") {
        want(2);
        fault.kind = FaultKind::StallBody;
        fault.afterBytes = static_cast<std::size_t>(number(parts[1], "byte count"));
        fault.delay = std::chrono::milliseconds(number(parts[2], "delay"));
    } else if (kind == "cut") {
        want(1);
        fault.kind = FaultKind::CutBody;
        fault.afterBytes = static_cast<std::size_t>(number(parts[1], "byte count"));
    } else if (kind == "oversized") {
        want(1);
        fault.kind = FaultKind::OversizedTable;
        fault.rows = static_cast<std::size_t>(number(parts[1], "row count"));
    } else if (kind == "notables") {
        want(0);
        fault.kind = FaultKind::NoTables;
    } else if (kind == "nocodes") {
        want(0);
        fault.kind = FaultKind::NoCodes;
    } else if (kind == "unclosed") {
        want(0);
        fault.kind = FaultKind::UnclosedQuote;
    } else if (kind == "duplicate") {
        if (parts.size() > 1) {
            want(1);
            fault.nth = static_cast<int>(number(parts[1], "position"));
        }
        fault.kind = FaultKind::DuplicateCode;
        if (fault.nth < 1) {
            throw std::invalid_argument("bad position: " + std::string(parts[1]));
        }
    } else if (kind == "unknowncode") {
        want(0);
        fault.kind = FaultKind::UnknownCode;
    } else if (kind == "reverseddays") {
        want(0);
        fault.kind = FaultKind::ReversedDays;
    } else if (kind == "redirect") {
        want(1);
        fault.kind = FaultKind::Redirect;
        fault.status = static_cast<int>(number(parts[1], "status"));
        if (fault.status != 301 && fault.status != 302 && fault.status != 307 &&
            fault.status != 308) {
            throw std::invalid_argument("bad redirect status (301, 302, 307 or 308): " +
                                        std::string(parts[1]));
        }
    } else if (kind == "repeat") {
        want(1);
        fault.kind = FaultKind::Repeat;
        fault.times = static_cast<std::size_t>(number(parts[1], "count"));
    } else if (kind == "hugecell") {
        want(1);
        fault.kind = FaultKind::HugeCell;
        fault.bytes = static_cast<std::size_t>(number(parts[1], "byte count"));
    } else if (kind == "truncate") {
        want(1);
        fault.kind = FaultKind::Truncate;
        fault.bytes = static_cast<std::size_t>(number(parts[1], "byte count"));
    } else if (kind == "trickle") {
        want(2);
        fault.kind = FaultKind::Trickle;
        fault.bytes = static_cast<std::size_t>(number(parts[1], "byte count"));
        fault.delay = std::chrono::milliseconds(number(parts[2], "delay"));
        if (fault.bytes == 0) {
            throw std::invalid_argument("bad byte count: 0");
        }
    } else if (kind == "badencoding") {
        fault.kind = FaultKind::BadEncoding;
        if (parts.size() > 1) {
            want(1);
            if (parts[1] == "deflate") {
                fault.coding = Coding::Deflate;
            } else if (parts[1] != "gzip") {
                throw std::invalid_argument("bad coding (gzip or deflate): " +
                                            std::string(parts[1]));
            }
        }
    } else {
        throw std::invalid_argument("unknown fault kind: " + std::string(kind));
    }
    return fault;
}

CommandLine parseCommandLine(const std::vector<std::string_view>& args) {
    CommandLine cl;
    std::string certDir = KESTROVA_SAMPLE_CERTS;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto value = [&]() -> std::string_view {
            if (i + 1 >= args.size()) {
                throw std::invalid_argument(std::string(arg) + " needs a value");
            }
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            cl.help = true;
        } else if (arg == "--bind") {
            cl.server.bindAddress = std::string(value());
        } else if (arg == "--port") {
            const long port = number(value(), "port");
            if (port > 65535) {
                throw std::invalid_argument("bad port: " + std::to_string(port));
            }
            cl.server.port = static_cast<int>(port);
        } else if (arg == "--https") {
            cl.https = true;
        } else if (arg == "--cert") {
            cl.https = true;
            cl.server.certFile = std::string(value());
        } else if (arg == "--key") {
            cl.https = true;
            cl.server.keyFile = std::string(value());
        } else if (arg == "--newest") {
            std::tie(cl.server.newestYear, cl.server.newestMonth) = yearMonth(value());
        } else if (arg == "--change-month") {
            const std::string_view v = value();
            yearMonth(v);
            cl.server.changedMonths.emplace_back(v);
        } else if (arg == "--real-race-lists") {
            cl.server.realRaceLists = true;
        } else if (arg == "--no-validators") {
            cl.server.validators = false;
        } else if (arg == "--rate") {
            cl.server.bytesPerSecond = static_cast<std::size_t>(number(value(), "rate"));
        } else if (arg == "--latency") {
            cl.server.latency = std::chrono::milliseconds(number(value(), "latency"));
        } else if (arg == "--cache-pages") {
            cl.server.cachedPages = static_cast<std::size_t>(number(value(), "cache-pages"));
        } else if (arg == "--week-days") {
            for (const std::string_view day : split(value(), ',')) {
                if (daysOfKey(day) < 0) {
                    throw std::invalid_argument("bad day (yyyymmdd expected): " + std::string(day));
                }
                cl.server.weekDays.emplace_back(day);
            }
        } else if (arg == "--seed") {
            cl.server.seed = static_cast<std::uint32_t>(number(value(), "seed"));
        } else if (arg == "--fault") {
            cl.faults.push_back(parseFault(value()));
        } else if (arg == "--print-ini") {
            cl.printIni = true;
        } else {
            throw std::invalid_argument("unknown option: " + std::string(arg));
        }
    }
    if (cl.https) {
        if (cl.server.certFile.empty()) {
            cl.server.certFile = certDir + "/server.pem";
        }
        if (cl.server.keyFile.empty()) {
            cl.server.keyFile = certDir + "/server.key";
        }
    }
    return cl;
}

std::string sampleIni(const std::string& hostPort, bool https) {
    // REVNIW "10" selects plain http; anything else https.
    return std::string("[SYS_ENV]\r\nREVNIW=") + (https ? "9" : "10") +
           "\r\nMemberHost=" + hostPort + "\r\nPublicHost=" + hostPort +
           "\r\nRaceAuthorityHost=" + (https ? "https://" : "http://") + hostPort + "\r\n";
}

}  // namespace kestrova::sample
