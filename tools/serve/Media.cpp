#include "Media.hpp"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "Tool.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::tool::serve {

namespace fs = std::filesystem;

namespace {

// "https://host:port" of an http(s) URL; empty when `text` is not one this
// server passes on. The URL goes into a security policy header and the page,
// so blanks, quotes, separators and control characters are refused.
std::string urlOrigin(const std::string& text) {
    std::size_t schemeEnd = 0;
    if (text.rfind("http://", 0) == 0)
        schemeEnd = 7;
    else if (text.rfind("https://", 0) == 0)
        schemeEnd = 8;
    else
        return {};
    for (const unsigned char c : text)
        if (c <= ' ' || c >= 0x7f || c == ';' || c == ',' || c == '"' || c == '\'' || c == '\\')
            return {};
    const std::size_t hostEnd = text.find_first_of("/?#", schemeEnd);
    const std::string origin = text.substr(0, hostEnd);
    if (origin.size() == schemeEnd || origin.find('@') != std::string::npos) return {};
    return origin;
}

// `text` as one URL path segment.
std::string pathSegment(const std::string& text) {
    constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

bool inside(const fs::path& path, const fs::path& folder) {
    const auto [end, at] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end() && at != path.end();
}

// Opens the regular file at `path` when it resolves to one (inside `folder`
// when it is given).
std::optional<MediaFile> openFile(const fs::path& path, const fs::path* folder) {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    if (error || (folder && !inside(resolved, *folder))) return std::nullopt;
    if (!fs::is_regular_file(resolved, error)) return std::nullopt;
    MediaFile file;
    file.input = std::make_shared<std::ifstream>(resolved, std::ios::binary);
    if (!*file.input) return std::nullopt;
    file.input->seekg(0, std::ios::end);
    const auto size = file.input->tellg();
    if (size < 0) return std::nullopt;
    file.size = static_cast<std::uintmax_t>(size);
    file.contentType = mediaContentType(resolved);
    file.path = resolved;
    return file;
}

} // namespace

std::string mediaContentType(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".webm") return "video/webm";
    if (extension == ".mp4" || extension == ".m4v") return "video/mp4";
    if (extension == ".ogv" || extension == ".ogg") return "video/ogg";
    if (extension == ".mov") return "video/quicktime";
    if (extension == ".mkv") return "video/x-matroska";
    return "application/octet-stream";
}

MediaLibrary MediaLibrary::open(const fs::path& argument) {
    MediaLibrary library;
    std::error_code error;
    const auto status = fs::status(argument, error);
    if (error || !fs::exists(status))
        throw InputError("--media " + argument.string() + ": no such folder or file");
    if (fs::is_directory(status)) {
        library.kind_ = Kind::folder;
        library.folder_ = fs::canonical(argument, error);
        if (error) throw InputError("--media " + argument.string() + ": " + error.message());
        return library;
    }
    Value map;
    try {
        map = readJsonFile(argument);
    } catch (const std::exception& e) {
        throw InputError("--media " + argument.string() + ": " + e.what());
    }
    if (!map.isDictionary())
        throw InputError("--media " + argument.string() +
                         ": a media map is a JSON object from viewable id to file path or URL");
    library.kind_ = Kind::map;
    library.mapFolder_ = fs::absolute(argument).parent_path();
    for (const auto& [id, entry] : *map.dictionary()) {
        const std::string place = "--media " + argument.string() + ": \"" + shown(id) + "\"";
        if (!entry.isString() || entry.string()->empty())
            throw InputError(place + " must be a file path or an http(s) URL (a string)");
        const std::string& text = *entry.string();
        if (text.find("://") != std::string::npos) {
            const std::string origin = urlOrigin(text);
            if (origin.empty())
                throw InputError(place + ": " + shown(text) +
                                 " is not an http(s) URL without blanks, quotes, commas, "
                                 "semicolons or user names");
            if (std::find(library.origins_.begin(), library.origins_.end(), origin) ==
                library.origins_.end())
                library.origins_.push_back(origin);
        } else if (text.find('\0') != std::string::npos) {
            throw InputError(place + ": a file path has no NUL character");
        }
        library.entries_.emplace(id, text);
    }
    return library;
}

std::optional<MediaFile> MediaLibrary::find(const std::string& viewableId) const {
    if (viewableId.empty() || viewableId.find('\0') != std::string::npos) return std::nullopt;
    if (kind_ == Kind::folder) {
        for (const char* extension : {".webm", ".mp4"}) {
            if (auto file = openFile(folder_ / (viewableId + extension), &folder_)) return file;
        }
        return std::nullopt;
    }
    if (kind_ == Kind::map) {
        const auto entry = entries_.find(viewableId);
        if (entry == entries_.end()) return std::nullopt;
        if (entry->second.find("://") != std::string::npos) {
            MediaFile file;
            file.url = entry->second;
            return file;
        }
        return openFile(mapFolder_ / entry->second, nullptr);
    }
    return std::nullopt;
}

Value MediaLibrary::listing(const std::vector<std::string>& viewableIds) const {
    List media;
    List missing;
    for (const auto& id : viewableIds) {
        const auto file = find(id);
        if (!file) {
            missing.push_back(Value(id));
            continue;
        }
        const bool local = file->url.empty();
        media.push_back(Dictionary{{"viewable", id},
                                   {"url", local ? "/media/" + pathSegment(id) : file->url},
                                   {"local", local}});
    }
    const Value source = kind_ == Kind::folder ? Value("folder")
                         : kind_ == Kind::map  ? Value("map")
                                               : Value::null();
    return Dictionary{
        {"media", std::move(media)}, {"missing", std::move(missing)}, {"source", source}};
}

} // namespace playgraph::tool::serve
