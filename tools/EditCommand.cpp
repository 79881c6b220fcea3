// `playgraph edit`: applies editing operations to a playgraph file and writes
// the edited dictionary.
//
// Every operation is parsed first, then applied in order to one editable
// playgraph in memory. The result is written only when all of them succeed,
// so a failure leaves every file as it was.
//
// The library's edits follow transitions only and do not carry annotations
// into a new half of a split; the tool warns about what an operation leaves
// behind (references naming a missing segment, annotations a split dropped)
// and, with --strict, refuses the edit instead. It also refuses times the
// library would take silently: negative ones, ones beyond whole
// milliseconds, and split offsets outside the segment.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "Tool.hpp"
#include "playgraph/editing/EditHistory.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::tool {

namespace {

constexpr const char* opSyntax = R"(Operations (times and offsets in seconds):
  split SEGMENT OFFSET FIRST SECOND        cut SEGMENT at OFFSET from its start
  insert-after EXISTING NEW VIEWABLE START END [default]
  insert-before EXISTING NEW VIEWABLE START END
  insert-between EXISTING NEW VIEWABLE START END
                                           NEW becomes EXISTING's default next and leads
                                           on to EXISTING's old default next
  remove SEGMENT
  add-transition FROM TO [default] [PROPERTIES]
  update FROM TO PROPERTIES                merge into the transition FROM -> TO
  update-all-to TO PROPERTIES              ... into every transition into TO
  update-all-from FROM PROPERTIES          ... into every transition out of FROM
  set-default FROM TO                      make the transition FROM -> TO the default
  skip FROM TO OFFSET WEIGHT               record a skip region on FROM -> TO
VIEWABLE is an integer or 'none'; PROPERTIES is a JSON object and ends the
operation; an id with spaces or quotes is written as a JSON string ("my id").
Times are from 0; a split OFFSET lies strictly inside the segment.
'remove' and 'insert-before' move transitions only: a segment that names the
removed (or existing) segment only as "defaultNext" keeps naming it. 'split'
does not carry "annotations" into a newly made half. 'insert-after ... default'
ends the default path at NEW ('insert-between' keeps it going). The tool warns
on standard error when an operation leaves a reference naming a missing
segment, leaves segments unreachable from the initial segment, takes segments
off the default path or drops annotations; --strict refuses the edit then.)";

struct EditOptions {
    InputOptions input;
    std::vector<std::string> ops;
    std::string opsFile;
    std::string output;
    bool inPlace = false;
    bool strict = false;
    bool force = false;
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

    double seconds(const char* what) {
        const Token& token = word(what);
        try {
            return secondsArgument(token.text, what);
        } catch (const InputError& e) {
            throw OpSyntaxError(e.what());
        }
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
        try {
            return Value(integerArgument(token.text, what));
        } catch (const InputError& e) {
            throw OpSyntaxError(std::string(e.what()) + " (or 'none')");
        }
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

/// A parsed operation: what it does, and for a split the segment and its
/// halves, so that the tool can check the offset and the annotations.
struct Edit {
    std::function<void(MutablePlaygraph&)> apply;
    struct Split {
        std::string segment;
        double offset;
        std::string first;
        std::string second;
    };
    std::optional<Split> split;
};

/// Parses one operation into the edit it makes. Throws `OpSyntaxError`.
Edit parseOp(const std::string& text) {
    std::vector<Token> tokens = tokenize(text);
    if (tokens.empty()) throw OpSyntaxError("empty operation");
    if (tokens.front().isObject) throw OpSyntaxError("an operation starts with its name");
    const std::string verb = tokens.front().text;
    tokens.erase(tokens.begin());
    Arguments args(std::move(tokens), verb);
    Edit edit;
    auto& apply = edit.apply;

    if (verb == "split") {
        auto segment = args.id("SEGMENT");
        const double offset = args.seconds("OFFSET");
        auto first = args.id("FIRST");
        auto second = args.id("SECOND");
        apply = [=](MutablePlaygraph& g) { g.splitSegment(segment, offset, first, second); };
        edit.split = Edit::Split{segment, offset, first, second};
    } else if (verb == "insert-after" || verb == "insert-before" || verb == "insert-between") {
        auto existing = args.id("EXISTING");
        auto added = args.id("NEW");
        const Value viewable = args.viewable("VIEWABLE");
        const double start = args.seconds("START");
        const double end = args.seconds("END");
        if (verb == "insert-after") {
            const bool asDefault = args.defaultFlag();
            apply = [=](MutablePlaygraph& g) {
                g.insertSegmentAfter(existing, added, viewable, start, end, asDefault, nullptr);
            };
        } else if (verb == "insert-between") {
            // One step of two edits: NEW becomes EXISTING's default next and
            // leads on to the segment that was EXISTING's default next.
            apply = [=](MutablePlaygraph& g) {
                const auto segment = g.segmentById(existing);
                const auto following = segment ? segment->defaultNext() : std::nullopt;
                g.insertSegmentAfter(existing, added, viewable, start, end, true, nullptr);
                if (following && *following != added && g.segmentById(*following)) {
                    g.addTransitionFromSegment(added, *following, true, Value());
                }
            };
        } else {
            apply = [=](MutablePlaygraph& g) {
                g.insertSegmentBefore(existing, added, viewable, start, end, nullptr);
            };
        }
    } else if (verb == "remove") {
        auto segment = args.id("SEGMENT");
        apply = [=](MutablePlaygraph& g) { g.removeSegment(segment); };
    } else if (verb == "add-transition") {
        auto from = args.id("FROM");
        auto to = args.id("TO");
        const bool asDefault = args.defaultFlag();
        const Value properties = args.properties(true);
        apply = [=](MutablePlaygraph& g) {
            g.addTransitionFromSegment(from, to, asDefault, properties);
        };
    } else if (verb == "update") {
        auto from = args.id("FROM");
        auto to = args.id("TO");
        const Value properties = args.properties(false);
        apply = [=](MutablePlaygraph& g) {
            g.updatePropertiesForTransitionFrom(from, to, properties);
        };
    } else if (verb == "update-all-to") {
        auto to = args.id("TO");
        const Value properties = args.properties(false);
        apply = [=](MutablePlaygraph& g) { g.updatePropertiesForAllTransitionsTo(to, properties); };
    } else if (verb == "update-all-from") {
        auto from = args.id("FROM");
        const Value properties = args.properties(false);
        apply = [=](MutablePlaygraph& g) {
            g.updatePropertiesForAllTransitionfrom(from, properties);
        };
    } else if (verb == "set-default") {
        auto from = args.id("FROM");
        auto to = args.id("TO");
        apply = [=](MutablePlaygraph& g) { g.updateDefaultNextFromSegment(from, to); };
    } else if (verb == "skip") {
        auto from = args.id("FROM");
        auto to = args.id("TO");
        const double offset = args.seconds("OFFSET");
        const uint64_t weight = args.count("WEIGHT");
        apply = [=](MutablePlaygraph& g) { g.supportSkippingSegment(from, to, offset, weight); };
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
        if (!stream) {
            throw InputError(file + ": cannot open the operations file: " + std::strerror(errno));
        }
        in = &stream;
    }
    std::vector<Op> ops;
    std::string line;
    for (std::size_t number = 1; std::getline(*in, line); ++number) {
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3); // a BOM
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

/// The segment dictionary `id` of `playgraph`, if there is one.
std::optional<Dictionary> segmentDictionary(const Dictionary& playgraph, const std::string& id) {
    const Value segments = playgraph.get("segments");
    if (!segments.isDictionary()) return std::nullopt;
    const Value segment = segments.dictionary()->get(id);
    if (!segment.isDictionary()) return std::nullopt;
    return *segment.dictionary();
}

/// The references that name no segment: "initialSegment" and every
/// segment's "defaultNext" and "next" entries, as (key path, id).
std::set<std::pair<std::string, std::string>> danglingReferences(const Dictionary& playgraph) {
    std::set<std::pair<std::string, std::string>> dangling;
    const Value segmentsValue = playgraph.get("segments");
    const Dictionary* segments = segmentsValue.dictionary();
    const auto exists = [&](const std::string& id) {
        return segments && segments->get(id).isDictionary();
    };
    if (const Value initial = playgraph.get("initialSegment");
        initial.isString() && !exists(*initial.string())) {
        dangling.insert({"initialSegment", *initial.string()});
    }
    if (!segments) return dangling;
    for (const auto& [id, segment] : *segments) {
        if (!segment.isDictionary()) continue;
        const Dictionary& d = *segment.dictionary();
        if (const Value next = d.get("defaultNext"); next.isString() && !exists(*next.string())) {
            dangling.insert({"segments." + id + ".defaultNext", *next.string()});
        }
        if (const Value next = d.get("next"); next.isDictionary()) {
            for (const auto& [destination, transition] : *next.dictionary()) {
                if (!exists(destination)) {
                    dangling.insert({"segments." + id + ".next." + destination, destination});
                }
            }
        }
    }
    return dangling;
}

/// The annotation keys of segment `id`, in order.
std::vector<std::string> annotationKeys(const Dictionary& playgraph, const std::string& id) {
    const auto segment = segmentDictionary(playgraph, id);
    if (!segment) return {};
    const Value annotations = segment->get("annotations");
    return annotations.isDictionary() ? annotations.dictionary()->keys()
                                      : std::vector<std::string>();
}

/// "a, b and 3 more": at most a few of `ids`, so that a message stays short.
std::string someIds(const std::vector<std::string>& ids) {
    constexpr std::size_t kShown = 8;
    std::string text;
    for (std::size_t i = 0; i < ids.size() && i < kShown; ++i)
        text += (i ? ", " : "") + ids[i];
    if (ids.size() > kShown) text += " and " + std::to_string(ids.size() - kShown) + " more";
    return text;
}

/// The segments of `graph` that its initial segment does not reach.
std::unordered_set<std::string> unreachableSegmentIds(const MutablePlaygraph& graph) {
    const std::unordered_set<std::string> reached = reachableSegmentIds(graph);
    std::unordered_set<std::string> unreached;
    for (auto& id : graph.allSegmentIds().value_or(std::vector<std::string>())) {
        if (!reached.count(id)) unreached.insert(std::move(id));
    }
    return unreached;
}

/// Warns about segments that an edit left unreachable from the initial
/// segment (ones it made included), and about those it took off the default
/// path when the path no longer reaches its old end (a segment the edit
/// removed is neither: it is gone).
void strandingWarnings(const MutablePlaygraph& graph,
                       const std::unordered_set<std::string>& unreachableBefore,
                       const std::vector<std::string>& pathBefore,
                       std::vector<std::string>& warnings) {
    const std::unordered_set<std::string> reachableAfter = reachableSegmentIds(graph);
    std::vector<std::string> stranded;
    for (const auto& id : graph.allSegmentIds().value_or(std::vector<std::string>())) {
        if (!reachableAfter.count(id) && !unreachableBefore.count(id)) stranded.push_back(id);
    }
    if (!stranded.empty()) {
        warnings.push_back("leaves " + someIds(stranded) + " unreachable from the initial segment");
    }
    const std::vector<std::string> pathAfter = defaultPathIds(graph);
    const std::unordered_set<std::string> onPathAfter(pathAfter.begin(), pathAfter.end());
    // The path is cut short when it no longer reaches its old end; a path
    // that changed course to the same end (set-default) is what was asked.
    std::vector<std::string> leftPath;
    const bool endLost = !pathBefore.empty() && !onPathAfter.count(pathBefore.back()) &&
                         graph.segmentById(pathBefore.back());
    for (const auto& id : pathBefore) {
        if (endLost && !onPathAfter.count(id) && graph.segmentById(id)) leftPath.push_back(id);
    }
    if (!leftPath.empty()) {
        warnings.push_back(
            "takes " + someIds(leftPath) + " off the default path, which now " +
            (pathAfter.empty() ? std::string("is empty") : "ends at " + pathAfter.back()));
    }
}

/// Applies one edit and returns the warnings about what it left behind.
std::vector<std::string> applyEdit(MutablePlaygraph& graph, const Edit& edit) {
    const auto before = danglingReferences(graph.dictionaryRepresentation());
    std::vector<std::string> splitAnnotations;
    const std::unordered_set<std::string> unreachableBefore = unreachableSegmentIds(graph);
    const std::vector<std::string> pathBefore = defaultPathIds(graph);
    if (edit.split) {
        if (auto problem = splitOffsetProblem(graph, edit.split->segment, edit.split->offset)) {
            throw InvalidArgumentError(*problem);
        }
        splitAnnotations = annotationKeys(graph.dictionaryRepresentation(), edit.split->segment);
    }
    edit.apply(graph);

    std::vector<std::string> warnings;
    const Dictionary after = graph.dictionaryRepresentation();
    for (const auto& [path, id] : danglingReferences(after)) {
        if (!before.count({path, id})) warnings.push_back(path + " names missing segment " + id);
    }
    if (edit.split && !splitAnnotations.empty()) {
        for (const std::string* half : {&edit.split->first, &edit.split->second}) {
            const auto kept = annotationKeys(after, *half);
            std::string lost;
            for (const auto& key : splitAnnotations) {
                if (std::find(kept.begin(), kept.end(), key) == kept.end()) {
                    lost += (lost.empty() ? "\"" : ", \"") + key + "\"";
                }
            }
            if (!lost.empty()) {
                warnings.push_back("half " + *half + " did not get the annotations " + lost +
                                   " of " + edit.split->segment);
            }
        }
    }
    strandingWarnings(graph, unreachableBefore, pathBefore, warnings);
    return warnings;
}

} // namespace

/// Keeps the default viewable id that the input's first "main" gave: when
/// the edits took that "main" away, the first segment gets it, so that the
/// output loads with the same default.
void keepDefaultViewableId(const Dictionary& output, const Value& defaultViewableId) {
    if (!defaultViewableId.isNumber() || firstMainValue(Value(output)) == defaultViewableId) return;
    const Value segments = output.get("segments");
    if (!segments.isDictionary()) return;
    for (const auto& [id, segment] : *segments.dictionary()) {
        if (!segment.isDictionary()) continue;
        Dictionary first = *segment.dictionary(); // a handle: the same container
        if (first.get("main").isNone()) first.set("main", defaultViewableId);
        return;
    }
}

namespace {

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
    const Value defaultViewableId = defaultViewableIdFor(options.input, document.dictionary);
    const auto graph = MutablePlaygraph::create(document.dictionary, defaultViewableId);
    std::size_t warnings = 0;
    // One transaction: the model catches up once, after the last operation,
    // and a refused operation leaves the playgraph as it was read.
    EditHistory history(graph, 1);
    history.transaction([&](MutablePlaygraph& g) {
        for (std::size_t i = 0; i < edits.size(); ++i) {
            try {
                for (const auto& warning : applyEdit(g, edits[i])) {
                    ++warnings;
                    std::cerr << "playgraph: " << (options.strict ? "" : "warning: ")
                              << shown(describe(i + 1, ops[i]) + ": " + warning) << '\n';
                }
            } catch (const InvalidArgumentError& e) {
                throw InputError(describe(i + 1, ops[i]) + ": " + e.what() + "; nothing written");
            }
        }
    });
    if (options.strict && warnings > 0) {
        throw InputError(std::to_string(warnings) + " warning(s) under --strict; nothing written");
    }

    const Dictionary output = graph->dictionaryRepresentation();
    if (!options.input.defaultViewableId) keepDefaultViewableId(output, defaultViewableId);
    writeResult(options.inPlace ? options.input.file : options.output, Value(output),
                options.force);
    return exitOk;
}

} // namespace

EditOperation parseEditOperation(const std::string& text) {
    try {
        return [edit = parseOp(text)](MutablePlaygraph& graph) { return applyEdit(graph, edit); };
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
    command
        ->add_option("--ops", options->opsFile,
                     "A file of operations, one a line ('#' starts a comment line), '-' for "
                     "standard input; applied after the --op ones")
        ->check(nonEmptyCheck());
    addOutputOptions(*command, options->output, options->inPlace);
    command->add_flag("--strict", options->strict,
                      "Refuse the edit (write nothing) when an operation warns: a reference "
                      "naming a missing segment, segments left unreachable or taken off the "
                      "default path, annotations dropped in a split");
    command->add_flag("--force", options->force,
                      "Replace the output file even when it is read-only");
    command->footer(std::string(opSyntax) +
                    "\n\nA failing operation is reported with its position and reason; then "
                    "nothing is written (status 2). A regular file is replaced in one step and "
                    "keeps its owner and permissions; a device or FIFO is written directly.\n");
    return {command, [options] { return runEdit(*options); }};
}

} // namespace playgraph::tool
