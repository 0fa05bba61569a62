// The temporary names of new files, the same on every system.
#include "base/new_file.h"

#include <charconv>
#include <random>

#include "base/process.h"

namespace kestrova {

std::string uniqueTemporarySuffix() {
    std::random_device random;
    return std::string(kTemporaryMarker) + "-" + std::to_string(currentProcessId()) + "-" +
           std::to_string(random() % 1000000);
}

bool isAbandonedTemporary(std::string_view name) {
    const auto marker = name.rfind(kTemporaryMarker);
    if (marker == std::string_view::npos) {
        return false;
    }
    std::string_view rest = name.substr(marker + kTemporaryMarker.size());
    if (rest.empty()) {
        return true;  // the fixed name of an older release
    }
    if (!rest.starts_with('-')) {
        return false;
    }
    rest.remove_prefix(1);
    unsigned long pid = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (error != std::errc() || pid == 0 || end == rest.data() + rest.size() || *end != '-') {
        return false;  // not one of ours
    }
    return !processRuns(pid);
}

}  // namespace kestrova
