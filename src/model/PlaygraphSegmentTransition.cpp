#include "playgraph/model/PlaygraphSegmentTransition.hpp"

#include "DictionaryFormat.hpp"
#include "model/FindEach.hpp"
#include "model/ObjectBlock.hpp"

#include "playgraph/Constants.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/model/PlaygraphSegment.hpp"

namespace playgraph::inline v1 {

TransitionEntry TransitionEntry::read(const Value& entry) {
    TransitionEntry out;
    const Dictionary* d = entry.dictionary();
    if (!d) return out;
    const auto [weight, skip, autoplay, type] = detail::findEach<4>(
        *d, {keys::weight, keys::skipRegionOffset, keys::autoplayType, keys::transitionType});
    if (weight) out.weight = *weight;
    out.skipRegionOffset = format::storedSeconds(skip);
    if (autoplay && autoplay->isNumber()) out.autoplayType = autoplay->integerReading();
    if (type && type->isString()) out.transitionType = *type->string();
    return out;
}

SegmentTransitionCore::SegmentTransitionCore(std::string destinationSegmentId,
                                             std::optional<std::string> transitionType,
                                             Value weight, std::optional<double> skipRegionOffset,
                                             int64_t autoplayType)
    : autoplayType_(autoplayType), destinationSegmentId_(std::move(destinationSegmentId)),
      weight_(std::move(weight)), transitionType_(std::move(transitionType)),
      skipRegionOffset_(skipRegionOffset) {}

void SegmentTransitionCore::overrideWeight(Value weight) {
    weightOverride_ = std::move(weight);
    didChange();
}
void SegmentTransitionCore::setDestinationSegmentOffset(double offset) {
    destinationSegmentOffset_ = offset;
    didChange();
}
const SegmentTransitionCore::Completion& SegmentTransitionCore::completion() const {
    static const Completion kNone;
    return completion_ ? *completion_ : kNone;
}
void SegmentTransitionCore::setCompletion(Completion completion) {
    completion_ = completion ? std::make_unique<Completion>(std::move(completion)) : nullptr;
    didChange();
}
void SegmentTransitionCore::setWeightOverride(Value weight) {
    weightOverride_ = std::move(weight);
    didChange();
}
void SegmentTransitionCore::setWeight(Value weight) {
    weight_ = std::move(weight);
    didChange();
}
void SegmentTransitionCore::setSourceSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) {
    sourceSegment_ = segment;
    didChange();
}
void SegmentTransitionCore::setDestinationSegmentId(std::string id) {
    destinationSegmentId_ = std::move(id);
    didChange();
}
void SegmentTransitionCore::setTransitionType(std::optional<std::string> type) {
    transitionType_ = std::move(type);
    didChange();
}
void SegmentTransitionCore::setSkipRegionOffset(std::optional<double> seconds) {
    skipRegionOffset_ = seconds;
    didChange();
}
void SegmentTransitionCore::setExitZones(ExitZoneList zones) {
    exitZones_ = std::move(zones);
    didChange();
}

std::shared_ptr<QZPlaygraphSegment> SegmentTransitionCore::destinationSegment() const {
    const auto playgraph = destinationLookupPlaygraph();
    return playgraph ? playgraph->segmentById(destinationSegmentId_) : nullptr;
}

std::optional<std::string> SegmentTransitionCore::effectiveTransitionType() const {
    if (transitionType_) return transitionType_;
    const auto source = sourceSegment();
    if (!source) return std::nullopt;
    if (source->transitionType()) {
        const auto destination = destinationSegment();
        return destination ? destination->transitionType() : std::nullopt;
    }
    const auto sourcePlaygraph = source->playgraph();
    return sourcePlaygraph ? sourcePlaygraph->transitionType() : std::nullopt;
}

std::string SegmentTransitionCore::formatKey(bool withType) const {
    const auto source = sourceSegment();
    std::string out = source ? source->segmentId() : std::string("(null)");
    if (withType && transitionType_ && *transitionType_ != QZPlaygraphTransitionTypeLazy) {
        out += ' ';
        out += *transitionType_;
        out += "-> ";
    } else {
        out += " -> ";
    }
    out += destinationSegmentId_;
    out += '@';
    out += formatGeneral(destinationSegmentOffset_);
    return out;
}

namespace {
// A transition as the builders make it (its constructor is protected).
struct MadeTransition : PlaygraphSegmentTransition {
    MadeTransition(std::string id, std::optional<std::string> type, Value weight,
                   std::optional<double> skip, int64_t autoplay)
        : PlaygraphSegmentTransition(std::move(id), std::move(type), std::move(weight), skip,
                                     autoplay) {}
};
} // namespace

class PlaygraphSegmentTransition::Block : public detail::ObjectBlock<MadeTransition> {};

std::shared_ptr<PlaygraphSegmentTransition>
PlaygraphSegmentTransition::create(std::string destinationSegmentId,
                                   std::optional<std::string> transitionType, Value weight,
                                   std::optional<double> skipRegionOffset, int64_t autoplayType) {
    // One allocation for the transition and its control block.
    return std::make_shared<MadeTransition>(std::move(destinationSegmentId),
                                            std::move(transitionType), std::move(weight),
                                            skipRegionOffset, autoplayType);
}

std::shared_ptr<PlaygraphSegmentTransition>
PlaygraphSegmentTransition::create(std::string destinationSegmentId, const Value& dictionary) {
    return make(nullptr, std::move(destinationSegmentId), dictionary);
}

std::shared_ptr<PlaygraphSegmentTransition::Block> PlaygraphSegmentTransition::makeBlock() {
    return std::make_shared<Block>();
}

std::shared_ptr<PlaygraphSegmentTransition>
PlaygraphSegmentTransition::make(const std::shared_ptr<Block>& block,
                                 std::string destinationSegmentId, const Value& entry) {
    TransitionEntry read = TransitionEntry::read(entry);
    if (!block) {
        return create(std::move(destinationSegmentId), std::move(read.transitionType),
                      std::move(read.weight), read.skipRegionOffset, read.autoplayType);
    }
    return std::shared_ptr<PlaygraphSegmentTransition>(
        block, block->emplace(std::move(destinationSegmentId), std::move(read.transitionType),
                              std::move(read.weight), read.skipRegionOffset, read.autoplayType));
}

} // namespace playgraph::inline v1

namespace playgraph::inline v1 {

void PlaygraphSegmentTransition::setPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph) {
    playgraph_ = playgraph;
    didChange();
}

void PlaygraphSegmentTransition::didChange() {
    if (auto source = std::dynamic_pointer_cast<PlaygraphSegment>(sourceSegment())) {
        source->noteChange(false);
    }
}

} // namespace playgraph::inline v1
