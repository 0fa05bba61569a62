#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

class SsLogging;

/// The month and day files an export has read, each kept as the server sent it (compressed
/// when it came compressed) together with the server's validators, so that the next export
/// asks the server whether a file changed instead of downloading it again.
///
/// An entry is used only when it is whole: its length and checksum are checked, and one that
/// is damaged or half-written is deleted. Entries are written atomically and on the disk
/// before they take their place; when the folder holds more than the size limit, the entries
/// used longest ago go first. Entries of another server are not used. Nothing is written
/// through a symbolic link in the folder. `find` may run on another thread alongside the
/// other calls: every entry is replaced whole by a rename, so a reader sees an old entry or a
/// new one.
class DataCache {
  public:
    static constexpr std::uint64_t kDefaultLimitBytes = std::uint64_t{1} << 30;
    /// No entry holds a larger body: a data file's download stops at 64 MB of page, and
    /// compression adds only a few bytes a block to what it cannot shrink.
    static constexpr std::uint64_t kMaxBodyBytes = std::uint64_t{65} << 20;

    /// One cached answer.
    struct Entry {
        std::string etag;
        std::string lastModified;
        std::string contentEncoding;
        std::string contentType;
        std::string body;  ///< as sent
    };

    /// Opens the cache in `folder`, which is created when first written; temporary files
    /// that a killed run left there are removed. `host` is the member server's.
    DataCache(std::filesystem::path folder, std::string host,
              std::uint64_t limitBytes = kDefaultLimitBytes);

    /// The whole entry of `fileName`, or nothing. A damaged entry is deleted then; so are,
    /// unread, one larger than any the cache writes and a link in an entry's place.
    std::optional<Entry> find(std::string_view fileName);

    /// Keeps an answer that carries a validator. Throws FileError when the folder cannot be
    /// written; after that the cache keeps nothing more for the rest of its life.
    void store(std::string_view fileName, const Entry& entry);

    /// Notes that an entry was used again, so the size limit takes others first.
    void touch(std::string_view fileName);

    struct Cleared {
        std::size_t removed = 0;
        /// What could not be removed, one "<path>: <reason>" each, in Japanese.
        std::vector<std::string> failures;
    };
    /// Removes every entry.
    Cleared clear();

  private:
    std::filesystem::path entryPath(std::string_view fileName) const;
    void keepWithinLimit();

    std::filesystem::path folder_;
    std::string host_;
    std::uint64_t limitBytes_;
    bool writable_ = true;
};

/// The folder of the cache of an application folder: "appdata/cache".
std::filesystem::path dataCacheFolder(const std::filesystem::path& appFolder);

/// The cache of an application folder (dataCacheFolder), unless the settings turn it off
/// (DataCache=0 in SYS_ENV) or the caller does (`enabled` false).
std::optional<DataCache> openDataCache(const std::filesystem::path& appFolder,
                                       std::string_view memberHost, bool enabled);

}  // namespace kestrova
