// Runs `playgraph serve` on a copy of the bundled story and talks to its JSON
// API: a table of requests the server must answer or refuse, then several
// threads hammering it at once with valid, malformed, oversized and forged
// requests. The browser side is tested by serve_e2e.py.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "playgraph/json/Json.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// `playgraph serve FILE` on a free port; stopped when destroyed.
class Server {
public:
    explicit Server(const fs::path& file, const std::vector<std::string>& options = {}) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string path = file.string();
        std::vector<const char*> argv = {PLAYGRAPH_TOOL, "serve", path.c_str()};
        for (const auto& option : options)
            argv.push_back(option.c_str());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, PLAYGRAPH_TOOL, &actions, nullptr,
                                        const_cast<char* const*>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (spawned != 0) throw std::runtime_error("cannot start the tool");
        FILE* stream = fdopen(out[0], "r");
        char line[512] = {};
        const bool read = std::fgets(line, sizeof line, stream) != nullptr;
        std::fclose(stream);
        std::smatch match;
        const std::string text = line;
        if (!read || !std::regex_search(text, match, std::regex("127\\.0\\.0\\.1:(\\d+)/")))
            throw std::runtime_error("serve did not start: " + text);
        port = std::stoi(match[1]);
        // The token is in the page, which only this server's own origin can read.
        const auto page = client().Get("/");
        const auto at = page->body.find("playgraph-token\" content=\"");
        token = page->body.substr(at + 26, 32);
    }
    ~Server() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    httplib::Client client() const {
        httplib::Client c("127.0.0.1", port);
        c.set_read_timeout(20);
        return c;
    }

    int port = 0;
    std::string token;

private:
    pid_t pid_ = 0;
};

class ServeTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("playgraph-serve-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        file_ = dir_ / "story.json";
        fs::copy_file(fs::path(PLAYGRAPH_EXAMPLES) / "story.json", file_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    fs::path file_;
};

struct Call {
    const char* method;
    const char* path;
    const char* body;
    enum Forgery { none, noToken, badToken, badHost, badOrigin } forgery;
    int status;
    const char* answer; // part of the response body
};

httplib::Result send(const Server& server, const Call& call) {
    httplib::Headers headers;
    if (call.forgery != Call::noToken)
        headers.emplace("X-Playgraph-Token", call.forgery == Call::badToken ? "0" : server.token);
    if (call.forgery == Call::badHost)
        headers.emplace("Host", "rebound.example:" + std::to_string(server.port));
    if (call.forgery == Call::badOrigin) headers.emplace("Origin", "http://evil.example");
    auto client = server.client();
    if (std::string(call.method) == "GET") return client.Get(call.path, headers);
    return client.Post(call.path, headers, call.body, "application/json");
}

TEST_F(ServeTest, AnswersAndRefusesRequests) {
    const std::string original = readFile(file_);
    const Server server(file_);
    const std::string big(100 * 1024, ' ');
    const Call calls[] = {
        {"GET", "/api/state", "", Call::none, 200, "\"playgraphId\":\"heist-story\""},
        {"GET", "/api/at?t=14.5", "", Call::none, 200,
         "\"segment\":\"vault\",\"viewableTime\":14.5"},
        {"GET", "/api/at?t=nan", "", Call::none, 400, "finite number"},
        {"GET", "/api/segment?id=vault", "", Call::none, 200, "\"defaultNext\":\"recap\""},
        {"GET", "/api/segment?id=nowhere", "", Call::none, 404, "Cannot find segment nowhere"},
        {"GET", "/api/graph?limit=2&focus=vault", "", Call::none, 200, "\"focus\":\"vault\""},
        {"GET", "/api/graph?limit=x", "", Call::none, 400, "limit"},
        {"GET", "/api/findings", "", Call::none, 200, "\"total\":0"},
        {"GET", "/api/changes", "", Call::none, 200, "\"total\":0,\"changes\":[],\"segments\":[]"},
        {"GET", "/nowhere", "", Call::none, 404, "no such page"},
        {"GET", "/state.js", "", Call::none, 200, "export const app"},
        {"GET", "/api/state", "", Call::badHost, 403, "Host"},
        {"GET", "/api/state", "", Call::badOrigin, 403, "another site"},
        {"POST", "/api/edit", R"({"verb": "remove", "args": ["vault"]})", Call::noToken, 403,
         "token"},
        {"POST", "/api/save", "{}", Call::badToken, 403, "token"},
        {"POST", "/api/save", "{}", Call::badHost, 403, "Host"},
        {"POST", "/api/save", "{}", Call::badOrigin, 403, "another site"},
        {"POST", "/api/edit", big.c_str(), Call::none, 413, "too large"},
        {"POST", "/api/edit", "{", Call::none, 400, "request"},
        {"POST", "/api/edit", R"({"verb": 5})", Call::none, 400, "must be a string"},
        {"POST", "/api/edit", R"({"verb": "remove", "args": "vault"})", Call::none, 400,
         "must be a list"},
        {"POST", "/api/edit", R"({"verb": "remove", "args": [null]})", Call::none, 400,
         "a string, a number or an object"},
        {"POST", "/api/edit", R"({"verb": "twist", "args": ["intro"]})", Call::none, 400,
         "unknown operation"},
        // Words as the tool reads them: a number is its JSON text, an object
        // is PROPERTIES and nothing else.
        {"POST", "/api/edit", R"({"verb": "split", "args": ["vault", 1e3, "a", "b"]})", Call::none,
         400, "OFFSET 1000.000 s is not inside segment vault"},
        {"POST", "/api/edit", R"({"verb": "remove", "args": [{}]})", Call::none, 400,
         "SEGMENT expected, found a JSON object"},
        {"POST", "/api/edit", R"({"verb": "update", "args": ["intro", "vault", "{}"]})", Call::none,
         400, "PROPERTIES must be a JSON object, not '{}'"},
        {"POST", "/api/edit", R"({"verb": "remove", "args": ["nowhere"]})", Call::none, 400,
         "Cannot find segment nowhere"},
        {"POST", "/api/undo", "{}", Call::none, 409, "Nothing to undo"},
        {"POST", "/api/edit", R"({"verb": "split", "args": ["vault", 2.5, "vault", "vault-b"]})",
         Call::none, 200, "\"undoLabel\":\"split vault at 2.500 s\""},
        {"GET", "/api/at?t=14.5", "", Call::none, 200, "\"segment\":\"vault-b\""},
        // What changed since the file was opened, by segment id.
        {"GET", "/api/changes", "", Call::none, 200, "\"segments\":[\"vault\",\"vault-b\"]"},
        {"GET", "/api/changes", "", Call::none, 200,
         "{\"kind\":\"retimed\",\"path\":\"segments.vault.endTimeMs\",\"segment\":\"vault\","
         "\"renamedTo\":null,\"before\":\"31500\",\"after\":\"14500\"}"},
        {"POST", "/api/undo", "{}", Call::none, 200, "\"dirty\":false"},
        {"GET", "/api/changes", "", Call::none, 200, "\"total\":0"},
        {"POST", "/api/redo", "{}", Call::none, 200, "\"dirty\":true"},
    };
    for (const Call& call : calls) {
        SCOPED_TRACE(std::string(call.method) + " " + call.path + " " +
                     std::string(call.body).substr(0, 40));
        const auto result = send(server, call);
        ASSERT_TRUE(result) << httplib::to_string(result.error());
        EXPECT_EQ(result->status, call.status) << result->body;
        EXPECT_NE(result->body.find(call.answer), std::string::npos) << result->body;
    }
    EXPECT_EQ(readFile(file_), original) << "only a save may write the file";

    // A file changed on disk is overwritten only when asked to.
    std::ofstream(file_, std::ios::app) << ' ';
    EXPECT_EQ(send(server, {"POST", "/api/save", "{}", Call::none, 0, ""})->status, 409);
    EXPECT_EQ(
        send(server, {"POST", "/api/save", R"({"overwrite": true})", Call::none, 0, ""})->status,
        200);
    EXPECT_TRUE(playgraph::readJsonFile(file_)
                    .dictionary()
                    ->get("segments")
                    .dictionary()
                    ->contains("vault-b"));
    // Saved: nothing is unsaved any more.
    EXPECT_NE(
        send(server, {"GET", "/api/changes", "", Call::none, 0, ""})->body.find("\"total\":0"),
        std::string::npos);
}

TEST_F(ServeTest, SurvivesConcurrentHammering) {
    const std::string original = readFile(file_);
    const Server server(file_);
    const std::string big(200 * 1024, 'x');
    const std::vector<Call> mix = {
        {"GET", "/api/state", "", Call::none, 200, ""},
        {"GET", "/api/graph?limit=3&focus=recap", "", Call::none, 200, ""},
        {"GET", "/api/segment?id=intro", "", Call::none, 200, ""},
        {"POST", "/api/edit", R"({"verb": "update", "args": ["intro", "vault", {"weight": 60}]})",
         Call::none, 200, ""},
        {"POST", "/api/edit",
         R"({"verb": "split", "args": ["credits", 1, "credits", "credits-b"]})", Call::none, 200,
         ""},
        {"POST", "/api/undo", "{}", Call::none, 200, ""},
        {"POST", "/api/redo", "{}", Call::none, 200, ""},
        {"POST", "/api/edit", R"({"verb": [1, 2)", Call::none, 400, ""},
        {"POST", "/api/edit", big.c_str(), Call::none, 413, ""},
        {"POST", "/api/save", "{}", Call::badToken, 403, ""},
        {"POST", "/api/save", R"({"overwrite": true})", Call::badHost, 403, ""},
        {"POST", "/api/save", R"({"overwrite": true})", Call::badOrigin, 403, ""},
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                const Call& call = mix[(t * 7 + i) % mix.size()];
                if (i % 20 == 19) { // a request that is not HTTP at all
                    const int fd = socket(AF_INET, SOCK_STREAM, 0);
                    sockaddr_in address{};
                    address.sin_family = AF_INET;
                    address.sin_port = htons(static_cast<uint16_t>(server.port));
                    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                        const char garbage[] = "\x16\x03\x01 NOT HTTP\r\n\r\n";
                        (void)!write(fd, garbage, sizeof garbage - 1);
                        char reply[64];
                        (void)!read(fd, reply, sizeof reply);
                    }
                    close(fd);
                    continue;
                }
                const auto result = send(server, call);
                // An edit, undo or redo may be refused by the state others left.
                const bool refusedEdit = call.status == 200 && std::string(call.method) == "POST" &&
                                         result && (result->status == 400 || result->status == 409);
                if (!result || (result->status != call.status && !refusedEdit)) {
                    ADD_FAILURE() << call.method << " " << call.path << " " << call.body << ": "
                                  << (result ? std::to_string(result->status) + " " + result->body
                                             : httplib::to_string(result.error()));
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(readFile(file_), original) << "a refused save wrote the file";

    // Still serving, and a proper save writes what it serves.
    const auto state = send(server, {"GET", "/api/state", "", Call::none, 0, ""});
    ASSERT_TRUE(state);
    ASSERT_EQ(send(server, {"POST", "/api/save", "{}", Call::none, 0, ""})->status, 200);
    const auto served = playgraph::parseJson(state->body).dictionary()->get("segmentCount");
    EXPECT_EQ(playgraph::readJsonFile(file_).dictionary()->get("segments").dictionary()->size(),
              static_cast<std::size_t>(served.integerReading()));
}

void writeBytes(const fs::path& path, std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(random());
    std::ofstream(path, std::ios::binary) << bytes;
}

httplib::Result getMedia(const Server& server, const std::string& path,
                         const httplib::Headers& headers = {}) {
    return server.client().Get(path + "?token=" + server.token, headers);
}

// What a range request for `range` on a file of `size` bytes answers: the
// status and, for 206, the first byte and the length.
struct RangeAnswer {
    int status;
    std::size_t first = 0;
    std::size_t length = 0;
};

RangeAnswer expectedRange(long from, long to, std::size_t size) {
    const long n = static_cast<long>(size);
    if (from < 0) { // "-to": the last `to` bytes
        if (to == 0) return {416};
        const long begin = std::max(0L, n - to);
        return {206, static_cast<std::size_t>(begin), static_cast<std::size_t>(n - begin)};
    }
    if (from >= n) return {416};
    const long end = to < 0 || to >= n ? n - 1 : to;
    return {206, static_cast<std::size_t>(from), static_cast<std::size_t>(end - from + 1)};
}

TEST_F(ServeTest, ServesMediaFromAFolderWithRanges) {
    const fs::path media = dir_ / "media";
    fs::create_directories(media / "sub");
    writeBytes(media / "81.webm", 200000, 1); // several chunks
    writeBytes(media / "82.mp4", 777, 2);
    writeBytes(dir_ / "secret.webm", 50, 3);
    fs::create_symlink(dir_ / "secret.webm", media / "83.webm");     // points out: refused
    fs::create_symlink(media / "82.mp4", media / "sub" / "84.webm"); // stays inside
    const Server server(file_, {"--media", media.string()});

    const auto listing = server.client().Get("/api/media");
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->body, R"({"media":[{"viewable":"81","url":"/media/81","local":true},)"
                             R"({"viewable":"82","url":"/media/82","local":true}],)"
                             R"("missing":["83"],"source":"folder"})");

    const std::string file81 = readFile(media / "81.webm");
    const auto whole = getMedia(server, "/media/81");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->status, 200);
    EXPECT_TRUE(whole->body == file81) << whole->body.size() << " bytes";
    EXPECT_EQ(whole->get_header_value("Content-Type"), "video/webm");
    EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");
    EXPECT_EQ(getMedia(server, "/media/82")->get_header_value("Content-Type"), "video/mp4");
    EXPECT_NE(whole->get_header_value("Content-Security-Policy").find("media-src 'self';"),
              std::string::npos);

    // Random ranges of every form, against what HTTP says they answer.
    std::mt19937 random(31);
    for (int i = 0; i < 300; ++i) {
        const long size = static_cast<long>(file81.size());
        const auto pick = [&] {
            const int kind = static_cast<int>(random() % 4);
            return kind == 0   ? static_cast<long>(random() % 3)
                   : kind == 1 ? size - 2 + static_cast<long>(random() % 4)
                   : kind == 2 ? static_cast<long>(random() % (3 * size))
                               : static_cast<long>(random() % size);
        };
        long from = pick();
        long to = random() % 3 == 0 ? -1 : from + pick();
        std::string header =
            "bytes=" + std::to_string(from) + "-" + (to < 0 ? std::string() : std::to_string(to));
        if (random() % 4 == 0) { // a suffix range
            to = pick();
            from = -1;
            header = "bytes=-" + std::to_string(to);
        }
        SCOPED_TRACE(header);
        const auto answer = getMedia(server, "/media/81", {{"Range", header}});
        ASSERT_TRUE(answer);
        const RangeAnswer expected = expectedRange(from, to, file81.size());
        ASSERT_EQ(answer->status, expected.status) << answer->body;
        if (expected.status == 416) {
            EXPECT_EQ(answer->get_header_value("Content-Range"), "bytes */200000");
            EXPECT_NE(answer->body.find("not inside the media file"), std::string::npos);
            continue;
        }
        EXPECT_EQ(answer->get_header_value("Content-Range"),
                  "bytes " + std::to_string(expected.first) + "-" +
                      std::to_string(expected.first + expected.length - 1) + "/200000");
        EXPECT_TRUE(answer->body == file81.substr(expected.first, expected.length))
            << answer->body.size() << " bytes";
    }
    // Several ranges: the whole file, which HTTP allows.
    const auto several = getMedia(server, "/media/81", {{"Range", "bytes=0-1,5-6"}});
    EXPECT_EQ(several->status, 200);
    EXPECT_TRUE(several->body == file81);

    // Nothing outside the folder, nor without the token or from another Host.
    for (const char* path :
         {"/media/83", "/media/..%2Fsecret", "/media/%2E%2E%2Fsecret", "/media/%2Fetc%2Fpasswd",
          "/media/sub%2F..%2F..%2Fsecret", "/media/nothing", "/media/81.webm"}) {
        SCOPED_TRACE(path);
        const auto refused = getMedia(server, path);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 404);
        EXPECT_EQ(refused->body.find(readFile(dir_ / "secret.webm")), std::string::npos);
    }
    EXPECT_EQ(getMedia(server, "/media/sub%2F84")->body, readFile(media / "82.mp4"));
    EXPECT_EQ(server.client().Get("/media/81")->status, 403);
    EXPECT_EQ(server.client().Get("/media/81?token=0")->status, 403);
    EXPECT_EQ(server.client().Get("/media/81", {{"X-Playgraph-Token", server.token}})->body,
              file81);
    const auto foreign =
        server.client().Get("/media/81?token=" + server.token,
                            {{"Host", "rebound.example:" + std::to_string(server.port)}});
    EXPECT_EQ(foreign->status, 403);
}

TEST_F(ServeTest, ServesMediaNamedByAMap) {
    fs::create_directories(dir_ / "clips");
    fs::create_directories(dir_ / "maps");
    writeBytes(dir_ / "clips" / "intro.webm", 4000, 4);
    writeBytes(dir_ / "clips" / "other.webm", 10, 5);
    std::ofstream(dir_ / "maps" / "media.json")
        << R"({"81": "../clips/intro.webm", "82": "https://cdn.example:8443/82.mp4?x=1",)"
        << R"( "83": "../clips/missing.webm"})";
    const Server server(file_, {"--media", (dir_ / "maps" / "media.json").string()});

    EXPECT_EQ(server.client().Get("/api/media")->body,
              R"({"media":[{"viewable":"81","url":"/media/81","local":true},)"
              R"({"viewable":"82","url":"https://cdn.example:8443/82.mp4?x=1","local":false}],)"
              R"("missing":["83"],"source":"map"})");
    const auto intro = getMedia(server, "/media/81", {{"Range", "bytes=-100"}});
    EXPECT_EQ(intro->status, 206);
    EXPECT_EQ(intro->body, readFile(dir_ / "clips" / "intro.webm").substr(3900));
    // Only what the map names: a URL entry is the page's to load.
    for (const char* path : {"/media/82", "/media/83", "/media/other", "/media/..%2Fclips%2Fother"})
        EXPECT_EQ(getMedia(server, path)->status, 404) << path;
    EXPECT_NE(intro->get_header_value("Content-Security-Policy")
                  .find("media-src 'self' https://cdn.example:8443;"),
              std::string::npos);
}

TEST_F(ServeTest, RefusesABadMediaArgument) {
    const std::pair<const char*, const char*> cases[] = {
        {"[1, 2]", "a media map is a JSON object"},
        {R"({"81": 5})", "\"81\" must be a file path or an http(s) URL"},
        {R"({"82": "https://cdn.example/a b.mp4"})", "\"82\": https://cdn.example/a b.mp4 is not"},
        {R"({"82": "https://x; script-src *"})", "is not an http(s) URL"},
        {R"({"83": "ftp://cdn.example/a.mp4"})", "is not an http(s) URL"},
        {"{", "media.json"},
    };
    for (const auto& [text, message] : cases) {
        std::ofstream(dir_ / "media.json") << text;
        const std::string command = std::string(PLAYGRAPH_TOOL) + " serve " + file_.string() +
                                    " --media " + (dir_ / "media.json").string() + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string output;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        EXPECT_NE(pclose(pipe), 0) << text;
        EXPECT_NE(output.find(message), std::string::npos) << text << ": " << output;
        EXPECT_NE(output.find("--media"), std::string::npos) << output;
    }
    FILE* pipe = popen((std::string(PLAYGRAPH_TOOL) + " serve " + file_.string() + " --media " +
                        (dir_ / "nowhere").string() + " 2>&1")
                           .c_str(),
                       "r");
    char buffer[256] = {};
    (void)!std::fgets(buffer, sizeof buffer, pipe);
    EXPECT_NE(pclose(pipe), 0);
    EXPECT_NE(std::string(buffer).find("no such folder or file"), std::string::npos) << buffer;
}

TEST_F(ServeTest, ServesTheJavaScriptPackageAndTheStory) {
    const fs::path web = dir_ / "web";
    fs::create_directories(web / "dist");
    std::ofstream(web / "index.js") << "export default 1;";
    std::ofstream(web / "dist" / "playgraph-core.mjs") << "export default 2;";
    writeBytes(web / "dist" / "playgraph-core.wasm", 300, 6);
    const Server server(file_, {"--web", web.string()});
    auto client = server.client();
    EXPECT_EQ(client.Get("/pkg/index.js")->body, "export default 1;");
    const auto wasm = client.Get("/pkg/dist/playgraph-core.wasm");
    EXPECT_EQ(wasm->get_header_value("Content-Type"), "application/wasm");
    EXPECT_EQ(wasm->body, readFile(web / "dist" / "playgraph-core.wasm"));
    EXPECT_NE(wasm->get_header_value("Content-Security-Policy").find("'wasm-unsafe-eval'"),
              std::string::npos);
    EXPECT_EQ(client.Get("/pkg/package.json")->status, 404); // only the files a page loads
    // A package removed while serving: the page is told what to do.
    fs::remove(web / "index.js");
    const auto gone = client.Get("/pkg/index.js");
    EXPECT_EQ(gone->status, 404);
    EXPECT_NE(gone->body.find("run scripts/web.sh"), std::string::npos) << gone->body;

    const std::string story = client.Get("/api/story")->body;
    EXPECT_NE(story.find(R"("defaultViewableId":81)"), std::string::npos) << story;
    EXPECT_NE(story.find(R"(\"playgraphId\":\"heist-story\")"), std::string::npos) << story;
    // A folder without a built package is refused when it is named.
    const std::string command = std::string(PLAYGRAPH_TOOL) + " serve " + file_.string() +
                                " --web " + dir_.string() + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[256] = {};
    (void)!std::fgets(buffer, sizeof buffer, pipe);
    EXPECT_NE(pclose(pipe), 0);
    EXPECT_NE(std::string(buffer).find("not a built JavaScript package"), std::string::npos);
}

} // namespace
