#pragma once

// Where `playgraph serve` finds the video of each viewable: a folder holding
// `<viewableId>.webm` or `<viewableId>.mp4`, or a JSON map file from viewable
// id to a file path (relative to the map's folder) or an http(s) URL. Only
// files inside the folder, or named by the map, are ever served: each path is
// resolved (symbolic links followed) when it is asked for.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "playgraph/Value.hpp"

namespace playgraph::tool::serve {

/// One viewable's media: an opened local file, or a URL the page loads itself.
struct MediaFile {
    std::filesystem::path path;           ///< resolved; empty for a URL
    std::string url;                      ///< an http(s) URL from the map; empty for a file
    std::string contentType;              ///< of a file, by its extension
    std::uintmax_t size = 0;              ///< of a file, when it was opened
    std::shared_ptr<std::ifstream> input; ///< the opened file
};

/// Immutable once made, so any thread may ask it anything.
class MediaLibrary {
public:
    /// No media: every viewable is missing.
    MediaLibrary() = default;
    /// Reads the `--media` argument: a folder, or a JSON map file. Throws
    /// `InputError` naming the path (and for a map, the key) that is wrong.
    static MediaLibrary open(const std::filesystem::path& argument);

    /// Opens the media of `viewableId`. None when there is none, when its
    /// file does not exist or is not a regular file, or when the path leaves
    /// the folder (`..`, a symbolic link pointing out). Never throws for any id.
    std::optional<MediaFile> find(const std::string& viewableId) const;

    /// For the page, of each id in `viewableIds`: {"viewable", "url", "local"}
    /// in "media" (a local URL is "/media/<id>", which needs the token), or
    /// the id in "missing"; "source": "folder", "map" or null.
    Value listing(const std::vector<std::string>& viewableIds) const;

    /// The origins ("https://host:port") of the map's URLs, which the page's
    /// security policy must let the video load from.
    const std::vector<std::string>& urlOrigins() const { return origins_; }

private:
    enum class Kind { none, folder, map } kind_ = Kind::none;
    std::filesystem::path folder_;                         ///< resolved
    std::unordered_map<std::string, std::string> entries_; ///< map: id -> path or URL
    std::filesystem::path mapFolder_;
    std::vector<std::string> origins_;
};

/// The content type of a media file by its extension ("video/webm", ...);
/// "application/octet-stream" when unknown.
std::string mediaContentType(const std::filesystem::path& path);

} // namespace playgraph::tool::serve
