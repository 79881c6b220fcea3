// The transition edits of the editable playgraph: add a transition, merge
// properties into transitions, change a default next, record skip regions.

#include "editing/EditingState.hpp"
#include "editing/EditingSupport.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"

namespace playgraph::inline v1 {

using namespace editing;

namespace {

/// A one-level copy of a value: containers are copied, everything else is
/// shared as it is.
Value copyOfValue(const Value& value) {
    if (const Dictionary* d = value.dictionary()) return d->copy();
    if (const List* l = value.list()) return l->copy();
    return value;
}

/// The transition dictionary from `source` to `destination`, or none. An
/// entry that is not a dictionary is not a transition.
std::optional<Dictionary> transitionBetween(const Dictionary& source,
                                            std::string_view destination) {
    auto next = dictionaryAt(source, keys::next);
    return next ? dictionaryAt(*next, destination) : std::nullopt;
}

std::string cannotFindTransition(std::string_view from, std::string_view to) {
    return "Cannot find transition from " + std::string(from) + " to " + std::string(to);
}

} // namespace

void MutablePlaygraph::addTransitionFromSegment(const std::string& from,
                                                const std::string& toSegment, bool asDefault,
                                                const Value& properties) {
    Edits::Scope scope(*this);
    Dictionary source = edits_->requireSegment(from);
    edits_->requireSegment(toSegment);
    // Any entry under the destination, even one that is not a transition
    // dictionary, keeps its place: it is not silently replaced.
    if (auto next = dictionaryAt(source, keys::next); next && next->contains(toSegment)) {
        fail("Transition from " + from + " to " + toSegment + " already exists.");
    }
    const Dictionary props = requireProperties(properties);

    edits_->touchSegment(from);
    Dictionary next = ensureNext(source);
    Dictionary transition;
    for (const auto& [key, value] : props)
        transition.set(key, value);
    if (const Value* weight = transition.find(keys::weight); !weight || weight->isNone()) {
        transition.set(keys::weight, int64_t{50});
    }
    next.set(toSegment, transition);
    if (asDefault) source.set(keys::defaultNext, toSegment);
    edits_->refresh();
    scope.completed([&] {
        return "add transition " + from + " -> " + toSegment + (asDefault ? " as default" : "");
    });
}

void MutablePlaygraph::Edits::updateTransitionProperties(const std::string& from,
                                                         const std::string& to,
                                                         const Value& properties,
                                                         bool ignoreIfNotFound) {
    Scope scope(p);
    const Dictionary source = requireSegment(from);
    requireSegment(to);
    // Taken as a snapshot: `properties` may be the transition dictionary itself.
    const Dictionary props = requireProperties(properties).copy();
    auto transition = transitionBetween(source, to);
    if (!transition) {
        if (ignoreIfNotFound) return;
        fail(cannotFindTransition(from, to));
    }
    touchSegment(from);
    for (const auto& [key, value] : props)
        transition->set(key, copyOfValue(value));
    scope.completed([&] { return "update transition " + from + " -> " + to; });
}

void MutablePlaygraph::updatePropertiesForTransitionFrom(const std::string& from,
                                                         const std::string& to,
                                                         const Value& properties) {
    Edits::Scope scope(*this);
    edits_->updateTransitionProperties(from, to, properties, false);
    edits_->refresh();
    scope.completed([&] { return "update transition " + from + " -> " + to; });
}

void MutablePlaygraph::updatePropertiesForAllTransitionsTo(const std::string& to,
                                                           const Value& properties) {
    Edits::Scope scope(*this);
    // With any segment to visit, the destination must exist; checked (with
    // the properties) before the first change.
    bool anySegment = false;
    if (auto segments = dictionaryAt(playgraphDictionary_, keys::segments)) {
        for (const auto& [id, value] : *segments) {
            if ((anySegment = value.isDictionary())) break;
        }
    }
    if (anySegment) edits_->requireSegment(to);
    requireProperties(properties);
    // Only segments with a transition to the destination change.
    for (const auto& [source, segment] : edits_->referringSegments(to, false))
        edits_->updateTransitionProperties(source, to, properties, true);
    edits_->refresh();
    scope.completed([&] { return "update transitions to " + to; });
}

void MutablePlaygraph::updatePropertiesForAllTransitionfrom(const std::string& from,
                                                            const Value& properties) {
    Edits::Scope scope(*this);
    const Dictionary source = edits_->requireSegment(from);
    std::vector<std::string> destinations;
    if (auto next = dictionaryAt(source, keys::next)) destinations = next->keys();
    // Every destination is checked before the first change, so a missing
    // one leaves all transitions as they were.
    for (const auto& destination : destinations) {
        if (!edits_->segmentDictionary(destination)) fail(cannotFindSegment(destination));
    }
    requireProperties(properties);
    for (const auto& destination : destinations)
        edits_->updateTransitionProperties(from, destination, properties, true);
    edits_->refresh();
    scope.completed([&] { return "update transitions from " + from; });
}

void MutablePlaygraph::updateDefaultNextFromSegment(const std::string& from,
                                                    const std::string& toSegment) {
    Edits::Scope scope(*this);
    Dictionary source = edits_->requireSegment(from);
    edits_->requireSegment(toSegment);
    if (!transitionBetween(source, toSegment)) {
        fail("Cannot set " + toSegment + " as defaultNext after " + from +
             ". Transition not found.");
    }
    edits_->touchSegment(from);
    source.set(keys::defaultNext, toSegment);
    edits_->refresh();
    scope.completed([&] { return "set default next of " + from + " to " + toSegment; });
}

void MutablePlaygraph::supportSkippingSegment(const std::string& from, const std::string& toSegment,
                                              double afterOffsetSeconds, uint64_t weight) {
    Edits::Scope scope(*this);
    const Dictionary source = edits_->requireSegment(from);
    edits_->requireSegment(toSegment);
    if (!transitionBetween(source, toSegment)) fail(cannotFindTransition(from, toSegment));
    requireFinite("offset", afterOffsetSeconds);
    // Milliseconds as a double, not truncated; read back as whole milliseconds.
    const Dictionary props{{std::string(keys::skipRegionOffset), afterOffsetSeconds * 1000.0},
                           {std::string(keys::skipRegionWeight), weight}};
    updatePropertiesForTransitionFrom(from, toSegment, props);
    // A second rebuild: it changes nothing in the model, but hosts see it
    // (their configuration provider is asked about "main" again).
    edits_->refresh();
    scope.completed([&] {
        return "skip from " + from + " to " + toSegment + " after " +
               labelSeconds(afterOffsetSeconds);
    });
}

} // namespace playgraph::inline v1
