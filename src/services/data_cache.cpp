#include "services/data_cache.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <vector>
#include <zlib.h>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/new_file.h"

namespace kestrova {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "KESTROVA-DATACACHE 1\n";
constexpr std::string_view kSuffix = ".cache";
/// The header's values come from the server's headers, which libcurl takes up to 100 KB.
constexpr std::uint64_t kMaxHeaderBytes = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxEntryBytes = DataCache::kMaxBodyBytes + kMaxHeaderBytes;

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
    : folder_(std::move(folder)), host_(std::move(host)), limitBytes_(limitBytes) {
    // Stored again or not, a killed run's file would otherwise stay for good.
    removeAbandonedTemporaries(folder_);
}

fs::path DataCache::entryPath(std::string_view fileName) const {
    return folder_ / (std::string(fileName) + std::string(kSuffix));
}

std::optional<DataCache::Entry> DataCache::find(std::string_view fileName) {
    const fs::path path = entryPath(fileName);
    std::error_code ignored;
    std::string bytes;
    if (const auto error = readRegularFile(path, bytes, kMaxEntryBytes, FollowLink::No)) {
        // A link is none of ours, and nothing stored is that large: neither is read.
        if (error == std::errc::too_many_symbolic_link_levels ||
            error == std::errc::file_too_large) {
            fs::remove(path, ignored);
        }
        return std::nullopt;
    }
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
    if (!writable_ || entry.body.size() > kMaxBodyBytes) {
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
    if (bytes.size() > kMaxHeaderBytes) {
        return;  // find would not read it back
    }
    bytes += entry.body;
    try {
        std::error_code error;
        fs::create_directories(folder_, error);
        if (error) {
            throw FileError("キャッシュのフォルダを作成できませんでした。(" + pathText(folder_) +
                            ": " + fileErrorReason(error) + ")");
        }
        // A link in the entry's place is replaced, never written through. No flush: a torn
        // entry fails its length and checksum and is dropped; the leftovers of killed runs
        // went when the cache was opened.
        writeFileAtomically(entryPath(fileName), bytes,
                            {.follow = FollowLink::No, .flush = false, .removeLeftovers = false});
    } catch (...) {
        writable_ = false;  // one report is enough; the export goes on without the cache
        throw;
    }
    keepWithinLimit();
}

void DataCache::touch(std::string_view fileName) {
    touchWithoutFollowing(entryPath(fileName));
}

DataCache::Cleared DataCache::clear() {
    Cleared result;
    const auto failed = [&](const fs::path& path, const std::error_code& error) {
        result.failures.push_back(pathText(path) + ": " + fileErrorReason(error));
    };
    std::error_code error;
    fs::directory_iterator it(folder_, error);
    if (error) {
        if (error != std::errc::no_such_file_or_directory) {
            failed(folder_, error);
        }
        return result;
    }
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const fs::path& path = it->path();
        if (path.extension() != kSuffix) {
            continue;
        }
        std::error_code removeError;
        // Windows reports a folder with something in it as access denied.
        if (fs::is_directory(path, removeError) && !fs::is_empty(path, removeError)) {
            failed(path, std::make_error_code(std::errc::directory_not_empty));
        } else if (fs::remove(path, removeError)) {
            ++result.removed;
        } else if (removeError) {
            failed(path, removeError);
        }
    }
    if (error) {
        failed(folder_, error);
    }
    return result;
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
        if (item.path().extension() != kSuffix || !item.is_regular_file(ignored) ||
            item.is_symlink(ignored)) {
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
    return DataCache(dataCacheFolder(appFolder), std::string(memberHost));
}

fs::path dataCacheFolder(const fs::path& appFolder) {
    return appFolder / "appdata" / "cache";
}

}  // namespace kestrova
