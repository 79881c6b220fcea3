// Changes between two playgraph dictionaries: finding them, their kinds and
// dictionary form, and making them.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "DiffSupport.hpp"
#include "playgraph/Keys.hpp"

namespace playgraph::inline v1 {

namespace {

constexpr std::array<std::string_view, 15> kKindNames = {
    "segmentAdded",
    "segmentRemoved",
    "segmentRenamed",
    "segmentChanged",
    "retimed",
    "defaultNextChanged",
    "transitionAdded",
    "transitionRemoved",
    "transitionReweighted",
    "transitionTypeChanged",
    "transitionChanged",
    "annotationChanged",
    "userInfoChanged",
    "initialSegmentChanged",
    "topLevelChanged",
};

// An entry holding none is no entry.
const Value* present(const Value* value) { return value && !value->isNone() ? value : nullptr; }

// ---- hashing, for rename detection ----

uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

uint64_t hashText(std::string_view text) {
    uint64_t h = 1469598103934665603ULL;
    for (const char c : text)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return mix(h);
}

// Equal values (by `Value`'s ==) hash alike: integers by their number,
// every not-a-number alike, 0.0 and -0.0 alike, dictionaries whatever their
// order.
uint64_t hashValue(const Value& value, int depth) {
    using K = Value::Kind;
    const auto kind = static_cast<uint64_t>(value.kind());
    if (depth > 64) return kind; // deep enough to tell segments apart
    const Value::Data data = value.data();
    switch (value.kind()) {
    case K::Bool:
        return mix(kind * 31 + std::get<bool>(data));
    case K::Int:
    case K::UInt: {
        // A negative Int never equals a UInt; the rest compare as numbers.
        const uint64_t n = value.kind() == K::Int ? static_cast<uint64_t>(std::get<int64_t>(data))
                                                  : std::get<uint64_t>(data);
        return mix(n ^ 0x9e3779b97f4a7c15ULL);
    }
    case K::Double: {
        const double d = std::get<double>(data);
        if (std::isnan(d)) return mix(kind * 7);
        const double plain = d == 0.0 ? 0.0 : d;
        uint64_t bits = 0;
        std::memcpy(&bits, &plain, sizeof bits);
        return mix(bits + kind);
    }
    case K::String:
        return hashText(*value.string());
    case K::Dictionary: {
        uint64_t h = mix(kind + value.dictionary()->size());
        for (const auto& [key, child] : *value.dictionary())
            h += mix(hashText(key) * 3 + hashValue(child, depth + 1));
        return h;
    }
    case K::List: {
        uint64_t h = mix(kind + value.list()->size());
        for (const auto& child : *value.list())
            h = mix(h * 31 + hashValue(child, depth + 1));
        return h;
    }
    case K::Object:
        return mix(reinterpret_cast<uintptr_t>(value.object().get()));
    default:
        return mix(kind);
    }
}

// ---- finding the changes ----

// How deep diff and apply follow dictionaries, as the JSON library nests
// them; deeper means a container that holds itself.
constexpr std::size_t kMaxNesting = 512;

template <class Path> std::string tooDeep(const Path& path) {
    return "containers nested deeper than " + std::to_string(kMaxNesting) + " levels at " +
           keyPathText(KeyPath(path.begin(), path.begin() + 8)) +
           "... (does a container hold itself?)";
}

// `a == b`, faster where both hold their keys in one order, as two copies
// of one story mostly do: entries side by side, without a lookup each.
bool alike(const Value& a, const Value& b, int depth = 0) {
    const Dictionary* x = a.dictionary();
    const Dictionary* y = b.dictionary();
    if (!x || !y || depth > 64) return a == b;
    if (x->sameAs(*y)) return true;
    if (x->size() != y->size()) return false;
    auto other = y->begin();
    for (const auto& [key, value] : *x) {
        if (other->first != key) return a == b; // another order: compare by key
        if (!alike(value, other->second, depth + 1)) return false;
        ++other;
    }
    return true;
}

class Differ {
public:
    PlaygraphDiff run(const Dictionary& before, const Dictionary& after) {
        compareDictionaries(before, after);
        findRenames();
        return std::move(out_);
    }

private:
    // A segment or a transition entry comes and goes whole.
    bool isWholeEntity() const {
        const bool segment = path_.size() == 2 && path_[0] == keys::segments;
        const bool transition =
            path_.size() == 4 && path_[0] == keys::segments && path_[2] == keys::next;
        return segment || transition;
    }

    void emit(const Value* before, const Value* after) {
        PlaygraphChange change;
        change.path.assign(path_.begin(), path_.end());
        if (before) change.before = *before;
        if (after) change.after = *after;
        change.kind = changeKindFor(change.path, change.before, change.after);
        if (path_.size() >= 2 && path_[0] == keys::segments) change.segmentId = path_[1];
        if (path_.size() >= 4 && path_[0] == keys::segments && path_[2] == keys::next) {
            change.transitionId = path_[3];
        }
        out_.changes.push_back(std::move(change));
    }

    void compare(const Value* before, const Value* after) {
        before = present(before);
        after = present(after);
        if (!before && !after) return;
        if (path_.size() > kMaxNesting) throw DiffError("diff: " + tooDeep(path_));
        if (before && after && before->isDictionary() && after->isDictionary()) {
            // Most entries are alike: comparing is cheaper than walking them.
            if (alike(*before, *after)) return;
            compareDictionaries(*before->dictionary(), *after->dictionary());
            return;
        }
        // A dictionary that appears with entries is entered, so that the
        // entries are changes of their own (and merge key by key).
        if (!before && after->isDictionary() && !after->dictionary()->empty() && !isWholeEntity()) {
            compareDictionaries(Dictionary(), *after->dictionary());
            return;
        }
        if (before && after && *before == *after) return;
        emit(before, after);
    }

    void compareDictionaries(const Dictionary& before, const Dictionary& after) {
        if (before.sameAs(after)) return;
        // Both sides mostly hold their keys in one order: walking them side
        // by side reads memory in order and spares most lookups. Every entry
        // of `after` before `pending` has been matched.
        auto pending = after.begin();
        for (const auto& [key, value] : before) {
            const Value* other = nullptr;
            if (pending != after.end() && pending->first == key) {
                other = &pending->second;
                ++pending;
            } else {
                other = after.find(key);
            }
            path_.push_back(key);
            compare(&value, other);
            path_.pop_back();
        }
        for (auto entry = pending; entry != after.end(); ++entry) {
            if (present(before.find(entry->first))) continue;
            path_.push_back(entry->first);
            compare(nullptr, &entry->second);
            path_.pop_back();
        }
    }

    // A removed segment whose content is, alone, that of one added segment
    // was renamed: the two changes become one.
    void findRenames() {
        std::unordered_map<uint64_t, std::vector<std::size_t>> removed, added;
        for (std::size_t i = 0; i < out_.changes.size(); ++i) {
            const auto& change = out_.changes[i];
            if (change.kind == ChangeKind::SegmentRemoved && change.before.isDictionary()) {
                removed[hashValue(change.before, 0)].push_back(i);
            } else if (change.kind == ChangeKind::SegmentAdded && change.after.isDictionary()) {
                added[hashValue(change.after, 0)].push_back(i);
            }
        }
        if (removed.empty() || added.empty()) return;
        std::vector<bool> dropped(out_.changes.size(), false);
        for (const auto& [hash, gone] : removed) {
            const auto found = added.find(hash);
            if (found == added.end()) continue;
            const auto& came = found->second;
            // Equal hashes almost always mean equal content, so a large
            // bucket is many alike segments: no rename is unambiguous there.
            if (gone.size() * came.size() > 64) continue;
            for (const std::size_t r : gone) {
                const Value& content = out_.changes[r].before;
                const auto removedAlike =
                    std::count_if(gone.begin(), gone.end(),
                                  [&](std::size_t i) { return out_.changes[i].before == content; });
                std::size_t match = 0, matches = 0;
                for (const std::size_t a : came) {
                    if (out_.changes[a].after == content) {
                        match = a;
                        ++matches;
                    }
                }
                if (removedAlike != 1 || matches != 1) continue;
                auto& change = out_.changes[r];
                change.kind = ChangeKind::SegmentRenamed;
                change.renamedTo = out_.changes[match].segmentId;
                change.after = out_.changes[match].after;
                dropped[match] = true;
            }
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < out_.changes.size(); ++i) {
            if (dropped[i]) continue;
            if (kept != i) out_.changes[kept] = std::move(out_.changes[i]);
            ++kept;
        }
        out_.changes.resize(kept);
    }

    PlaygraphDiff out_;
    // The keys down to the entry being compared, viewing the dictionaries.
    std::vector<std::string_view> path_;
};

bool absent(const Value& value) { return value.isNone(); }

[[noreturn]] void malformed(std::size_t index, const std::string& what) {
    throw DiffError("change " + std::to_string(index) + ": " + what);
}

} // namespace

std::string keyPathText(const KeyPath& path) {
    std::string out;
    for (const auto& key : path) {
        if (key.empty() || key.find_first_of(".[]\"") != std::string::npos) {
            out += "[\"" + key + "\"]";
        } else {
            if (!out.empty()) out += '.';
            out += key;
        }
    }
    return out;
}

std::string_view changeKindName(ChangeKind kind) {
    return kKindNames[static_cast<std::size_t>(kind)];
}

std::optional<ChangeKind> changeKindFromName(std::string_view name) {
    for (std::size_t i = 0; i < kKindNames.size(); ++i) {
        if (kKindNames[i] == name) return static_cast<ChangeKind>(i);
    }
    return std::nullopt;
}

ChangeKind changeKindFor(const KeyPath& path, const Value& before, const Value& after) {
    using K = ChangeKind;
    if (path.empty()) return K::TopLevelChanged;
    const std::string& top = path[0];
    if (top == keys::initialSegment && path.size() == 1) return K::InitialSegmentChanged;
    if (top == keys::annotations) return K::AnnotationChanged;
    if (top != keys::segments || path.size() == 1) return K::TopLevelChanged;
    if (path.size() == 2) {
        if (absent(before) && !absent(after)) return K::SegmentAdded;
        if (!absent(before) && absent(after)) return K::SegmentRemoved;
        return K::SegmentChanged;
    }
    const std::string& entry = path[2];
    if (entry == keys::startTimeMs || entry == keys::endTimeMs || entry == keys::viewableId) {
        return K::Retimed;
    }
    if (entry == keys::defaultNext) return K::DefaultNextChanged;
    if (entry == keys::transitionType) return K::TransitionTypeChanged;
    if (entry == keys::annotations) return K::AnnotationChanged;
    if (entry == keys::userInfo) return K::UserInfoChanged;
    if (entry != keys::next) return K::SegmentChanged;
    if (path.size() == 3) return K::TransitionChanged;
    if (path.size() == 4) {
        if (absent(before) && !absent(after)) return K::TransitionAdded;
        if (!absent(before) && absent(after)) return K::TransitionRemoved;
        return K::TransitionChanged;
    }
    if (path[4] == keys::weight) return K::TransitionReweighted;
    if (path[4] == keys::transitionType) return K::TransitionTypeChanged;
    return K::TransitionChanged;
}

PlaygraphDiff diff(const Value& before, const Value& after) {
    if (!before.isDictionary()) throw DiffError("diff: before is not a dictionary");
    if (!after.isDictionary()) throw DiffError("diff: after is not a dictionary");
    return Differ().run(*before.dictionary(), *after.dictionary());
}

Value apply(const Value& before, const PlaygraphDiff& changes) {
    if (!before.isDictionary()) throw DiffError("apply: before is not a dictionary");
    diffsupport::checkNesting(before, "apply");
    for (const auto& change : changes.changes)
        diffsupport::checkNesting(change.after, "apply");
    Value result = before.deepCopy();
    Dictionary& root = *result.dictionary();
    for (std::size_t i = 0; i < changes.changes.size(); ++i) {
        const auto& change = changes.changes[i];
        if (const auto why = diffsupport::whyNotApplicable(root, change)) {
            throw DiffError("apply: change " + std::to_string(i) + " (" +
                            std::string(changeKindName(change.kind)) + " at " +
                            keyPathText(change.path) + ") does not fit: " + *why);
        }
        diffsupport::makeChange(root, change);
    }
    return result;
}

// ---- dictionary form ----

Value PlaygraphDiff::toValue() const {
    List list;
    list.reserve(changes.size());
    for (const auto& change : changes) {
        Dictionary entry;
        entry.set("kind", std::string(changeKindName(change.kind)));
        entry.set("path", diffsupport::pathValue(change.path));
        if (!change.segmentId.empty()) entry.set("segment", change.segmentId);
        if (!change.transitionId.empty()) entry.set("transition", change.transitionId);
        if (!change.renamedTo.empty()) entry.set("renamedTo", change.renamedTo);
        if (!change.before.isNone()) entry.set("before", change.before);
        if (!change.after.isNone()) entry.set("after", change.after);
        list.push_back(entry);
    }
    return list;
}

PlaygraphDiff PlaygraphDiff::fromValue(const Value& value) {
    if (!value.isList()) throw DiffError("a change list must be a list");
    PlaygraphDiff out;
    std::size_t index = 0;
    for (const auto& item : *value.list()) {
        const Dictionary* entry = item.dictionary();
        if (!entry) malformed(index, "not a dictionary");
        const auto text = [&](const char* key) -> std::string {
            const Value v = entry->get(key);
            if (v.isNone()) return {};
            if (!v.isString()) malformed(index, std::string("\"") + key + "\" is not a string");
            return *v.string();
        };
        PlaygraphChange change;
        const Value path = entry->get("path");
        if (!path.isList() || path.list()->empty()) {
            malformed(index, "\"path\" must be a list of one or more strings");
        }
        for (const auto& key : *path.list()) {
            if (!key.isString()) malformed(index, "\"path\" must be a list of strings");
            change.path.push_back(*key.string());
        }
        change.before = entry->get("before");
        change.after = entry->get("after");
        change.renamedTo = text("renamedTo");
        const std::string where = " at " + keyPathText(change.path);
        change.kind = changeKindFor(change.path, change.before, change.after);
        if (!change.renamedTo.empty()) {
            if (change.path.size() != 2 || change.path[0] != keys::segments ||
                change.before.isNone() || !(change.before == change.after)) {
                malformed(index, "a rename" + where +
                                     " must move a segment unchanged: \"before\" and \"after\" "
                                     "equal");
            }
            change.kind = ChangeKind::SegmentRenamed;
        }
        if (change.path.size() >= 2 && change.path[0] == keys::segments) {
            change.segmentId = change.path[1];
        }
        if (change.path.size() >= 4 && change.path[0] == keys::segments &&
            change.path[2] == keys::next) {
            change.transitionId = change.path[3];
        }
        const std::string kind = text("kind");
        if (!kind.empty() && kind != changeKindName(change.kind)) {
            malformed(index, "\"kind\" " + kind + " does not match a change" + where + " (" +
                                 std::string(changeKindName(change.kind)) + ")");
        }
        if (text("segment") != change.segmentId || text("transition") != change.transitionId) {
            malformed(index, "\"segment\" or \"transition\" does not match the path" + where);
        }
        out.changes.push_back(std::move(change));
        ++index;
    }
    return out;
}

// ---- shared steps ----

namespace diffsupport {

namespace {

void checkNesting(const Value& value, const char* what, std::vector<std::string_view>& path) {
    if (path.size() > kMaxNesting) throw DiffError(std::string(what) + ": " + tooDeep(path));
    if (const Dictionary* d = value.dictionary()) {
        for (const auto& [key, child] : *d) {
            path.push_back(key);
            checkNesting(child, what, path);
            path.pop_back();
        }
    } else if (const List* l = value.list()) {
        for (const auto& child : *l) {
            path.push_back("[]");
            checkNesting(child, what, path);
            path.pop_back();
        }
    }
}

} // namespace

void checkNesting(const Value& value, const char* what) {
    std::vector<std::string_view> path;
    checkNesting(value, what, path);
}

Value valueAt(const Value& root, const KeyPath& path, std::size_t length) {
    const Value* at = &root;
    for (std::size_t i = 0; i < length; ++i) {
        const Dictionary* dictionary = at->dictionary();
        if (!dictionary) return Value();
        at = dictionary->find(path[i]);
        if (!at) return Value();
    }
    return *at;
}

std::optional<std::string> whyNotApplicable(const Dictionary& root, const PlaygraphChange& change) {
    if (change.path.empty()) return "the path is empty";
    const Dictionary* parent = &root;
    for (std::size_t i = 0; i + 1 < change.path.size() && parent; ++i) {
        const Value* step = present(parent->find(change.path[i]));
        if (!step) {
            parent = nullptr; // made on the way; everything below is absent
        } else if (!step->isDictionary()) {
            KeyPath prefix(change.path.begin(), change.path.begin() + static_cast<long>(i) + 1);
            return keyPathText(prefix) + " is not a dictionary";
        } else {
            parent = step->dictionary();
        }
    }
    const Value* found = parent ? present(parent->find(change.path.back())) : nullptr;
    const Value current = found ? *found : Value();
    if (!(current == change.before)) {
        return "expected " + (change.before.isNone() ? "nothing" : change.before.text()) +
               ", found " + (current.isNone() ? "nothing" : current.text());
    }
    if (change.kind == ChangeKind::SegmentRenamed) {
        if (change.renamedTo.empty() || change.path.size() != 2) return "a rename needs a new id";
        if (present(parent->find(change.renamedTo))) {
            return "segment " + change.renamedTo + " already exists";
        }
    }
    return std::nullopt;
}

void makeChange(Dictionary& root, const PlaygraphChange& change) {
    Dictionary parent = root; // a handle: the same container
    for (std::size_t i = 0; i + 1 < change.path.size(); ++i) {
        Value* step = parent.find(change.path[i]);
        if (!step || !step->isDictionary()) {
            Dictionary made;
            parent.set(change.path[i], made);
            parent = made;
        } else {
            parent = *step->dictionary();
        }
    }
    if (change.kind == ChangeKind::SegmentRenamed) {
        static_cast<void>(parent.erase(change.path.back()));
        parent.set(change.renamedTo, change.after.deepCopy());
    } else if (change.after.isNone()) {
        static_cast<void>(parent.erase(change.path.back()));
    } else {
        parent.set(change.path.back(), change.after.deepCopy());
    }
}

List pathValue(const KeyPath& path) {
    List list;
    list.reserve(path.size());
    for (const auto& key : path)
        list.push_back(key);
    return list;
}

std::vector<KeyPath> claimedPaths(const PlaygraphChange& change) {
    std::vector<KeyPath> paths{change.path};
    if (change.kind == ChangeKind::SegmentRenamed) {
        paths.push_back({std::string(keys::segments), change.renamedTo});
    }
    return paths;
}

std::string pathKey(const KeyPath& path, std::size_t length) {
    std::string key;
    for (std::size_t i = 0; i < length; ++i) {
        key += std::to_string(path[i].size());
        key += ':';
        key += path[i];
    }
    return key;
}

std::vector<std::string> referencesMadeBy(const PlaygraphChange& change) {
    std::vector<std::string> out;
    const auto& path = change.path;
    const Value& after = change.after;
    const auto ofSegment = [&](const Value& segment) {
        const Dictionary* d = segment.dictionary();
        if (!d) return;
        if (const Value* next = d->find(keys::defaultNext); next && next->isString()) {
            out.push_back(*next->string());
        }
        if (const Value* next = d->find(keys::next); next && next->isDictionary()) {
            for (const auto& [to, entry] : *next->dictionary())
                out.push_back(to);
        }
    };
    if (path.size() == 1 && path[0] == keys::initialSegment && after.isString()) {
        out.push_back(*after.string());
    }
    if (path.size() < 2 || path[0] != keys::segments) return out;
    if (path.size() == 2) {
        ofSegment(after);
    } else if (path.size() == 3 && path[2] == keys::defaultNext && after.isString()) {
        out.push_back(*after.string());
    } else if (path.size() == 3 && path[2] == keys::next && after.isDictionary()) {
        for (const auto& [to, entry] : *after.dictionary())
            out.push_back(to);
    } else if (path.size() == 4 && path[2] == keys::next && !after.isNone()) {
        out.push_back(path[3]);
    }
    return out;
}

} // namespace diffsupport

} // namespace playgraph::inline v1
