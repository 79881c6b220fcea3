#pragma once

#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::inline v1 {

/// The immutable playgraph, built once from a playgraph dictionary.
///
/// `create` copies what it reads; the dictionary is not kept. Construction
/// never fails: missing or wrongly typed entries read as absent (no
/// segments, no initial segment, ...). Afterwards only the setters, a
/// segment's movie duration and `calculateDefaultPathDuration` change it.
class PLAYGRAPH_API Playgraph : public PlaygraphBase {
public:
    /// Builds a playgraph from `dictionary`. `defaultViewableId` (a number,
    /// or none) is given to segments without "viewableId" when the
    /// playgraph's "type" is "branching".
    static std::shared_ptr<Playgraph> create(const Value& dictionary,
                                             const Value& defaultViewableId = Value());

    /// The playgraph-wide annotation under `key`, or none.
    Value valueForAnnotation(std::string_view key) const;
    const std::optional<Dictionary>& annotations() const { return annotations_; }
    void setAnnotations(std::optional<Dictionary> annotations) {
        annotations_ = std::move(annotations);
    }
    /// Every key of the segment map, in map order.
    [[nodiscard]] std::optional<std::vector<std::string>> allSegmentIds() const override;

    /// The id of the last segment of `playgraph`'s default path (before it
    /// ends or first repeats); the initial segment id itself when that
    /// names no segment; none without one.
    static std::optional<std::string>
    lastSegmentIdInDefaultTraversalInPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph);
    /// True when both default paths have the same segment ids in the same
    /// order (times, viewables and transitions are not compared).
    static bool playgraphHasSameDefaultTraversalAsPlaygraph(const std::shared_ptr<QZPlaygraph>& a,
                                                            const std::shared_ptr<QZPlaygraph>& b);

protected:
    Playgraph() : PlaygraphBase(Flavor::Immutable) {}

private:
    std::optional<Dictionary> annotations_;
};

} // namespace playgraph::inline v1
