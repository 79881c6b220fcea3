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
#include <string_view>
#include <unordered_set>
#include <vector>

#include "Tool.hpp"
#include "playgraph/editing/EditHistory.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::tool {

namespace {

// What follows the operations in --help.
constexpr const char* opNotes =
    R"(VIEWABLE is an integer or 'none'; PROPERTIES is a JSON object and ends the
operation; an id with spaces or quotes is written as a JSON string ("my id").
Times are from 0. 'insert-after ... default' ends the default path at NEW
('insert-between' keeps it going). The tool warns on standard error when an
operation leaves a reference naming a missing segment, leaves segments
unreachable from the initial segment, takes segments off the default path or
drops annotations; --strict refuses the edit then.)";

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

/// One operation with where it came from, for messages.
struct Op {
    std::string text;
    std::string origin; // "FILE line N", or empty for an --op argument
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<EditWord> tokenize(const std::string& text) {
    std::vector<EditWord> tokens;
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

/// The arguments of one operation, read, by their position in its
/// parameters; each holds what its parameter's reader reads.
struct Argument {
    std::string id;
    double seconds = 0;
    uint64_t count = 0;
    Value value; ///< a viewable or properties
    bool flag = false;
};

class Arguments {
public:
    const std::string& id(std::size_t i) const { return arguments_[i].id; }
    double seconds(std::size_t i) const { return arguments_[i].seconds; }
    uint64_t count(std::size_t i) const { return arguments_[i].count; }
    const Value& value(std::size_t i) const { return arguments_[i].value; }
    bool flag(std::size_t i) const { return arguments_[i].flag; }

    std::vector<Argument> arguments_;
};

/// Reads the words of one operation in order, as its parameters say.
class WordReader {
public:
    WordReader(std::vector<EditWord> words, std::string verb)
        : words_(std::move(words)), verb_(std::move(verb)) {}

    // The readers of the kinds of argument, each for the argument `what`.
    void id(const char* what, Argument& argument) { argument.id = word(what).text; }

    void seconds(const char* what, Argument& argument) {
        const EditWord& token = word(what);
        try {
            argument.seconds = secondsArgument(token.text, what);
        } catch (const InputError& e) {
            throw OpSyntaxError(e.what());
        }
    }

    /// A whole number from 0.
    void count(const char* what, Argument& argument) {
        const EditWord& token = word(what);
        const auto [end, error] = std::from_chars(
            token.text.data(), token.text.data() + token.text.size(), argument.count);
        if (error != std::errc() || end != token.text.data() + token.text.size()) {
            throw OpSyntaxError(std::string(what) + " must be a whole number from 0, not '" +
                                token.text + "'");
        }
    }

    /// An integer or "none".
    void viewable(const char* what, Argument& argument) {
        const EditWord& token = word(what);
        if (token.text == "none") return;
        try {
            argument.value = Value(integerArgument(token.text, what));
        } catch (const InputError& e) {
            throw OpSyntaxError(std::string(e.what()) + " (or 'none')");
        }
    }

    /// The word "default" when it comes next.
    void flag(const char*, Argument& argument) {
        argument.flag =
            next_ < words_.size() && !words_[next_].isObject && words_[next_].text == "default";
        next_ += argument.flag ? 1 : 0;
    }

    /// A JSON object.
    void properties(const char* what, Argument& argument) {
        if (next_ == words_.size()) throw OpSyntaxError("missing PROPERTIES (a JSON object)");
        optionalProperties(what, argument);
    }

    /// A JSON object, or nothing.
    void optionalProperties(const char*, Argument& argument) {
        if (next_ == words_.size()) return;
        const EditWord& token = words_[next_++];
        if (!token.isObject) {
            throw OpSyntaxError("PROPERTIES must be a JSON object, not '" + token.text + "'");
        }
        try {
            argument.value = parseJson(token.text, "PROPERTIES");
        } catch (const JsonError& e) {
            throw OpSyntaxError(e.what());
        }
    }

    void finish() const {
        if (next_ < words_.size()) {
            throw OpSyntaxError("unexpected '" + words_[next_].text + "' after the arguments of " +
                                verb_);
        }
    }

private:
    const EditWord& word(const char* what) {
        if (next_ == words_.size()) throw OpSyntaxError("missing " + std::string(what));
        const EditWord& token = words_[next_++];
        if (token.isObject) {
            throw OpSyntaxError(std::string(what) + " expected, found a JSON object");
        }
        return token;
    }

    std::vector<EditWord> words_;
    std::string verb_;
    std::size_t next_ = 0;
};

/// One argument of an operation: its name as the syntax shows it and how
/// its word is read.
struct Parameter {
    const char* name;
    void (WordReader::*read)(const char* what, Argument&);

    bool optional() const {
        return read == &WordReader::flag || read == &WordReader::optionalProperties;
    }
};

/// One operation of `playgraph edit`: its name, its arguments, the line that
/// --help and the README show for it, and the edit it makes.
struct Operation {
    const char* verb;
    std::vector<Parameter> parameters;
    const char* help;
    void (*apply)(MutablePlaygraph&, const Arguments&);
};

// The operations, in the order --help lists them.
const std::vector<Operation>& operations() {
    using R = WordReader;
    using G = MutablePlaygraph;
    using A = const Arguments&;
    // The arguments of the operations that insert a segment.
    static const std::vector<Parameter> inserted = {{"EXISTING", &R::id},
                                                    {"NEW", &R::id},
                                                    {"VIEWABLE", &R::viewable},
                                                    {"START", &R::seconds},
                                                    {"END", &R::seconds}};
    static const std::vector<Parameter> insertedAfter = [] {
        auto parameters = inserted;
        parameters.push_back({"default", &R::flag});
        return parameters;
    }();
    static const std::vector<Operation> table = {
        {"split",
         {{"SEGMENT", &R::id}, {"OFFSET", &R::seconds}, {"FIRST", &R::id}, {"SECOND", &R::id}},
         "cuts SEGMENT at OFFSET seconds from its start (strictly inside it); either half may "
         "keep the id; a new half gets no annotations",
         [](G& g, A a) { g.splitSegment(a.id(0), a.seconds(1), a.id(2), a.id(3)); }},
        {"insert-after", insertedAfter,
         "a new segment reached from EXISTING (as its default next with 'default')",
         [](G& g, A a) {
             g.insertSegmentAfter(a.id(0), a.id(1), a.value(2), a.seconds(3), a.seconds(4),
                                  a.flag(5), nullptr);
         }},
        {"insert-before", inserted,
         "a new segment that takes over every transition into EXISTING and leads to it (a bare "
         "\"defaultNext\" naming EXISTING is left as it is)",
         [](G& g, A a) {
             g.insertSegmentBefore(a.id(0), a.id(1), a.value(2), a.seconds(3), a.seconds(4),
                                   nullptr);
         }},
        {"insert-between", inserted,
         "a new segment that becomes EXISTING's default next and leads on to EXISTING's old "
         "default next: one step",
         [](G& g, A a) {
             // One step of two edits: NEW becomes EXISTING's default next and
             // leads on to the segment that was EXISTING's default next.
             const auto segment = g.segmentById(a.id(0));
             const auto following = segment ? segment->defaultNext() : std::nullopt;
             g.insertSegmentAfter(a.id(0), a.id(1), a.value(2), a.seconds(3), a.seconds(4), true,
                                  nullptr);
             if (following && *following != a.id(1) && g.segmentById(*following))
                 g.addTransitionFromSegment(a.id(1), *following, true, Value());
         }},
        {"remove",
         {{"SEGMENT", &R::id}},
         "removes SEGMENT; every transition into it now leads to its default next (a sole "
         "predecessor also takes its other transitions); a bare \"defaultNext\" naming it is "
         "left as it is",
         [](G& g, A a) { g.removeSegment(a.id(0)); }},
        {"add-transition",
         {{"FROM", &R::id},
          {"TO", &R::id},
          {"default", &R::flag},
          {"PROPERTIES", &R::optionalProperties}},
         "a new transition (weight 50 unless PROPERTIES give one)",
         [](G& g, A a) { g.addTransitionFromSegment(a.id(0), a.id(1), a.flag(2), a.value(3)); }},
        {"update",
         {{"FROM", &R::id}, {"TO", &R::id}, {"PROPERTIES", &R::properties}},
         "merges PROPERTIES into the transition FROM -> TO",
         [](G& g, A a) { g.updatePropertiesForTransitionFrom(a.id(0), a.id(1), a.value(2)); }},
        {"update-all-to",
         {{"TO", &R::id}, {"PROPERTIES", &R::properties}},
         "... into every transition into TO",
         [](G& g, A a) { g.updatePropertiesForAllTransitionsTo(a.id(0), a.value(1)); }},
        {"update-all-from",
         {{"FROM", &R::id}, {"PROPERTIES", &R::properties}},
         "... into every transition out of FROM",
         [](G& g, A a) { g.updatePropertiesForAllTransitionfrom(a.id(0), a.value(1)); }},
        {"set-default",
         {{"FROM", &R::id}, {"TO", &R::id}},
         "makes the existing transition FROM -> TO the default",
         [](G& g, A a) { g.updateDefaultNextFromSegment(a.id(0), a.id(1)); }},
        {"skip",
         {{"FROM", &R::id}, {"TO", &R::id}, {"OFFSET", &R::seconds}, {"WEIGHT", &R::count}},
         "records a skip region on the transition FROM -> TO",
         [](G& g, A a) { g.supportSkippingSegment(a.id(0), a.id(1), a.seconds(2), a.count(3)); }},
    };
    return table;
}

/// "split SEGMENT OFFSET FIRST SECOND", with optional parts in brackets.
std::string syntax(const Operation& operation) {
    std::string text = operation.verb;
    for (const Parameter& parameter : operation.parameters) {
        const std::string name = parameter.name;
        text += parameter.optional() ? " [" + name + "]" : " " + name;
    }
    return text;
}

/// A parsed operation: the table's entry and its arguments.
struct Edit {
    const Operation* operation;
    Arguments arguments;

    bool isSplit() const { return std::string_view(operation->verb) == "split"; }
};

/// Parses one operation from its verb and words. Throws `OpSyntaxError`.
Edit parseWords(const std::string& verb, std::vector<EditWord> words) {
    const auto& table = operations();
    const auto found = std::find_if(table.begin(), table.end(),
                                    [&](const Operation& o) { return verb == o.verb; });
    if (found == table.end())
        throw OpSyntaxError("unknown operation '" + verb + "' (see playgraph edit --help)");
    WordReader reader(std::move(words), verb);
    Edit edit{&*found, {}};
    for (const Parameter& parameter : found->parameters) {
        Argument argument;
        (reader.*parameter.read)(parameter.name, argument);
        edit.arguments.arguments_.push_back(std::move(argument));
    }
    reader.finish();
    return edit;
}

/// Parses one operation's text. Throws `OpSyntaxError`.
Edit parseOp(const std::string& text) {
    std::vector<EditWord> tokens = tokenize(text);
    if (tokens.empty()) throw OpSyntaxError("empty operation");
    if (tokens.front().isObject) throw OpSyntaxError("an operation starts with its name");
    const std::string verb = tokens.front().text;
    tokens.erase(tokens.begin());
    return parseWords(verb, std::move(tokens));
}

/// The operations as --help lists them: the syntax, then the help line
/// wrapped and indented below it.
std::string operationsHelp() {
    constexpr std::size_t width = 80;
    const std::string indent(6, ' ');
    std::string text = "Operations (times and offsets in seconds):\n";
    for (const Operation& operation : operations()) {
        text += "  " + syntax(operation) + "\n";
        std::string line = indent;
        std::string_view rest = operation.help;
        while (!rest.empty()) {
            const auto space = rest.find(' ');
            const std::string_view word = rest.substr(0, space);
            if (line.size() > indent.size() && line.size() + 1 + word.size() > width) {
                text += line + "\n";
                line = indent;
            }
            line += (line.size() > indent.size() ? " " : "") + std::string(word);
            rest = space == std::string_view::npos ? "" : rest.substr(space + 1);
        }
        text += line + "\n";
    }
    return text + opNotes;
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
    const Value segments = playgraph.get(keys::segments);
    if (!segments.isDictionary()) return std::nullopt;
    const Value segment = segments.dictionary()->get(id);
    if (!segment.isDictionary()) return std::nullopt;
    return *segment.dictionary();
}

/// The references that name no segment: "initialSegment" and every
/// segment's "defaultNext" and "next" entries, as (key path, id).
std::set<std::pair<std::string, std::string>> danglingReferences(const Dictionary& playgraph) {
    std::set<std::pair<std::string, std::string>> dangling;
    const Value segmentsValue = playgraph.get(keys::segments);
    const Dictionary* segments = segmentsValue.dictionary();
    const auto exists = [&](const std::string& id) {
        return segments && segments->get(id).isDictionary();
    };
    if (const Value initial = playgraph.get(keys::initialSegment);
        initial.isString() && !exists(*initial.string())) {
        dangling.insert({std::string(keys::initialSegment), *initial.string()});
    }
    if (!segments) return dangling;
    for (const auto& [id, segment] : *segments) {
        if (!segment.isDictionary()) continue;
        const Dictionary& d = *segment.dictionary();
        if (const Value next = d.get(keys::defaultNext);
            next.isString() && !exists(*next.string())) {
            dangling.insert({"segments." + id + ".defaultNext", *next.string()});
        }
        if (const Value next = d.get(keys::next); next.isDictionary()) {
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
    const Value annotations = segment->get(keys::annotations);
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
    const Arguments& arguments = edit.arguments;
    if (edit.isSplit()) {
        if (auto problem = splitOffsetProblem(graph, arguments.id(0), arguments.seconds(1)))
            throw InvalidArgumentError(*problem);
        splitAnnotations = annotationKeys(graph.dictionaryRepresentation(), arguments.id(0));
    }
    edit.operation->apply(graph, arguments);

    std::vector<std::string> warnings;
    const Dictionary after = graph.dictionaryRepresentation();
    for (const auto& [path, id] : danglingReferences(after)) {
        if (!before.count({path, id})) warnings.push_back(path + " names missing segment " + id);
    }
    if (edit.isSplit() && !splitAnnotations.empty()) {
        for (const std::string* half : {&arguments.id(2), &arguments.id(3)}) {
            const auto kept = annotationKeys(after, *half);
            std::string lost;
            for (const auto& key : splitAnnotations) {
                if (std::find(kept.begin(), kept.end(), key) == kept.end()) {
                    lost += (lost.empty() ? "\"" : ", \"") + key + "\"";
                }
            }
            if (!lost.empty()) {
                warnings.push_back("half " + *half + " did not get the annotations " + lost +
                                   " of " + arguments.id(0));
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
    const Value segments = output.get(keys::segments);
    if (!segments.isDictionary()) return;
    for (const auto& [id, segment] : *segments.dictionary()) {
        if (!segment.isDictionary()) continue;
        Dictionary first = *segment.dictionary(); // a handle: the same container
        if (first.get(keys::main).isNone()) first.set(keys::main, defaultViewableId);
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

EditOperation parseEditOperation(const std::string& verb, std::vector<EditWord> words) {
    try {
        return [edit = parseWords(verb, std::move(words))](MutablePlaygraph& graph) {
            return applyEdit(graph, edit);
        };
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
    command->footer(operationsHelp() +
                    "\n\nA failing operation is reported with its position and reason; then "
                    "nothing is written (status 2). A regular file is replaced in one step and "
                    "keeps its owner and permissions; a device or FIFO is written directly.\n");
    return {command, [options] { return runEdit(*options); }};
}

} // namespace playgraph::tool
