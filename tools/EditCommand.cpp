// `playgraph edit`: applies editing operations to a playgraph file and writes
// the edited dictionary.
//
// Every operation is parsed first, then applied in order to one editable
// playgraph in memory. The result is written only when all of them succeed,
// so a failure leaves every file as it was.

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "Tool.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::tool {

namespace {

constexpr const char* opSyntax = R"(Operations (times and offsets in seconds):
  split SEGMENT OFFSET FIRST SECOND        cut SEGMENT at OFFSET from its start
  insert-after EXISTING NEW VIEWABLE START END [default]
  insert-before EXISTING NEW VIEWABLE START END
  remove SEGMENT
  add-transition FROM TO [default] [PROPERTIES]
  update FROM TO PROPERTIES                merge into the transition FROM -> TO
  update-all-to TO PROPERTIES              ... into every transition into TO
  update-all-from FROM PROPERTIES          ... into every transition out of FROM
  set-default FROM TO                      make the transition FROM -> TO the default
  skip FROM TO OFFSET WEIGHT               record a skip region on FROM -> TO
VIEWABLE is an integer or 'none'; PROPERTIES is a JSON object and ends the
operation; an id with spaces or quotes is written as a JSON string ("my id").)";

struct EditOptions {
    InputOptions input;
    std::vector<std::string> ops;
    std::string opsFile;
    std::string output;
    bool inPlace = false;
};

/// A malformed operation; the message says what is wrong with it.
class OpSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One word of an operation: a bare or quoted word, or a JSON object.
struct Token {
    std::string text;
    bool isObject = false;
};

/// One operation with where it came from, for messages.
struct Op {
    std::string text;
    std::string origin; // "FILE line N", or empty for an --op argument
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<Token> tokenize(const std::string& text) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && isSpace(text[i]))
            ++i;
        if (i == text.size()) break;
        if (text[i] == '{') { // a JSON object: the rest of the operation
            std::size_t end = text.size();
            while (end > i && isSpace(text[end - 1]))
                --end;
            tokens.push_back({text.substr(i, end - i), true});
            break;
        }
        if (text[i] == '"') { // a JSON string
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != '"')
                end += text[end] == '\\' ? 2 : 1;
            if (end >= text.size()) throw OpSyntaxError("unterminated quoted word");
            try {
                const Value word = parseJson(std::string_view(text).substr(i, end + 1 - i));
                tokens.push_back({*word.string(), false});
            } catch (const JsonError& e) {
                throw OpSyntaxError("bad quoted word: " + e.reason());
            }
            i = end + 1;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isSpace(text[end]))
            ++end;
        tokens.push_back({text.substr(i, end - i), false});
        i = end;
    }
    return tokens;
}

/// Reads the arguments of one operation in order, with typed conversions.
class Arguments {
public:
    Arguments(std::vector<Token> tokens, std::string verb)
        : tokens_(std::move(tokens)), verb_(std::move(verb)) {}

    std::string id(const char* what) { return word(what).text; }

    double number(const char* what) {
        const Token& token = word(what);
        const char* begin = token.text.c_str();
        char* end = nullptr;
        const double value = std::strtod(begin, &end);
        if (token.text.empty() || end != begin + token.text.size() || !std::isfinite(value)) {
            throw OpSyntaxError(std::string(what) + " must be a finite number of seconds, not '" +
                                token.text + "'");
        }
        return value;
    }

    uint64_t count(const char* what) {
        const Token& token = word(what);
        uint64_t value = 0;
        const auto [end, error] =
            std::from_chars(token.text.data(), token.text.data() + token.text.size(), value);
        if (error != std::errc() || end != token.text.data() + token.text.size()) {
            throw OpSyntaxError(std::string(what) + " must be a whole number from 0, not '" +
                                token.text + "'");
        }
        return value;
    }

    Value viewable(const char* what) {
        const Token& token = word(what);
        if (token.text == "none") return Value();
        int64_t value = 0;
        const auto [end, error] =
            std::from_chars(token.text.data(), token.text.data() + token.text.size(), value);
        if (error != std::errc() || end != token.text.data() + token.text.size()) {
            throw OpSyntaxError(std::string(what) + " must be an integer or 'none', not '" +
                                token.text + "'");
        }
        return Value(value);
    }

    /// Takes the word "default" when it comes next.
    bool defaultFlag() {
        if (next_ < tokens_.size() && !tokens_[next_].isObject &&
            tokens_[next_].text == "default") {
            ++next_;
            return true;
        }
        return false;
    }

    Value properties(bool optional) {
        if (next_ == tokens_.size()) {
            if (optional) return Value();
            throw OpSyntaxError("missing PROPERTIES (a JSON object)");
        }
        const Token& token = tokens_[next_++];
        if (!token.isObject) {
            throw OpSyntaxError("PROPERTIES must be a JSON object, not '" + token.text + "'");
        }
        try {
            return parseJson(token.text, "PROPERTIES");
        } catch (const JsonError& e) {
            throw OpSyntaxError(e.what());
        }
    }

    void finish() const {
        if (next_ < tokens_.size()) {
            throw OpSyntaxError("unexpected '" + tokens_[next_].text + "' after the arguments of " +
                                verb_);
        }
    }

private:
    const Token& word(const char* what) {
        if (next_ == tokens_.size()) throw OpSyntaxError("missing " + std::string(what));
        const Token& token = tokens_[next_++];
        if (token.isObject) {
            throw OpSyntaxError(std::string(what) + " expected, found a JSON object");
        }
        return token;
    }

    std::vector<Token> tokens_;
    std::string verb_;
    std::size_t next_ = 0;
};

using Edit = std::function<void(MutablePlaygraph&)>;

/// Parses one operation into the edit it makes. Throws `OpSyntaxError`.
Edit parseOp(const std::string& text) {
    std::vector<Token> tokens = tokenize(text);
    if (tokens.empty()) throw OpSyntaxError("empty operation");
    if (tokens.front().isObject) throw OpSyntaxError("an operation starts with its name");
    const std::string verb = tokens.front().text;
    tokens.erase(tokens.begin());
    Arguments args(std::move(tokens), verb);
    Edit edit;

    if (verb == "split") {
        auto segment = args.id("SEGMENT");
        const double offset = args.number("OFFSET");
        auto first = args.id("FIRST");
        auto second = args.id("SECOND");
        edit = [=](MutablePlaygraph& g) { g.splitSegment(segment, offset, first, second); };
    } else if (verb == "insert-after" || verb == "insert-before") {
        auto existing = args.id("EXISTING");
        auto added = args.id("NEW");
        const Value viewable = args.viewable("VIEWABLE");
        const double start = args.number("START");
        const double end = args.number("END");
        if (verb == "insert-after") {
            const bool asDefault = args.defaultFlag();
            edit = [=](MutablePlaygraph& g) {
                g.insertSegmentAfter(existing, added, viewable, start, end, asDefault, nullptr);
            };
        } else {
            edit = [=](MutablePlaygraph& g) {
                g.insertSegmentBefore(existing, added, viewable, start, end, nullptr);
            };
        }
    } else if (verb == "remove") {
        auto segment = args.id("SEGMENT");
        edit = [=](MutablePlaygraph& g) { g.removeSegment(segment); };
    } else if (verb == "add-transition") {
        auto from = args.id("FROM");
        auto to = args.id("TO");
        const bool asDefault = args.defaultFlag();
        const Value properties = args.properties(true);
        edit = [=](MutablePlaygraph& g) {
            g.addTransitionFromSegment(from, to, asDefault, properties);
        };
    } else if (verb == "update") {
        auto from = args.id("FROM");
        auto to = args.id("TO");
        const Value properties = args.properties(false);
        edit = [=](MutablePlaygraph& g) {
            g.updatePropertiesForTransitionFrom(from, to, properties);
        };
    } else if (verb == "update-all-to") {
        auto to = args.id("TO");
        const Value properties = args.properties(false);
        edit = [=](MutablePlaygraph& g) { g.updatePropertiesForAllTransitionsTo(to, properties); };
    } else if (verb == "update-all-from") {
        auto from = args.id("FROM");
        const Value properties = args.properties(false);
        edit = [=](MutablePlaygraph& g) {
            g.updatePropertiesForAllTransitionfrom(from, properties);
        };
    } else if (verb == "set-default") {
        auto from = args.id("FROM");
        auto to = args.id("TO");
        edit = [=](MutablePlaygraph& g) { g.updateDefaultNextFromSegment(from, to); };
    } else if (verb == "skip") {
        auto from = args.id("FROM");
        auto to = args.id("TO");
        const double offset = args.number("OFFSET");
        const uint64_t weight = args.count("WEIGHT");
        edit = [=](MutablePlaygraph& g) { g.supportSkippingSegment(from, to, offset, weight); };
    } else {
        throw OpSyntaxError("unknown operation '" + verb + "' (see playgraph edit --help)");
    }
    args.finish();
    return edit;
}

/// The operations of an ops file: one a line; blank lines and lines starting
/// with '#' are skipped.
std::vector<Op> readOpsFile(const std::string& file) {
    std::ifstream stream;
    std::istream* in = &std::cin;
    const std::string name = file == "-" ? "<stdin>" : file;
    if (file != "-") {
        stream.open(file);
        if (!stream) throw InputError(file + ": cannot open the operations file");
        in = &stream;
    }
    std::vector<Op> ops;
    std::string line;
    for (std::size_t number = 1; std::getline(*in, line); ++number) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        const auto last = line.find_last_not_of(" \t\r");
        ops.push_back(
            {line.substr(first, last + 1 - first), name + " line " + std::to_string(number)});
    }
    if (in->bad()) throw InputError(name + ": cannot read the operations file");
    return ops;
}

std::string describe(std::size_t position, const Op& op) {
    std::string text = "op " + std::to_string(position);
    if (!op.origin.empty()) text += " (" + op.origin + ")";
    return text + " '" + op.text + "'";
}

int runEdit(const EditOptions& options) {
    if (options.inPlace) {
        if (options.input.file.empty() || options.input.file == "-") {
            throw InputError("--in-place needs a FILE to rewrite");
        }
        if (!options.output.empty()) throw InputError("--in-place and --output exclude each other");
    }
    if (options.opsFile == "-" && options.input.file == "-") {
        throw InputError("the playgraph and the operations cannot both come from standard input");
    }

    std::vector<Op> ops;
    for (const auto& text : options.ops)
        ops.push_back({text, ""});
    if (!options.opsFile.empty()) {
        auto fromFile = readOpsFile(options.opsFile);
        ops.insert(ops.end(), fromFile.begin(), fromFile.end());
    }

    // Parse everything before reading the playgraph, so that a typo in the
    // last operation is found without any work done.
    std::vector<Edit> edits;
    for (std::size_t i = 0; i < ops.size(); ++i) {
        try {
            edits.push_back(parseOp(ops[i].text));
        } catch (const OpSyntaxError& e) {
            throw InputError(describe(i + 1, ops[i]) + ": " + e.what() + "; nothing written");
        }
    }

    const InputDocument document = readInput(options.input.file);
    const auto graph = MutablePlaygraph::create(
        document.dictionary, defaultViewableIdFor(options.input, document.dictionary));
    for (std::size_t i = 0; i < edits.size(); ++i) {
        try {
            edits[i](*graph);
        } catch (const InvalidArgumentError& e) {
            throw InputError(describe(i + 1, ops[i]) + ": " + e.what() + "; nothing written");
        }
    }

    std::string text;
    try {
        text = writeJson(Value(graph->dictionaryRepresentation()), JsonStyle::pretty) + "\n";
    } catch (const JsonError& e) {
        throw InputError(std::string(e.what()) + "; nothing written");
    }
    writeOutput(options.inPlace ? options.input.file : options.output, text);
    return exitOk;
}

} // namespace

EditOperation parseEditOperation(const std::string& text) {
    try {
        return parseOp(text);
    } catch (const OpSyntaxError& e) {
        throw InputError(e.what());
    }
}

Command addEditCommand(CLI::App& app) {
    auto options = std::make_shared<EditOptions>();
    CLI::App* command = app.add_subcommand(
        "edit", "Applies editing operations to a playgraph and writes the result as JSON; all "
                "or nothing");
    addInputOptions(*command, options->input);
    command
        ->add_option("--op", options->ops,
                     "An operation, e.g. --op 'split intro 4.0 intro intro-b'; repeat for more, "
                     "applied in order")
        ->allow_extra_args(false);
    command->add_option("--ops", options->opsFile,
                        "A file of operations, one a line ('#' starts a comment line), '-' for "
                        "standard input; applied after the --op ones");
    auto* output = command->add_option("-o,--output", options->output,
                                       "Write the result to this file (default: standard output)");
    command->add_flag("--in-place", options->inPlace, "Replace FILE with the result")
        ->excludes(output);
    command->footer(std::string(opSyntax) +
                    "\n\nA failing operation is reported with its position and reason; then "
                    "nothing is written (status 2). Files are replaced in one step.\n");
    return {command, [options] { return runEdit(*options); }};
}

} // namespace playgraph::tool
