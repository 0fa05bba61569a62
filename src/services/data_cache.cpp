#include "services/data_cache.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>
#include <zlib.h>

#include "base/atomic_file.h"
#include "base/errors.h"

namespace kestrova {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "KESTROVA-DATACACHE 1\n";
constexpr std::string_view kSuffix = ".cache";

std::uint32_t checksumOf(std::string_view bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // crc32 takes an unsigned int length: feed large bodies in pieces.
    while (!bytes.empty()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(piece));
        bytes.remove_prefix(piece);
    }
    return static_cast<std::uint32_t>(crc);
}

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return {};
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// A header value must stay on its line.
bool isLineSafe(std::string_view value) {
    return value.find_first_of("\r\n") == std::string_view::npos;
}

/// Reads "name: value" lines up to an empty line; false when the text is not such a header.
bool parseHeader(std::string_view& text, std::vector<std::pair<std::string, std::string>>& out) {
    for (;;) {
        const auto end = text.find('\n');
        if (end == std::string_view::npos) {
            return false;
        }
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (line.empty()) {
            return true;
        }
        const auto colon = line.find(": ");
        if (colon == std::string_view::npos) {
            return false;
        }
        out.emplace_back(std::string(line.substr(0, colon)), std::string(line.substr(colon + 2)));
    }
}

}  // namespace

DataCache::DataCache(fs::path folder, std::string host, std::uint64_t limitBytes)
    : folder_(std::move(folder)), host_(std::move(host)), limitBytes_(limitBytes) {}

fs::path DataCache::entryPath(std::string_view fileName) const {
    return folder_ / (std::string(fileName) + std::string(kSuffix));
}

std::optional<DataCache::Entry> DataCache::find(std::string_view fileName) {
    const fs::path path = entryPath(fileName);
    std::error_code ignored;
    if (!fs::is_regular_file(path, ignored)) {
        return std::nullopt;
    }
    const std::string bytes = readWhole(path);
    std::string_view text = bytes;
    std::vector<std::pair<std::string, std::string>> fields;
    Entry entry;
    std::uint64_t length = 0;
    std::uint32_t checksum = 0;
    bool whole = text.starts_with(kMagic);
    if (whole) {
        text.remove_prefix(kMagic.size());
        whole = parseHeader(text, fields);
    }
    std::string host;
    std::string file;
    for (const auto& [name, value] : fields) {
        if (name == "host") {
            host = value;
        } else if (name == "file") {
            file = value;
        } else if (name == "etag") {
            entry.etag = value;
        } else if (name == "last-modified") {
            entry.lastModified = value;
        } else if (name == "content-encoding") {
            entry.contentEncoding = value;
        } else if (name == "content-type") {
            entry.contentType = value;
        } else if (name == "length") {
            whole =
                whole && std::from_chars(value.data(), value.data() + value.size(), length).ec ==
                             std::errc();
        } else if (name == "crc32") {
            whole = whole &&
                    std::from_chars(value.data(), value.data() + value.size(), checksum, 16).ec ==
                        std::errc();
        }
    }
    whole = whole && file == fileName && length == text.size() && checksumOf(text) == checksum;
    if (!whole) {
        fs::remove(path, ignored);  // half-written or damaged: the next answer replaces it
        return std::nullopt;
    }
    if (host != host_) {
        return std::nullopt;  // another server's file
    }
    entry.body = std::string(text);
    return entry;
}

void DataCache::store(std::string_view fileName, const Entry& entry) {
    if (!writable_) {
        return;
    }
    if (!isLineSafe(fileName) || !isLineSafe(host_) || !isLineSafe(entry.etag) ||
        !isLineSafe(entry.lastModified) || !isLineSafe(entry.contentEncoding) ||
        !isLineSafe(entry.contentType)) {
        return;  // a header that would not read back: not worth keeping
    }
    std::string bytes(kMagic);
    bytes += "host: " + host_ + "\n";
    bytes += "file: " + std::string(fileName) + "\n";
    bytes += "etag: " + entry.etag + "\n";
    bytes += "last-modified: " + entry.lastModified + "\n";
    bytes += "content-encoding: " + entry.contentEncoding + "\n";
    bytes += "content-type: " + entry.contentType + "\n";
    bytes += "length: " + std::to_string(entry.body.size()) + "\n";
    char hex[16];
    const auto end = std::to_chars(hex, hex + sizeof hex, checksumOf(entry.body), 16).ptr;
    bytes += "crc32: " + std::string(hex, end) + "\n\n";
    bytes += entry.body;
    try {
        std::error_code error;
        fs::create_directories(folder_, error);
        if (error) {
            throw FileError("キャッシュのフォルダを作成できませんでした。(" + pathText(folder_) +
                            ": " + fileErrorReason(error) + ")");
        }
        writeFileAtomically(entryPath(fileName), bytes);
    } catch (...) {
        writable_ = false;  // one report is enough; the export goes on without the cache
        throw;
    }
    keepWithinLimit();
}

void DataCache::touch(std::string_view fileName) {
    std::error_code ignored;
    fs::last_write_time(entryPath(fileName), fs::file_time_type::clock::now(), ignored);
}

std::size_t DataCache::clear() {
    std::size_t removed = 0;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(folder_, error)) {
        std::error_code ignored;
        if (item.path().extension() == kSuffix && fs::remove(item.path(), ignored)) {
            ++removed;
        }
    }
    return removed;
}

void DataCache::keepWithinLimit() {
    struct Item {
        fs::path path;
        std::uint64_t size;
        fs::file_time_type used;
    };
    std::vector<Item> items;
    std::uint64_t total = 0;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(folder_, error)) {
        std::error_code ignored;
        if (item.path().extension() != kSuffix) {
            continue;
        }
        const std::uint64_t size = item.file_size(ignored);
        items.push_back({item.path(), size, item.last_write_time(ignored)});
        total += size;
    }
    if (total <= limitBytes_) {
        return;
    }
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.used < b.used; });
    for (const Item& item : items) {
        if (total <= limitBytes_) {
            break;
        }
        std::error_code ignored;
        if (fs::remove(item.path, ignored)) {
            total -= item.size;
        }
    }
}

std::optional<DataCache> openDataCache(const fs::path& appFolder, std::string_view memberHost,
                                       bool enabled) {
    if (!enabled) {
        return std::nullopt;
    }
    return DataCache(appFolder / "appdata" / "cache", std::string(memberHost));
}

}  // namespace kestrova
