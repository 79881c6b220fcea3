// `playgraph serve`: a local web server that shows a playgraph in the browser
// and edits it through the library.
//
// The page (compiled into the tool) talks to a small JSON API. Safety: the
// server listens on 127.0.0.1 unless told otherwise; a request whose Host or
// Origin is not the server's own is refused (DNS rebinding, other sites);
// requests that change anything carry a token made for this run, which only
// the page received; request bodies are size-limited; the only file ever
// written is the one opened.

#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include <httplib.h>

#include "GraphView.hpp"
#include "Media.hpp"
#include "Package.hpp"
#include "Page.hpp"
#include "Session.hpp"
#include "Tool.hpp"
#include "playgraph/json/Json.hpp"

extern char** environ;

namespace playgraph::tool::serve {

namespace {

constexpr std::size_t maxBodyBytes = 64 * 1024;
constexpr std::size_t defaultNodeLimit = 80;
constexpr std::size_t maxNodeLimit = 400;
constexpr const char* tokenHeader = "X-Playgraph-Token";
// Debian's cpp-httplib compresses responses whose content type is exactly
// "application/json" (or "application/javascript", or any text/...) with
// brotli at its slowest level: seconds for a large graph, for nothing on a
// local connection. These types, with a charset, are sent as they are.
constexpr const char* jsonType = "application/json; charset=utf-8";

// The content type of a page file, by its name's extension.
const char* pageType(std::string_view path) {
    const auto dot = path.rfind('.');
    const std::string_view extension = dot == std::string_view::npos ? "" : path.substr(dot);
    if (extension == ".html") return "text/html; charset=utf-8";
    if (extension == ".js" || extension == ".mjs") return "application/javascript; charset=utf-8";
    if (extension == ".css") return "text/css; charset=utf-8";
    if (extension == ".json") return jsonType;
    if (extension == ".svg") return "image/svg+xml; charset=utf-8";
    if (extension == ".png") return "image/png";
    if (extension == ".wasm") return "application/wasm";
    return "application/octet-stream";
}

struct ServeOptions {
    InputOptions input;
    std::string host = "127.0.0.1";
    int port = 0;
    bool open = false;
    std::string media; ///< a folder or a JSON map file; empty: none
    std::string web;   ///< the JavaScript package's folder; empty: found (see Package.hpp)
};

std::string randomToken() {
    std::random_device device;
    std::string token;
    constexpr char digits[] = "0123456789abcdef";
    for (int i = 0; i < 32; ++i)
        token += digits[device() % 16];
    return token;
}

bool sameToken(const std::string& given, const std::string& token) {
    if (given.size() != token.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

// A Host (or Origin without its scheme) this server answers to: an IP
// literal or "localhost", with the server's port. A DNS name other than
// localhost could point at this machine only by rebinding.
bool isOwnHost(std::string_view host, int port) {
    const std::string suffix = ":" + std::to_string(port);
    if (host.size() > suffix.size() && host.substr(host.size() - suffix.size()) == suffix)
        host.remove_suffix(suffix.size());
    else if (port != 80) // browsers leave out the default port
        return false;
    const std::string name(host);
    if (name == "localhost") return true;
    unsigned char address[16];
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        return inet_pton(AF_INET6, name.substr(1, name.size() - 2).c_str(), address) == 1;
    return inet_pton(AF_INET, name.c_str(), address) == 1;
}

void sendJson(httplib::Response& response, int status, const Value& body) {
    response.status = status;
    response.set_content(writeJson(body), jsonType);
}

void sendError(httplib::Response& response, int status, const std::string& message) {
    sendJson(response, status, Value(Dictionary{{"error", message}}));
}

// The JSON object of a request body; 400 when it is not one.
Dictionary requestObject(const httplib::Request& request) {
    Value body;
    try {
        body = parseJson(request.body, "request");
    } catch (const JsonError& e) {
        throw RequestError(400, e.what());
    }
    if (!body.isDictionary()) throw RequestError(400, "the request body is not a JSON object");
    return *body.dictionary();
}

// The words of an edit's "args": strings as they are, numbers as the
// JSON text, and an object as PROPERTIES.
std::vector<EditWord> editWords(const Value& args) {
    if (args.isNone()) return {};
    if (!args.isList()) throw RequestError(400, "\"args\" must be a list");
    std::vector<EditWord> words;
    for (const Value& arg : *args.list()) {
        if (arg.isString()) {
            words.push_back({*arg.string(), false});
        } else if (arg.isInteger() || arg.isDouble()) {
            words.push_back({writeJson(arg), false});
        } else if (arg.isDictionary()) {
            words.push_back({writeJson(arg), true});
        } else {
            throw RequestError(400, "each of \"args\" must be a string, a number or an object");
        }
    }
    return words;
}

// A time parameter, read as the tool reads a time argument and refused in
// the words the tool uses for its TIME argument.
double timeParameter(const httplib::Request& request, const char* name) {
    try {
        return secondsArgument(request.get_param_value(name), "time:");
    } catch (const InputError& e) {
        throw RequestError(400, e.what());
    }
}

// Runs `handler`, turning its refusals into error responses.
template <class Handler> httplib::Server::Handler api(Handler handler) {
    return [handler](const httplib::Request& request, httplib::Response& response) {
        try {
            sendJson(response, 200, handler(request));
        } catch (const RequestError& e) {
            sendError(response, e.status(), e.what());
        } catch (const std::exception& e) {
            sendError(response, 500, e.what());
        }
    };
}

// One viewable's media file, with byte ranges (the video element seeks by
// them). The token comes as a query parameter: a video element sends no
// headers of its own.
void sendMedia(const httplib::Request& request, httplib::Response& response,
               const MediaLibrary& media, const std::string& token) {
    const std::string given = request.has_param("token") ? request.get_param_value("token")
                                                         : request.get_header_value(tokenHeader);
    if (!sameToken(given, token)) {
        sendError(response, 403, "refused: missing or wrong token; reload the page");
        return;
    }
    const std::string id = request.matches[1];
    auto file = media.find(id);
    if (!file || !file->url.empty()) {
        sendError(response, 404, "no media for viewable " + shown(id));
        return;
    }
    // The range is answered here: Debian's cpp-httplib (0.11) neither clamps
    // a range's end to the file nor leaves an error body whole. Its parsed
    // ranges are cleared so it sends exactly what this function sets; the
    // request object is its own (not const) one. Several ranges get the
    // whole file, as HTTP allows.
    auto& ranges = const_cast<httplib::Request&>(request).ranges;
    const auto asked = ranges;
    ranges.clear();
    std::uintmax_t first = 0;
    std::uintmax_t length = file->size;
    if (asked.size() == 1) {
        const auto [from, to] = asked.front();
        const auto size = static_cast<ssize_t>(file->size);
        ssize_t begin = from;
        ssize_t end = to < 0 || to >= size ? size - 1 : to;
        if (from < 0) { // the last `to` bytes
            begin = to <= 0 ? size : std::max<ssize_t>(0, size - to);
            end = size - 1;
        }
        if (begin >= size || end < begin) {
            response.set_header("Content-Range", "bytes */" + std::to_string(file->size));
            sendError(response, 416, "the range is not inside the media file");
            return;
        }
        first = static_cast<std::uintmax_t>(begin);
        length = static_cast<std::uintmax_t>(end - begin + 1);
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(begin) + "-" +
                                                 std::to_string(end) + "/" +
                                                 std::to_string(file->size));
    }
    response.set_header("Accept-Ranges", "bytes");
    auto input = file->input;
    response.set_content_provider(
        length, file->contentType,
        [input, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            char buffer[64 * 1024];
            input->clear();
            input->seekg(static_cast<std::streamoff>(first + offset));
            const auto count = static_cast<std::streamsize>(std::min(length, sizeof buffer));
            input->read(buffer, count);
            const auto got = input->gcount();
            if (got <= 0) return false; // the file shrank: end the response
            return sink.write(buffer, static_cast<std::size_t>(got));
        });
}

void openBrowser(const std::string& url) {
    pid_t pid = 0;
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0) {
        std::cerr << "playgraph serve: cannot start xdg-open; open " << url << " yourself\n";
        return;
    }
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
}

// The package's files, read when asked for (a rebuilt package is served
// without a restart); 404 with what to do when there is none.
void addPackageRoutes(httplib::Server& server, const std::optional<std::filesystem::path>& web) {
    for (const auto& file : webPackageFiles()) {
        server.Get("/pkg/" + file,
                   [web, file](const httplib::Request&, httplib::Response& response) {
                       std::string bytes;
                       if (web) {
                           std::ifstream input(*web / file, std::ios::binary);
                           bytes.assign(std::istreambuf_iterator<char>(input), {});
                           if (!input.good() && !input.eof()) bytes.clear();
                       }
                       if (bytes.empty()) {
                           sendError(response, 404, missingWebPackageMessage());
                           return;
                       }
                       response.set_content(std::move(bytes), std::string(webContentType(file)));
                   });
    }
}

void addRoutes(httplib::Server& server, Session& session, GraphRenderer& renderer,
               const MediaLibrary& media, const std::string& token) {
    server.Get("/api/state", api([&](const httplib::Request&) { return session.state(); }));
    server.Get("/api/findings", api([&](const httplib::Request&) { return session.findings(); }));
    server.Get("/api/changes", api([&](const httplib::Request&) { return session.changes(); }));
    server.Get("/api/story", api([&](const httplib::Request&) { return session.story(); }));
    server.Get("/api/media",
               api([&](const httplib::Request&) { return media.listing(session.viewableIds()); }));
    server.Get(R"(/media/(.+))", [&](const httplib::Request& request, httplib::Response& response) {
        sendMedia(request, response, media, token);
    });
    server.Get("/api/segment", api([&](const httplib::Request& request) {
                   return session.segment(request.get_param_value("id"));
               }));
    server.Get("/api/at", api([&](const httplib::Request& request) {
                   return session.at(timeParameter(request, "t"));
               }));
    server.Get("/api/graph", api([&](const httplib::Request& request) {
                   std::size_t limit = defaultNodeLimit;
                   if (request.has_param("limit")) {
                       const std::string text = request.get_param_value("limit");
                       const auto [end, error] =
                           std::from_chars(text.data(), text.data() + text.size(), limit);
                       if (error != std::errc() || end != text.data() + text.size() || limit == 0 ||
                           limit > maxNodeLimit) {
                           throw RequestError(400, "limit must be a whole number from 1 to " +
                                                       std::to_string(maxNodeLimit));
                       }
                   }
                   const auto model = session.graph();
                   const auto picture =
                       renderer.render(*model, request.get_param_value("focus"), limit);
                   List ids;
                   for (const auto& id : picture->ids)
                       ids.push_back(Value(id));
                   return Value(Dictionary{{"revision", model->revision},
                                           {"svg", picture->svg},
                                           {"ids", std::move(ids)},
                                           {"focus", picture->focus},
                                           {"total", picture->total}});
               }));

    server.Post("/api/edit", api([&](const httplib::Request& request) {
                    const Dictionary body = requestObject(request);
                    const Value verb = body.get("verb");
                    if (!verb.isString()) throw RequestError(400, "\"verb\" must be a string");
                    return session.edit(*verb.string(), editWords(body.get("args")));
                }));
    server.Post("/api/undo", api([&](const httplib::Request&) { return session.undo(); }));
    server.Post("/api/redo", api([&](const httplib::Request&) { return session.redo(); }));
    server.Post("/api/save", api([&](const httplib::Request& request) {
                    const Value overwrite = requestObject(request).get("overwrite");
                    return session.save(overwrite.isBool() && overwrite.booleanReading());
                }));

    // The page's files, by their paths; "/" is index.html with the token.
    std::string html(*pageFile("/index.html"));
    const std::string marker = "{{TOKEN}}";
    html.replace(html.find(marker), marker.size(), token);
    server.Get(R"(/.*)", [html](const httplib::Request& request, httplib::Response& response) {
        const std::string& path = request.path;
        if (path == "/" || path == "/index.html") {
            response.set_content(html, pageType(".html"));
        } else if (const auto file = pageFile(path)) {
            response.set_content(file->data(), file->size(), pageType(path));
        } else {
            sendError(response, 404, "no such page");
        }
    });
}

// SIGINT and SIGTERM stop the server; they are blocked in every thread and
// taken by one waiting thread. The server then waits for requests being
// answered; when one takes long (a check of a huge playgraph), a second
// signal or a few seconds end the process without waiting for it.
class StopOnSignal {
public:
    explicit StopOnSignal(httplib::Server& server) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        waiter_ = std::thread([this, &server] {
            const timespec interval{0, 100'000'000};
            int waited = -1; // tenths of a second since the stop, or -1
            while (!done_) {
                const bool signalled = sigtimedwait(&signals_, nullptr, &interval) > 0;
                if (signalled && waited < 0) {
                    server.stop();
                    waited = 0;
                } else if (waited >= 0 && (signalled || ++waited > 30)) {
                    std::cerr << "playgraph serve: stopped while a request was running; "
                                 "unsaved changes were not written\n";
                    std::_Exit(exitOk);
                }
            }
        });
    }
    ~StopOnSignal() {
        done_ = true;
        waiter_.join();
    }

private:
    sigset_t signals_;
    std::atomic<bool> done_{false};
    std::thread waiter_;
};

int runServe(const ServeOptions& options) {
    Session session(options.input);
    const MediaLibrary media =
        options.media.empty() ? MediaLibrary() : MediaLibrary::open(options.media);
    const auto web = findWebPackage(options.web);
    if (!web) std::cerr << "playgraph serve: no Play view: " << missingWebPackageMessage() << "\n";
    std::string mediaSources = "'self'";
    for (const auto& origin : media.urlOrigins())
        mediaSources += " " + origin;
    GraphRenderer renderer;
    const std::string token = randomToken();

    httplib::Server server;
    server.set_payload_max_length(maxBodyBytes);
    server.set_read_timeout(10);
    server.set_write_timeout(10);
    server.set_keep_alive_timeout(2); // an idle browser connection holds a worker thread
    server.set_default_headers({
        {"Cache-Control", "no-store"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self'; img-src "
         "'self' data:; "
         "connect-src 'self'; media-src " +
             mediaSources + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    });

    int port = options.port;
    server.set_pre_routing_handler(
        [&token, &port](const httplib::Request& request, httplib::Response& response) {
            if (!isOwnHost(request.get_header_value("Host"), port)) {
                sendError(response, 403, "refused: the Host is not this server");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.has_header("Origin")) {
                const std::string origin = request.get_header_value("Origin");
                constexpr std::string_view scheme = "http://";
                if (origin.compare(0, scheme.size(), scheme) != 0 ||
                    !isOwnHost(std::string_view(origin).substr(scheme.size()), port)) {
                    sendError(response, 403, "refused: the request comes from another site");
                    return httplib::Server::HandlerResponse::Handled;
                }
            }
            if (request.method != "GET" && request.method != "HEAD" &&
                !sameToken(request.get_header_value(tokenHeader), token)) {
                sendError(response, 403, "refused: missing or wrong token; reload the page");
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return;
        const int status = response.status;
        sendError(response, status,
                  status == 404 ? "no such page"
                  : status == 413
                      ? "the request is too large"
                      : "the request was refused (HTTP " + std::to_string(status) + ")");
    });
    addPackageRoutes(server, web); // before the page's routes, which take every other path
    addRoutes(server, session, renderer, media, token);

    StopOnSignal stopper(server);
    if (port == 0) {
        port = server.bind_to_any_port(options.host);
        if (port < 0) throw InputError("cannot listen on " + options.host);
    } else if (!server.bind_to_port(options.host, port)) {
        throw InputError("cannot listen on " + options.host + ":" + std::to_string(port));
    }
    const bool ipv6 = options.host.find(':') != std::string::npos;
    const std::string url = "http://" + (ipv6 ? "[" + options.host + "]" : options.host) + ":" +
                            std::to_string(port) + "/";
    std::cout << "playgraph serve: " << session.name() << " at " << url << " (Ctrl+C to stop)"
              << std::endl;
    char loopback[16];
    if (inet_pton(AF_INET, options.host.c_str(), loopback) != 1 ||
        static_cast<unsigned char>(loopback[0]) != 127) {
        if (options.host != "::1" && options.host != "localhost") {
            std::cerr << "playgraph serve: listening on " << options.host
                      << ": other machines that reach it can open the page, edit and save\n";
        }
    }
    // The first page load finds the state and the first picture ready.
    std::thread warmUp([&] {
        try {
            session.state();
            renderer.render(*session.graph(), "", defaultNodeLimit);
        } catch (const std::exception&) {
            // The page's own requests report what went wrong.
        }
    });
    if (options.open) openBrowser(url);
    server.listen_after_bind();
    warmUp.join();
    if (session.state().dictionary()->get("dirty").booleanReading())
        std::cerr << "playgraph serve: stopped; unsaved changes were not written\n";
    return exitOk;
}

} // namespace

} // namespace playgraph::tool::serve

namespace playgraph::tool {

Command addServeCommand(CLI::App& app) {
    auto options = std::make_shared<serve::ServeOptions>();
    CLI::App* command = app.add_subcommand(
        "serve", "Shows the playgraph in the browser: graph, default path timeline, check "
                 "findings; edits with undo and redo, saved back to FILE");
    addInputOptions(*command, options->input);
    command->add_option("--port", options->port, "Port to listen on (default: any free port)")
        ->check(CLI::Range(0, 65535));
    command->add_option("--host", options->host,
                        "Address to listen on (default 127.0.0.1: this machine only)");
    command->add_flag("--open", options->open, "Open the page in the default browser");
    command->add_option("--media", options->media,
                        "Video of each viewable: a folder of <viewableId>.webm or .mp4 files, or "
                        "a JSON file mapping viewable ids to file paths (relative to it) or URLs");
    command->add_option("--web", options->web,
                        "The built JavaScript package the Play view runs on (default: "
                        "$PLAYGRAPH_WEB, the installed one, or the source tree's web/)");
    command->footer("Only FILE is ever written, and a FILE changed on disk since it was opened is "
                    "not overwritten without asking. Stop with Ctrl+C.");
    return {command, [options] { return serve::runServe(*options); }};
}

} // namespace playgraph::tool
