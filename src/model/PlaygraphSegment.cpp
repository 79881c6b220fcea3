#include "playgraph/model/PlaygraphSegment.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include "model/ModelAccess.hpp"
#include "model/ObjectBlock.hpp"
#include "playgraph/Constants.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::inline v1 {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A segment as the builders make it (its constructor is protected).
struct Made : PlaygraphSegment {};
} // namespace

std::shared_ptr<PlaygraphSegment>
PlaygraphSegment::create(const std::shared_ptr<QZPlaygraph>& playgraph, std::string segmentId,
                         Value viewableId, double startTime, double endTime, double movieDuration,
                         std::optional<Dictionary> annotations,
                         std::optional<Dictionary> userInfo) {
    std::shared_ptr<PlaygraphSegment> s = makeBlank(nullptr);
    s->initialize(playgraph, std::move(segmentId), std::move(viewableId), startTime, endTime,
                  movieDuration, std::move(annotations), std::move(userInfo));
    return s;
}

// The segments of one load, placed together (see `ObjectBlock`).
class PlaygraphSegment::Block : public detail::ObjectBlock<Made> {};

std::shared_ptr<PlaygraphSegment::Block> PlaygraphSegment::makeBlock(std::size_t capacity) {
    auto block = std::make_shared<Block>();
    block->reserve(capacity);
    return block;
}

std::shared_ptr<PlaygraphSegment> PlaygraphSegment::makeBlank(const std::shared_ptr<Block>& block) {
    if (block) return std::shared_ptr<PlaygraphSegment>(block, block->emplace());
    return std::make_shared<Made>(); // one allocation for it and its control block
}

void PlaygraphSegment::initialize(const std::shared_ptr<QZPlaygraph>& playgraph,
                                  std::string segmentId, Value viewableId, double startTime,
                                  double endTime, double movieDuration,
                                  std::optional<Dictionary> annotations,
                                  std::optional<Dictionary> userInfo) {
    segmentId_ = std::move(segmentId);
    playgraph_ = playgraph;
    viewableId_ = std::move(viewableId);
    movieDuration_ = movieDuration;
    startTime_ = startTime;
    endTime_ = endTime;
    if (annotations) annotations_ = annotations->copy();

    // A negative, not-a-number or not-later end plays to the viewable's end.
    if (endTime < 0.0 || std::isnan(endTime) || !(endTime > startTime)) {
        playToViewableEnd_ = true;
        segmentDuration_ =
            (movieDuration > 0.0 && movieDuration > startTime) ? movieDuration - startTime : kNaN;
    } else {
        segmentDuration_ = endTime - startTime;
    }
    userInfo_ = std::move(userInfo);
    // The playgraph's own copy of its id when it has one, so that building
    // a segment copies no text.
    const auto* base = dynamic_cast<const PlaygraphBase*>(playgraph.get());
    if (base && base->state_->idForSegments &&
        *base->state_->idForSegments == base->playgraphId()) {
        builtPlaygraphId_ = base->state_->idForSegments;
    } else {
        builtPlaygraphId_ =
            std::make_shared<const std::string>(playgraph ? playgraph->playgraphId() : "(null)");
    }
    params_ = paramsFromUserInfo(userInfo_);
}

PlaygraphSegment::~PlaygraphSegment() {
    delete canonicalSegmentId_.load(std::memory_order_acquire);
}

const std::string& PlaygraphSegment::canonicalSegmentId() const {
    if (const std::string* made = canonicalSegmentId_.load(std::memory_order_acquire)) return *made;
    const std::string_view playgraphId =
        builtPlaygraphId_ ? std::string_view(*builtPlaygraphId_) : std::string_view("(null)");
    std::string text;
    text.reserve(playgraphId.size() + 2 + segmentId_.size());
    text.append(playgraphId).append("::").append(segmentId_);
    auto fresh = std::make_unique<const std::string>(std::move(text));
    // Concurrent first callers each form it; the first to store it wins.
    const std::string* expected = nullptr;
    if (canonicalSegmentId_.compare_exchange_strong(
            expected, fresh.get(), std::memory_order_acq_rel, std::memory_order_acquire)) {
        return *fresh.release();
    }
    return *expected;
}

std::shared_ptr<QZPlaygraphParams>
PlaygraphSegment::paramsFromUserInfo(const std::optional<Dictionary>& userInfo) {
    if (!userInfo) return nullptr;
    const Value* entry = userInfo->find(PlaygraphSegmentUserInfoPlaygraphParamsKey);
    return entry ? entry->objectAs<QZPlaygraphParams>() : nullptr;
}

std::optional<double>
PlaygraphSegment::segmentOffsetForSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                          double contentOffset) {
    if (!segment) return std::nullopt;
    if (contentOffset > segment->endTime() || contentOffset < segment->startTime()) {
        return std::nullopt;
    }
    return contentOffset - segment->startTime();
}

std::optional<double> PlaygraphSegment::playgraphSessionOffsetForSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, double contentOffset) {
    const std::optional<double> offset = segmentOffsetForSegment(segment, contentOffset);
    if (!offset) return std::nullopt;
    return segment->offsetInPlaygraph() + *offset;
}

void PlaygraphSegment::noteChange(bool links) {
    changed_ = true;
    if (auto owner = playgraph_.lock()) {
        if (auto* base = dynamic_cast<PlaygraphBase*>(owner.get())) {
            base->state_->segmentDidChange(*this, links);
        }
    }
}

bool PlaygraphSegment::ownedBy(const QZPlaygraph& playgraph) const {
    const std::weak_ptr<const QZPlaygraph> other = playgraph.weak_from_this();
    return !playgraph_.owner_before(other) && !other.owner_before(playgraph_) &&
           !playgraph_.expired();
}

void PlaygraphSegment::setMovieDuration(double seconds) {
    if (seconds == movieDuration_) return;
    movieDuration_ = seconds;
    if (playToViewableEnd_) segmentDuration_ = seconds - startTime_;
    noteChange(false);
    if (auto owner = playgraph_.lock()) owner->calculateDefaultPathDuration();
}

void PlaygraphSegment::setDefaultNext(std::optional<std::string> defaultNext) {
    defaultNext_ = std::move(defaultNext);
    noteChange(true);
}

void PlaygraphSegment::setNext(TransitionMap next) {
    next_ = std::move(next);
    noteChange(true);
}

void PlaygraphSegment::setTransitionType(std::optional<std::string> type) {
    transitionType_ = std::move(type);
    noteChange(false);
}

void PlaygraphSegment::setExitZones(ExitZoneList zones) {
    exitZones_ = std::move(zones);
    noteChange(false);
}

void PlaygraphSegment::setPlaygraphParams(std::shared_ptr<QZPlaygraphParams> params) {
    params_ = std::move(params);
    noteChange(false);
}

void PlaygraphSegment::setOffsetInPlaygraph(double offset) {
    offsetInPlaygraph_ = offset;
    noteChange(false);
}

void PlaygraphSegment::updateLiveDuration(double seconds) {
    endTime_ = seconds;
    if (seconds == movieDuration_) {
        noteChange(false); // the end moved although the movie duration stays
        return;
    }
    setMovieDuration(seconds);
}

bool PlaygraphSegment::sharesAssetWith(const std::shared_ptr<QZPlaygraphSegment>& other) const {
    if (!other) return false;
    const Value& mine = viewableId_;
    const Value& theirs = other->viewableId();
    if (!mine.isNumber() || !theirs.isNumber()) return false;
    if (mine.isDouble() || theirs.isDouble()) return mine.doubleReading() == theirs.doubleReading();
    if (mine.kind() == Value::Kind::UInt || theirs.kind() == Value::Kind::UInt) {
        return mine == theirs;
    }
    return mine.integerReading() == theirs.integerReading();
}

bool PlaygraphSegment::isContiguousAfter(const std::shared_ptr<QZPlaygraphSegment>& other) const {
    return other && sharesAssetWith(other) && other->endTime() == startTime();
}

const Value* PlaygraphSegment::annotation(std::string_view key) const {
    if (!annotations_) return nullptr;
    const Value* v = annotations_->find(key);
    // Values without a boolean or integer reading (the null marker, a
    // container, a host object) read as absent, so the default applies.
    if (!v || !(v->isNumber() || v->isBool() || v->isString())) return nullptr;
    return v;
}

bool PlaygraphSegment::booleanValueForAnnotation(std::string_view key,
                                                 bool defaultValueIfNotPresent) const {
    const Value* v = annotation(key);
    return v ? v->booleanReading() : defaultValueIfNotPresent;
}

int64_t PlaygraphSegment::intValueForAnnotation(std::string_view key,
                                                int64_t defaultValueIfNotPresent) const {
    const Value* v = annotation(key);
    return v ? static_cast<int64_t>(v->int32Reading()) : defaultValueIfNotPresent;
}

float PlaygraphSegment::fixedRate() const {
    if (!annotations_) return std::numeric_limits<float>::quiet_NaN();
    const Value* v = annotations_->find(keys::fixedPlaybackRate);
    if (!v || !v->isNumber()) return std::numeric_limits<float>::quiet_NaN();
    return static_cast<float>(v->doubleReading());
}

void PlaygraphSegment::setAnnotations(const std::optional<Dictionary>& annotations) {
    if (annotations) {
        annotations_ = annotations->copy();
    } else {
        annotations_.reset();
    }
    noteChange(false);
}

bool PlaygraphSegment::isDecorativeSegment() const {
    return booleanValueForAnnotation(keys::decorative, false);
}
bool PlaygraphSegment::hasAuxiliaryManifest() const {
    return booleanValueForAnnotation(keys::hasAuxiliaryManifest, true);
}
int64_t PlaygraphSegment::breakIndex() const { return intValueForAnnotation(keys::breakIndex, -1); }
int64_t PlaygraphSegment::decorativeIndex() const {
    return intValueForAnnotation(keys::decorativeIndex, -1);
}
bool PlaygraphSegment::hasContent() const {
    if (!isDecorativeSegment()) return true;
    return !booleanValueForAnnotation(keys::isPadding, false);
}
bool PlaygraphSegment::allowsSeekWithin() const {
    return booleanValueForAnnotation(keys::allowsSeekWithin, true);
}
bool PlaygraphSegment::allowsSkipForward() const {
    return booleanValueForAnnotation(keys::allowsSkipForward, true);
}
bool PlaygraphSegment::allowsSkipBackward() const {
    return booleanValueForAnnotation(keys::allowsSkipBackward, true);
}
bool PlaygraphSegment::allowsSkipOnPostplay() const {
    return booleanValueForAnnotation(keys::allowsSkipOnPostplay, true);
}
bool PlaygraphSegment::allowsSkipOnForwardSeekOver() const {
    return booleanValueForAnnotation(keys::allowsSkipOnForwardSeekOver, true);
}
bool PlaygraphSegment::playOnceOnlyPerSession() const {
    return booleanValueForAnnotation(keys::playOnceOnlyPerSession, false);
}
bool PlaygraphSegment::isBeforeEmptyAdBreak() const {
    return booleanValueForAnnotation(keys::isBeforeEmptyAdBreak, false);
}
bool PlaygraphSegment::isAfterEmptyAdBreak() const {
    return booleanValueForAnnotation(keys::isAfterEmptyAdBreak, false);
}
int64_t PlaygraphSegment::emptyAdBreakIndex() const {
    return intValueForAnnotation(keys::emptyAdBreakIndex, -1);
}
int64_t PlaygraphSegment::precedingEmptyAdBreakIndex() const {
    return intValueForAnnotation(keys::precedingEmptyAdBreakIndex, -1);
}
int64_t PlaygraphSegment::afterAnyAdBreakIndex() const {
    // Deliberately the same key as precedingEmptyAdBreakIndex: players rely on it.
    return intValueForAnnotation(keys::precedingEmptyAdBreakIndex, -1);
}
Value PlaygraphSegment::adBreakToken() const {
    return annotations_ ? annotations_->get(keys::adBreakToken) : Value();
}
Value PlaygraphSegment::precedingEmptyAdBreakToken() const {
    return annotations_ ? annotations_->get(keys::precedingEmptyAdBreakToken) : Value();
}

std::string PlaygraphSegment::description() const {
    return "Segment(" + segmentId_ + ",[" + formatFixed(startTime_, 2) + "-" +
           formatFixed(endTime(), 6) + "])";
}

} // namespace playgraph::inline v1
