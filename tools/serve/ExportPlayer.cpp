// `playgraph export-player`: a static folder that plays the story in the
// browser with no playgraph process behind it: the player page (from the
// serve page's files), the JavaScript package, the story, and the media
// (copied) or their URLs.

#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <system_error>

#include "Media.hpp"
#include "Package.hpp"
#include "Page.hpp"
#include "Tool.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::tool::serve {

namespace {

namespace fs = std::filesystem;

struct ExportOptions {
    InputOptions input;
    std::string media;
    std::string output;
    std::string web;
};

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw InputError("cannot write " + path.string());
}

void copyFile(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    if (error)
        throw InputError("cannot copy " + from.string() + " to " + to.string() + ": " +
                         error.message());
}

int runExport(const ExportOptions& options) {
    // Everything is checked before anything is written.
    std::string text;
    const InputDocument document = readInput(options.input.file, {}, &text); // read once: "-" too
    const Value defaultViewableId = defaultViewableIdFor(options.input, document.dictionary);
    const auto playgraph = Playgraph::create(document.dictionary, defaultViewableId);
    const MediaLibrary media =
        options.media.empty() ? MediaLibrary() : MediaLibrary::open(options.media);
    std::set<std::string> viewables;
    for (const auto& [id, segment] : playgraph->segmentMap())
        if (!segment->viewableId().isAbsent()) viewables.insert(valueText(segment->viewableId()));
    const fs::path site = options.output;
    std::error_code error;
    if (fs::exists(site, error) && !fs::is_directory(site, error))
        throw InputError("-o " + site.string() + ": exists and is not a folder");
    const auto web = findWebPackage(options.web);
    if (!web) throw InputError("export-player: " + missingWebPackageMessage());

    fs::create_directories(site / "pkg" / "dist", error);
    if (!error) fs::create_directories(site / "media", error);
    if (error) throw InputError("cannot make " + site.string() + ": " + error.message());
    for (const char* file : {"player.js", "player-page.js", "player.css"})
        writeFile(site / file, *pageFile(std::string("/") + file));
    writeFile(site / "index.html", *pageFile("/player.html"));
    for (const auto& file : webPackageFiles())
        copyFile(*web / file, site / "pkg" / file);
    writeFile(site / "story.json", text);

    Dictionary urls;
    List missing;
    for (const auto& id : viewables) {
        const auto file = media.find(id);
        if (!file) {
            missing.push_back(Value(id));
        } else if (!file->url.empty()) {
            urls.set(id, file->url);
        } else {
            const std::string name = "media/" + id + file->path.extension().string();
            copyFile(file->path, site / name);
            urls.set(id, name);
        }
    }
    const Value title = document.dictionary.dictionary()->get("playgraphId");
    writeFile(site / "player.json",
              writeJson(Value(Dictionary{{"title", title.isString() ? title : Value(document.name)},
                                         {"story", "story.json"},
                                         {"defaultViewableId", defaultViewableId},
                                         {"package", "pkg/index.js"},
                                         {"media", std::move(urls)},
                                         {"missing", std::move(missing)}}),
                        JsonStyle::Pretty));
    std::cout << "playgraph export-player: wrote " << site.string()
              << "; serve it with any static web server and open index.html\n";
    return exitOk;
}

} // namespace

} // namespace playgraph::tool::serve

namespace playgraph::tool {

Command addExportPlayerCommand(CLI::App& app) {
    auto options = std::make_shared<serve::ExportOptions>();
    CLI::App* command = app.add_subcommand(
        "export-player", "Writes a static web site that plays the story on its media in the "
                         "browser: the player page, the JavaScript package, the story and media");
    addInputOptions(*command, options->input);
    command->add_option("--media", options->media,
                        "Video of each viewable, as for serve: a folder of <viewableId>.webm or "
                        ".mp4 files (copied), or a JSON map to file paths (copied) or URLs");
    command->add_option("-o,--output", options->output, "The folder to write (made when missing)")
        ->required()
        ->check(nonEmptyCheck());
    command->add_option("--web", options->web,
                        "The built JavaScript package to include (default: as for serve)");
    return {command, [options] { return serve::runExport(*options); }};
}

} // namespace playgraph::tool
