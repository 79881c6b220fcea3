#include "playgraph/playback/PlaybackSession.hpp"

#include <algorithm>
#include <cmath>
#include <queue>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "playgraph/datasource/PlaygraphPlayerDataSourceCore.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"

namespace playgraph::inline v1 {

void PlaybackSessionObserver::sessionDidEnterSegment(PlaybackSession&, const TimelineEntry&) {}
void PlaybackSessionObserver::sessionDidReachDecisionWindow(PlaybackSession&, const Decision&) {}
void PlaybackSessionObserver::sessionDidDecide(PlaybackSession&, const DecisionRecord&) {}
void PlaybackSessionObserver::sessionDidEnd(PlaybackSession&) {}

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using SegmentPtr = std::shared_ptr<QZPlaygraphSegment>;

/// A transition's effective weight as a number of the choice; what is not
/// a positive finite number weighs nothing.
double weightOf(const Value& weight) {
    if (!weight.isNumber() || weight.isBool()) return 0.0;
    const double w = weight.doubleReading();
    return std::isfinite(w) && w > 0.0 ? w : 0.0;
}

/// Longer than this (some 30,000 years) is no length a player reports but
/// an overflow waiting to happen: such a length counts as unknown, so that
/// session times stay finite.
constexpr double kLongestSegment = 1e12;

/// A segment's length in seconds, not-a-number while unknown.
double lengthOf(const QZPlaygraphSegment& segment) {
    const double length = segment.segmentDuration();
    return length <= kLongestSegment ? std::max(0.0, length) : kNaN;
}

std::string idOf(const SegmentPtr& segment) { return segment ? segment->segmentId() : "none"; }

std::string playgraphIdOf(const QZPlaygraphSegment& segment) {
    const auto playgraph = segment.playgraph();
    return playgraph ? playgraph->playgraphId() : std::string();
}

bool sameSegment(const SegmentPtr& a, const SegmentPtr& b) {
    if (a == b) return true;
    return a && b && a->canonicalSegmentId() == b->canonicalSegmentId();
}

double nonNegative(double value) { return value > 0.0 ? value : 0.0; }

[[noreturn]] void refuse(const std::string& reason) { throw InvalidArgumentError(reason); }

/// The data source's stored override of `segment`, when the data source is
/// one of the library's (others keep theirs to themselves).
std::optional<NextSegmentOverride> storedOverride(const QZPlaygraphPlayerMutableDataSource& source,
                                                  const SegmentPtr& segment) {
    if (const auto* core = dynamic_cast<const PlaygraphPlayerDataSourceCore*>(&source))
        return core->storedNextSegmentOverride(segment);
    return std::nullopt;
}

/// Whether a next-segment override decides what follows `segment`.
bool isOverridden(const QZPlaygraphPlayerMutableDataSource& source, const SegmentPtr& segment,
                  const SegmentPtr& next) {
    if (dynamic_cast<const PlaygraphPlayerDataSourceCore*>(&source))
        return storedOverride(source, segment).has_value();
    // Another data source: an answer other than the default next is an override.
    SegmentPtr byDefault;
    if (const auto playgraph = segment->playgraph(); playgraph && segment->defaultNext())
        byDefault = playgraph->segmentById(*segment->defaultNext());
    return next != byDefault;
}

void putBack(QZPlaygraphPlayerMutableDataSource& source, const SegmentPtr& segment,
             const std::optional<NextSegmentOverride>& previous) {
    if (!previous) {
        source.clearNextSegmentAfter(segment);
    } else if (const auto* next = std::get_if<SegmentPtr>(&*previous)) {
        source.setNextSegmentAfter(segment, *next);
    } else {
        source.setNextSegmentAfter(segment, nullptr);
    }
}

} // namespace

/// Hears the data source's changes for the session and passes each on to
/// the observer that was there before.
class SessionRelay : public QZPlaygraphPlayerDataSourceChangeObserver {
public:
    std::weak_ptr<PlaybackSession::Impl> session;
    std::weak_ptr<QZPlaygraphPlayerDataSourceChangeObserver> previous;

    void dataSourceDidChangeNextSegmentAfterSegment(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const SegmentPtr& segment) override;
    void dataSourceDidUpdatePlaygraph(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const std::shared_ptr<QZPlaygraph>& playgraph) override;
};

struct PlaybackSession::Impl {
    PlaybackSession* owner = nullptr;
    std::shared_ptr<QZPlaygraphPlayerMutableDataSource> source;
    PlaybackSessionOptions options;
    std::weak_ptr<PlaybackSessionObserver> observer;
    std::shared_ptr<SessionRelay> relay;

    /// What has played, oldest first (`played` set, times fixed).
    std::vector<TimelineEntry> played;
    SegmentPtr current;
    double currentStart = 0.0;
    double watchable = 0.0;
    bool hasEnded = false;
    /// The current segment's decision window was reported.
    bool windowReported = false;
    /// Watchable time at which the current segment's window opens, when it
    /// offers a decision; not-a-number otherwise. Recomputed when stale.
    double windowOpensAt = kNaN;
    bool windowStale = true;

    std::vector<DecisionRecord> records;
    /// For each record: the override its choice replaced (to undo it).
    std::vector<std::optional<NextSegmentOverride>> replaced;
    /// The ways this session chose, by segment: a chosen way is certain also
    /// where the data source stores no override for it (a composite stores
    /// none for a choice of the way that was next already).
    std::unordered_multimap<const QZPlaygraphSegment*, const QZPlaygraphSegment*> chosenWays;

    // The timeline, built on demand.
    mutable std::vector<TimelineEntry> timeline;
    mutable bool stale = true;
    mutable bool endless = false;
    /// Timeline entries of play-to-end segments with their lengths when built.
    mutable std::vector<std::pair<std::size_t, double>> watched;
    mutable std::size_t unknownCount = 0;
    mutable double builtCurrentLength = 0.0;
    mutable std::unordered_map<const QZPlaygraphSegment*, std::vector<std::size_t>> occurrences;
    mutable bool occurrencesBuilt = false;

    std::size_t step() const { return played.size(); }

    /// The watchable time, within the segment's length once it is known (a
    /// length the player reports may be shorter than what it had reported
    /// playing).
    double here() const {
        if (!current) return watchable;
        const double length = lengthOf(*current);
        return std::isnan(length) ? watchable : std::min(watchable, current->startTime() + length);
    }

    double playedLength() const {
        return current ? nonNegative(here() - current->startTime()) : 0.0;
    }

    double now() const { return currentStart + playedLength(); }

    void changed() {
        stale = true;
        windowStale = true;
    }

    void playgraphUpdated() {
        // Segments of a replaced playgraph no longer lead anywhere: go on
        // from the new playgraph's segment of the same id.
        if (current) {
            if (auto same = source->segmentById(current->segmentId())) current = std::move(same);
        }
        changed();
    }

    TimelineEntry entryFor(const SegmentPtr& segment, double start) const {
        TimelineEntry entry;
        entry.segment = segment;
        entry.playgraph = segment->playgraph();
        entry.start = start;
        const double length = lengthOf(*segment);
        entry.durationKnown = !std::isnan(length);
        entry.end = entry.durationKnown ? start + length : start;
        return entry;
    }

    void build() const {
        timeline = played;
        watched.clear();
        unknownCount = 0;
        occurrencesBuilt = false;
        endless = false;
        stale = false;
        if (!current) return;
        const auto add = [this](TimelineEntry entry) {
            // A play-to-end segment's length changes when the player reports
            // it: such entries are watched.
            if (entry.segment->playToViewableEnd())
                watched.emplace_back(timeline.size(), lengthOf(*entry.segment));
            if (!entry.durationKnown) ++unknownCount;
            timeline.push_back(std::move(entry));
        };
        TimelineEntry here = entryFor(current, currentStart);
        if (!here.durationKnown) here.end = currentStart + playedLength();
        builtCurrentLength = here.end - here.start;
        add(std::move(here));
        if (hasEnded) return;
        std::unordered_set<const QZPlaygraphSegment*> seen{current.get()};
        double at = timeline.back().end;
        for (SegmentPtr next = source->nextSegmentAfterSegment(current); next;
             next = source->nextSegmentAfterSegment(next)) {
            if (!seen.insert(next.get()).second) {
                endless = true;
                break;
            }
            TimelineEntry entry = entryFor(next, at);
            at = entry.end;
            add(std::move(entry));
        }
    }

    /// Brings the timeline up to date: rebuilt after a change and when a
    /// play-to-end segment's length changed; laid again from the current
    /// segment while its length is unknown and it plays on.
    const std::vector<TimelineEntry>& upToDate() const {
        if (!stale) {
            for (const auto& [i, length] : watched) {
                const double now = lengthOf(*timeline[i].segment);
                if (now != length && !(std::isnan(now) && std::isnan(length))) {
                    stale = true;
                    break;
                }
            }
        }
        if (!stale && current && step() < timeline.size() && !timeline[step()].durationKnown) {
            TimelineEntry& here = timeline[step()];
            if (const double length = playedLength(); length != builtCurrentLength) {
                here.end = currentStart + length;
                builtCurrentLength = length;
                // Laid again from the new end, as a build lays them.
                for (std::size_t i = step() + 1; i < timeline.size(); ++i) {
                    TimelineEntry& entry = timeline[i];
                    entry.start = timeline[i - 1].end;
                    entry.end =
                        entry.durationKnown ? entry.start + lengthOf(*entry.segment) : entry.start;
                }
            }
        }
        if (stale) build();
        return timeline;
    }

    /// What follows `segment` is decided: an override, or this session's choice.
    bool isCertain(const SegmentPtr& segment, const SegmentPtr& next) const {
        if (isOverridden(*source, segment, next)) return true;
        const auto [from, to] = chosenWays.equal_range(segment.get());
        return std::any_of(from, to,
                           [&](const auto& way) { return next && way.second == next.get(); });
    }

    void recordsChanged() {
        chosenWays.clear();
        for (const auto& record : records) {
            if (!record.defaulted && record.destination)
                chosenWays.emplace(record.segment.get(), record.destination.get());
        }
        changed();
    }

    std::vector<WayOn> waysOn(const SegmentPtr& segment) const {
        std::vector<WayOn> ways;
        if (!segment) return ways;
        const SegmentPtr next = source->nextSegmentAfterSegment(segment);
        for (const auto& transition : source->transitionsFromSourceSegment(segment)) {
            if (!transition) continue;
            SegmentPtr destination = transition->destinationSegment();
            if (!destination) continue;
            if (std::any_of(ways.begin(), ways.end(),
                            [&](const WayOn& w) { return w.destination == destination; }))
                continue;
            ways.push_back(
                {std::move(destination), transition, weightOf(transition->weight()), 0.0});
        }
        if (next && std::none_of(ways.begin(), ways.end(),
                                 [&](const WayOn& w) { return w.destination == next; }))
            ways.push_back({next, nullptr, 0.0, 0.0});
        if (ways.empty()) return ways;
        if (isCertain(segment, next)) {
            for (auto& way : ways)
                way.probability = way.destination == next ? 1.0 : 0.0;
            return ways;
        }
        // Scaled by the largest weight, so that huge weights cannot overflow the sum.
        double largest = 0.0;
        for (const auto& way : ways)
            largest = std::max(largest, way.weight);
        double sum = 0.0;
        for (const auto& way : ways)
            sum += largest > 0.0 ? way.weight / largest : 0.0;
        for (auto& way : ways) {
            way.probability =
                sum > 0.0 ? (way.weight / largest) / sum : (way.destination == next ? 1.0 : 0.0);
        }
        return ways;
    }

    /// The decision window of `segment` in watchable times; the end is
    /// not-a-number while the segment's length is unknown.
    std::pair<double, double> window(const QZPlaygraphSegment& segment) const {
        const double start = segment.startTime();
        const double length = lengthOf(segment);
        const double end = std::isnan(length) ? kNaN : start + length;
        const auto& zones = segment.exitZones();
        if (!zones.empty()) {
            double from = std::numeric_limits<double>::infinity();
            double to = -std::numeric_limits<double>::infinity();
            for (const auto& zone : zones) {
                if (!zone) continue;
                from = std::min(from, zone->startTime());
                to = std::max(to, zone->endTime());
            }
            if (from <= to) {
                from = std::max(from, start);
                to = std::isnan(end) ? to : std::min(to, end);
                if (from <= to) return {from, to};
            }
        }
        if (std::isnan(end)) return {start, kNaN};
        const double span = std::isnan(options.decisionWindow) ? 0.0 : options.decisionWindow;
        return {std::max(start, end - nonNegative(span)), end};
    }

    Decision decisionAt(const TimelineEntry& entry, std::vector<WayOn> ways) const {
        Decision decision;
        decision.entry = entry;
        decision.next = source->nextSegmentAfterSegment(entry.segment);
        decision.overridden = isCertain(entry.segment, decision.next);
        decision.waysOn = std::move(ways);
        const auto [from, to] = window(*entry.segment);
        const double start = entry.segment->startTime();
        decision.windowStart = entry.start + (from - start);
        decision.windowEnd = std::isnan(to) ? kNaN : entry.start + (to - start);
        const double lead =
            std::isnan(options.prefetchLead) ? 0.0 : nonNegative(options.prefetchLead);
        decision.deadline = entry.durationKnown ? entry.end - lead : kNaN;
        return decision;
    }

    /// The first decision point on the timeline from step `first` on, with its step.
    std::optional<std::pair<std::size_t, Decision>> decisionFrom(std::size_t first) const {
        const auto& line = upToDate();
        for (std::size_t i = first; i < line.size(); ++i) {
            if (hasEnded && i >= step()) break;
            auto ways = waysOn(line[i].segment);
            if (ways.size() > 1) return std::pair{i, decisionAt(line[i], std::move(ways))};
        }
        return std::nullopt;
    }

    void refreshWindow() {
        windowStale = false;
        windowOpensAt = kNaN;
        if (!current || hasEnded) return;
        if (waysOn(current).size() > 1) windowOpensAt = window(*current).first;
    }

    std::shared_ptr<PlaybackSessionObserver> listener() const { return observer.lock(); }

    void tellEntered() {
        if (!current) return;
        const auto& line = upToDate();
        if (step() >= line.size()) return;
        const TimelineEntry entry = line[step()];
        if (auto o = listener()) o->sessionDidEnterSegment(*owner, entry);
    }

    void tellDecided(const DecisionRecord& record) {
        if (auto o = listener()) o->sessionDidDecide(*owner, record);
    }

    /// Tells the observer when the current segment's decision window has opened.
    void checkWindow() {
        if (windowReported || hasEnded || !current) return;
        if (windowStale) refreshWindow();
        if (std::isnan(windowOpensAt) || watchable < windowOpensAt) return;
        windowReported = true;
        auto o = listener();
        if (!o) return;
        if (auto decision = decisionFrom(step()); decision && decision->first == step())
            o->sessionDidReachDecisionWindow(*owner, decision->second);
    }

    bool hasRecordAt(std::size_t at, const SegmentPtr& segment) const {
        return std::any_of(records.begin(), records.end(), [&](const DecisionRecord& r) {
            return r.step == at && r.segment == segment;
        });
    }

    /// Leaves the current segment after `length` seconds of it; records a
    /// defaulted decision where one was offered. Returns the record made.
    /// Records that the current segment's decision passed with nobody
    /// choosing, `next` playing (none: the path ends), unless it offered none
    /// or a decision is recorded for it already. Returns the record made.
    std::optional<DecisionRecord> recordDefault(const SegmentPtr& next) {
        if (waysOn(current).size() < 2 || hasRecordAt(step(), current)) return std::nullopt;
        DecisionRecord record;
        record.segment = current;
        record.destination = next;
        record.defaulted = true;
        record.step = step();
        records.push_back(record);
        replaced.emplace_back();
        return record;
    }

    std::optional<DecisionRecord> leave(double length, const SegmentPtr& next) {
        const auto made = recordDefault(next);
        TimelineEntry done = entryFor(current, currentStart);
        done.end = currentStart + length;
        done.durationKnown = true;
        done.played = true;
        played.push_back(std::move(done));
        currentStart = played.back().end;
        current = next;
        watchable = next->startTime();
        windowReported = false;
        changed();
        return made;
    }

    void moveTo(std::size_t at, double sessionTime) {
        const TimelineEntry entry = timeline[at];
        played.resize(at);
        current = entry.segment;
        currentStart = entry.start;
        watchable = current->startTime() + nonNegative(sessionTime - entry.start);
        hasEnded = false;
        windowReported = false;
        changed();
    }

    /// Removes the records from `at` on: every one, or only the defaulted.
    void dropRecordsFrom(std::size_t at, bool undoChoices) {
        for (std::size_t i = records.size(); i-- > 0;) {
            if (records[i].step < at) continue;
            if (!records[i].defaulted && !undoChoices) continue;
            if (!records[i].defaulted) putBack(*source, records[i].segment, replaced[i]);
            records.erase(records.begin() + static_cast<std::ptrdiff_t>(i));
            replaced.erase(replaced.begin() + static_cast<std::ptrdiff_t>(i));
        }
        recordsChanged();
    }

    void install() {
        relay = std::make_shared<SessionRelay>();
        relay->previous = source->changeObserver();
        source->setChangeObserver(relay);
    }
};

void SessionRelay::dataSourceDidChangeNextSegmentAfterSegment(
    const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
    const SegmentPtr& segment) {
    if (auto s = session.lock()) s->changed();
    if (auto p = previous.lock())
        p->dataSourceDidChangeNextSegmentAfterSegment(dataSource, segment);
}

void SessionRelay::dataSourceDidUpdatePlaygraph(
    const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
    const std::shared_ptr<QZPlaygraph>& playgraph) {
    if (auto s = session.lock()) s->playgraphUpdated();
    if (auto p = previous.lock()) p->dataSourceDidUpdatePlaygraph(dataSource, playgraph);
}

std::shared_ptr<PlaybackSession>
PlaybackSession::create(std::shared_ptr<QZPlaygraphPlayerMutableDataSource> dataSource,
                        PlaybackSessionOptions options) {
    std::shared_ptr<PlaybackSession> session(new PlaybackSession());
    auto impl = std::make_shared<Impl>();
    impl->owner = session.get();
    impl->source = std::move(dataSource);
    impl->options = options;
    if (impl->source) {
        const PlaygraphPosition start = impl->source->initialPosition();
        impl->current = start.segment;
        if (impl->current) impl->watchable = impl->current->startTime();
        impl->install();
        impl->relay->session = impl;
    }
    impl->hasEnded = !impl->current;
    session->impl_ = std::move(impl);
    return session;
}

PlaybackSession::~PlaybackSession() {
    if (!impl_ || !impl_->source || !impl_->relay) return;
    if (impl_->source->changeObserver() == impl_->relay)
        impl_->source->setChangeObserver(impl_->relay->previous.lock());
}

const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& PlaybackSession::dataSource() const {
    return impl_->source;
}
const PlaybackSessionOptions& PlaybackSession::options() const { return impl_->options; }

PlaygraphPosition PlaybackSession::position() const { return {impl_->current, impl_->here()}; }
double PlaybackSession::sessionTime() const { return impl_->now(); }
bool PlaybackSession::ended() const { return impl_->hasEnded; }
std::size_t PlaybackSession::currentStep() const { return impl_->step(); }

void PlaybackSession::advance(double watchableTime) {
    Impl& s = *impl_;
    if (!s.current || s.hasEnded || !std::isfinite(watchableTime)) return;
    double time = std::max(watchableTime, s.current->startTime());
    const double end = s.current->endTime();
    if (!std::isnan(end) && !s.current->playToViewableEnd()) time = std::min(time, end);
    if (s.current->playToViewableEnd() && !std::isnan(lengthOf(*s.current)))
        time = std::min(time, s.current->startTime() + lengthOf(*s.current));
    s.watchable = time;
    s.checkWindow();
}

void PlaybackSession::segmentEnded() {
    Impl& s = *impl_;
    if (!s.current) return;
    const SegmentPtr next = s.source->nextSegmentAfterSegment(s.current);
    if (s.hasEnded) {
        if (!next) return;
        // Something follows after all: the end recorded here was no decision.
        s.hasEnded = false;
        s.dropRecordsFrom(s.step(), false);
    }
    const double known = lengthOf(*s.current);
    const double length = std::isnan(known) ? s.playedLength() : known;
    if (!next) {
        // The last segment: record a defaulted decision (the path ends), stay at its end.
        const auto made = s.recordDefault(nullptr);
        s.watchable = s.current->startTime() + length;
        s.hasEnded = true;
        s.changed();
        if (made) s.tellDecided(*made);
        if (auto o = s.listener()) o->sessionDidEnd(*this);
        return;
    }
    const auto made = s.leave(length, next);
    if (made) s.tellDecided(*made);
    s.tellEntered();
    s.checkWindow();
}

void PlaybackSession::seek(double sessionTime) {
    Impl& s = *impl_;
    if (std::isnan(sessionTime)) refuse("Cannot seek to a time that is not a number");
    const auto& line = s.upToDate();
    const double last = line.empty() ? 0.0 : line.back().end;
    if (line.empty() || sessionTime < 0.0 || sessionTime > last) {
        refuse("Cannot seek to " + std::to_string(sessionTime) +
               " s: the timeline runs from 0 to " + std::to_string(last) + " s");
    }
    const auto after =
        std::upper_bound(line.begin(), line.end(), sessionTime,
                         [](double t, const TimelineEntry& e) { return t < e.start; });
    const auto at = static_cast<std::size_t>(std::distance(line.begin(), after)) - 1;
    std::vector<DecisionRecord> made;
    if (at < s.step()) {
        s.dropRecordsFrom(at, false);
        s.moveTo(at, sessionTime);
    } else if (at == s.step()) {
        s.watchable = s.current->startTime() + nonNegative(sessionTime - s.currentStart);
        if (s.hasEnded && sessionTime < last) {
            s.hasEnded = false;
            s.dropRecordsFrom(s.step(), false);
        }
        s.windowReported = false;
        s.changed();
        s.checkWindow();
        return;
    } else {
        // Forwards: the segments in between count as played whole.
        const std::vector<TimelineEntry> ahead(line.begin() + static_cast<std::ptrdiff_t>(s.step()),
                                               line.begin() + static_cast<std::ptrdiff_t>(at) + 1);
        for (std::size_t i = 0; i + 1 < ahead.size(); ++i) {
            // As the timeline counts it: what has played of a current segment of
            // unknown length, nothing of one ahead.
            const double length = ahead[i].durationKnown ? lengthOf(*ahead[i].segment)
                                  : i == 0               ? s.playedLength()
                                                         : 0.0;
            if (auto record = s.leave(length, ahead[i + 1].segment)) made.push_back(*record);
        }
        s.watchable = s.current->startTime() + nonNegative(sessionTime - s.currentStart);
    }
    for (const auto& record : made)
        s.tellDecided(record);
    s.tellEntered();
    s.checkWindow();
}

const std::vector<TimelineEntry>& PlaybackSession::timeline() const { return impl_->upToDate(); }

SessionDuration PlaybackSession::duration() const {
    const auto& line = impl_->upToDate();
    SessionDuration result;
    result.seconds = line.empty() ? 0.0 : line.back().end;
    result.known = impl_->unknownCount == 0;
    result.endless = impl_->endless;
    return result;
}

PlaygraphPosition PlaybackSession::positionAtSessionTime(double sessionTime) const {
    const auto& line = impl_->upToDate();
    if (line.empty() || !(sessionTime >= 0.0) || sessionTime > line.back().end) return {};
    const auto after =
        std::upper_bound(line.begin(), line.end(), sessionTime,
                         [](double t, const TimelineEntry& e) { return t < e.start; });
    const TimelineEntry& entry = *(after - 1);
    return {entry.segment, entry.segment->startTime() + (sessionTime - entry.start)};
}

double PlaybackSession::sessionTimeAtPosition(const PlaygraphPosition& position) const {
    const Impl& s = *impl_;
    const auto& line = s.upToDate();
    if (!position.segment || std::isnan(position.watchableTime)) return kNaN;
    if (!s.occurrencesBuilt) {
        s.occurrences.clear();
        for (std::size_t i = 0; i < line.size(); ++i)
            s.occurrences[line[i].segment.get()].push_back(i);
        s.occurrencesBuilt = true;
    }
    const auto found = s.occurrences.find(position.segment.get());
    if (found == s.occurrences.end()) return kNaN;
    const auto& steps = found->second;
    const auto from = std::lower_bound(steps.begin(), steps.end(), s.step());
    const TimelineEntry& entry = line[from != steps.end() ? *from : steps.back()];
    const double offset = position.watchableTime - entry.segment->startTime();
    return std::clamp(entry.start + offset, entry.start, entry.end);
}

std::vector<WayOn> PlaybackSession::waysOn(const SegmentPtr& segment) const {
    return impl_->waysOn(segment);
}

std::vector<Decision> PlaybackSession::upcomingDecisions(double horizonSeconds) const {
    const Impl& s = *impl_;
    std::vector<Decision> decisions;
    if (s.hasEnded || !s.current || std::isnan(horizonSeconds)) return decisions;
    const auto& line = s.upToDate();
    const double limit = s.now() + horizonSeconds;
    for (std::size_t i = s.step(); i < line.size(); ++i) {
        if (i > s.step() && !(line[i].start < limit)) break;
        auto ways = s.waysOn(line[i].segment);
        if (ways.size() > 1) decisions.push_back(s.decisionAt(line[i], std::move(ways)));
    }
    return decisions;
}

std::optional<Decision> PlaybackSession::currentDecision() const {
    if (impl_->hasEnded || !impl_->current) return std::nullopt;
    auto found = impl_->decisionFrom(impl_->step());
    if (!found) return std::nullopt;
    return std::move(found->second);
}

PrefetchPlan PlaybackSession::prefetchPlan(double horizonSeconds,
                                           const PrefetchBudget& budget) const {
    const Impl& s = *impl_;
    PrefetchPlan plan;
    if (s.hasEnded || !s.current || !(horizonSeconds > 0.0)) return plan;
    const double now = s.now();

    // Best first: the most probable branch is followed first, so that the
    // step cap leaves out the least probable. Each node knows its parent,
    // so a segment's chance is counted once per path, at its first visit.
    struct Node {
        SegmentPtr segment;
        double arrive; // seconds from now
        double from;   // viewable time where it starts playing
        double probability;
        bool definite;
        std::size_t parent;
    };
    constexpr std::size_t kRoot = std::numeric_limits<std::size_t>::max();
    std::vector<Node> nodes;
    nodes.push_back({s.current, 0.0, s.here(), 1.0, true, kRoot});
    const auto before = [&nodes](std::size_t a, std::size_t b) {
        if (nodes[a].probability != nodes[b].probability)
            return nodes[a].probability < nodes[b].probability;
        if (nodes[a].arrive != nodes[b].arrive) return nodes[a].arrive > nodes[b].arrive;
        return a > b;
    };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(before)> open(before);
    open.push(0);

    std::vector<PrefetchEntry> found;
    std::unordered_map<const QZPlaygraphSegment*, std::size_t> entryOf;
    std::size_t steps = 0;
    while (!open.empty()) {
        const std::size_t n = open.top();
        open.pop();
        const Node node = nodes[n];
        const QZPlaygraphSegment& segment = *node.segment;
        bool firstVisit = true;
        for (std::size_t p = node.parent; p != kRoot; p = nodes[p].parent) {
            if (nodes[p].segment == node.segment) {
                firstVisit = false;
                break;
            }
        }
        const double length = lengthOf(segment);
        const bool known = !std::isnan(length);
        const double available = known ? nonNegative(segment.startTime() + length - node.from)
                                       : std::numeric_limits<double>::infinity();
        const double to = node.from + std::min(available, horizonSeconds - node.arrive);
        const auto [slot, added] = entryOf.try_emplace(node.segment.get(), found.size());
        if (added) {
            PrefetchEntry entry;
            entry.segment = node.segment;
            entry.viewableId = segment.viewableId();
            entry.fromTime = node.from;
            entry.toTime = to;
            entry.probability = node.probability;
            entry.earliestStart = now + node.arrive;
            entry.definite = node.definite;
            found.push_back(std::move(entry));
        } else {
            PrefetchEntry& entry = found[slot->second];
            entry.fromTime = std::min(entry.fromTime, node.from);
            entry.toTime = std::max(entry.toTime, to);
            if (firstVisit) entry.probability += node.probability;
            entry.earliestStart = std::min(entry.earliestStart, now + node.arrive);
            entry.definite = entry.definite || node.definite;
        }
        const double leaves = node.arrive + available;
        if (!known || !(leaves < horizonSeconds)) continue;
        if (++steps > kMaxPrefetchSteps) {
            plan.complete = false;
            break;
        }
        for (auto& way : s.waysOn(node.segment)) {
            if (!(way.probability > 0.0)) continue;
            // A way back to a segment of this path at the same time makes no progress.
            bool stalls = false;
            for (std::size_t p = n; p != kRoot; p = nodes[p].parent) {
                if (nodes[p].segment == way.destination && nodes[p].arrive == leaves &&
                    nodes[p].from == way.destination->startTime()) {
                    stalls = true;
                    break;
                }
            }
            if (stalls) continue;
            const double from = way.destination->startTime();
            nodes.push_back({std::move(way.destination), leaves, from,
                             node.probability * way.probability,
                             node.definite && way.probability == 1.0, n});
            open.push(nodes.size() - 1);
        }
    }

    // Definite entries keep the order they play in; the rest go by chance.
    std::vector<std::size_t> order(found.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&found](std::size_t a, std::size_t b) {
        const PrefetchEntry& x = found[a];
        const PrefetchEntry& y = found[b];
        if (x.definite != y.definite) return x.definite;
        if (x.definite) return x.earliestStart < y.earliestStart;
        if (x.probability != y.probability) return x.probability > y.probability;
        return x.earliestStart < y.earliestStart;
    });
    double seconds = 0.0;
    for (std::size_t i : order) {
        if (plan.entries.size() >= budget.maxEntries) break;
        PrefetchEntry entry = std::move(found[i]);
        const double needed = entry.toTime - entry.fromTime;
        if (seconds + needed > budget.maxSeconds) {
            const double left = budget.maxSeconds - seconds;
            if (!(left > 0.0)) break;
            entry.toTime = entry.fromTime + left;
            plan.entries.push_back(std::move(entry));
            break;
        }
        seconds += needed;
        plan.entries.push_back(std::move(entry));
    }
    return plan;
}

void PlaybackSession::choose(const SegmentPtr& destination) {
    Impl& s = *impl_;
    if (!destination) refuse("Cannot choose an empty segment");
    std::optional<std::pair<std::size_t, Decision>> found;
    if (!s.hasEnded && s.current) found = s.decisionFrom(s.step());
    if (!found) refuse("No decision lies ahead of segment " + idOf(s.current));
    const std::size_t index = found->first;
    const Decision* decision = &found->second;
    const SegmentPtr& at = decision->entry.segment;
    const auto way =
        std::find_if(decision->waysOn.begin(), decision->waysOn.end(),
                     [&](const WayOn& w) { return sameSegment(w.destination, destination); });
    if (way == decision->waysOn.end())
        refuse(destination->segmentId() + " is not a way on from " + at->segmentId());
    const double time = s.now();
    if (!std::isnan(decision->deadline) && time > decision->deadline) {
        refuse("The deadline to choose after " + at->segmentId() + " has passed (" +
               std::to_string(decision->deadline) + " s; now " + std::to_string(time) + " s)");
    }
    DecisionRecord record;
    record.segment = at;
    record.destination = way->destination;
    record.defaulted = false;
    record.secondsBeforeDeadline =
        std::isnan(decision->deadline) ? kNaN : decision->deadline - time;
    record.step = index;
    const auto earlier =
        std::find_if(s.records.begin(), s.records.end(),
                     [&](const DecisionRecord& r) { return r.step == index && r.segment == at; });
    std::optional<NextSegmentOverride> previous = storedOverride(*s.source, at);
    if (earlier != s.records.end())
        previous = s.replaced[static_cast<std::size_t>(earlier - s.records.begin())];
    s.source->setNextSegmentAfter(at, way->destination);
    s.changed();
    if (earlier != s.records.end()) {
        *earlier = record;
    } else {
        s.records.push_back(record);
        s.replaced.push_back(std::move(previous));
    }
    s.recordsChanged();
    s.tellDecided(record);
}

void PlaybackSession::choose(std::string_view destinationSegmentId) {
    const auto decision = currentDecision();
    if (!decision) refuse("No decision lies ahead of segment " + idOf(impl_->current));
    for (const auto& way : decision->waysOn) {
        if (way.destination->segmentId() == destinationSegmentId) return choose(way.destination);
    }
    refuse(std::string(destinationSegmentId) + " is not a way on from " +
           decision->entry.segment->segmentId());
}

bool PlaybackSession::back() {
    Impl& s = *impl_;
    // The last decision passed: a record of a step played, of the segment
    // played there (a choice made ahead for a segment that the path then
    // did not reach at that step is no such record).
    std::optional<std::size_t> target;
    for (const auto& record : s.records) {
        if (record.step < s.step() && record.segment == s.played[record.step].segment &&
            (!target || record.step > *target))
            target = record.step;
    }
    if (!target) return false;
    s.upToDate();
    s.dropRecordsFrom(*target, true);
    const TimelineEntry entry = s.played[*target];
    s.played.resize(*target);
    s.current = entry.segment;
    s.currentStart = entry.start;
    s.hasEnded = false;
    s.watchable = s.window(*s.current).first;
    s.windowReported = false;
    s.changed();
    s.tellEntered();
    s.checkWindow();
    return true;
}

const std::vector<DecisionRecord>& PlaybackSession::decisions() const { return impl_->records; }

void PlaybackSession::setObserver(const std::shared_ptr<PlaybackSessionObserver>& observer) {
    impl_->observer = observer;
}

void PlaybackSession::refresh() { impl_->changed(); }

namespace {

Dictionary place(const QZPlaygraphSegment& segment) {
    return Dictionary{{"playgraphId", playgraphIdOf(segment)}, {"segmentId", segment.segmentId()}};
}

} // namespace

Dictionary PlaybackSession::state() const {
    const Impl& s = *impl_;
    List played;
    for (const auto& entry : s.played) {
        Dictionary step = place(*entry.segment);
        step.set("end", entry.end);
        played.push_back(step);
    }
    Dictionary state{{"version", 1}, {"played", played}, {"ended", s.hasEnded}};
    if (s.current) {
        Dictionary current = place(*s.current);
        current.set("watchableTime", s.here());
        state.set("current", current);
    }
    List decisions;
    for (const auto& record : s.records) {
        Dictionary d = place(*record.segment);
        d.set("step", static_cast<int64_t>(record.step));
        d.set("defaulted", record.defaulted);
        if (record.destination) {
            d.set("destinationPlaygraphId", playgraphIdOf(*record.destination));
            d.set("destinationSegmentId", record.destination->segmentId());
        }
        if (!std::isnan(record.secondsBeforeDeadline))
            d.set("secondsBeforeDeadline", record.secondsBeforeDeadline);
        decisions.push_back(d);
    }
    state.set("decisions", decisions);
    return state;
}

namespace {

/// A segment named by playgraph and segment id in a saved state.
struct Place {
    std::string playgraphId;
    std::string segmentId;
    bool matches(const SegmentPtr& segment) const {
        return segment && segment->segmentId() == segmentId &&
               playgraphIdOf(*segment) == playgraphId;
    }
    std::string text() const { return playgraphId + "::" + segmentId; }
};

const std::string kRestore = "Cannot restore the playback session: ";

Place placeOf(const Value& value, const std::string& where, const std::string& prefix = "") {
    const Dictionary* d = value.dictionary();
    const Value playgraphId =
        d ? d->get(prefix.empty() ? "playgraphId" : prefix + "PlaygraphId") : Value();
    const Value segmentId =
        d ? d->get(prefix.empty() ? "segmentId" : prefix + "SegmentId") : Value();
    if (!playgraphId.string() || !segmentId.string())
        refuse(kRestore + where + " does not name a playgraph and a segment");
    return {*playgraphId.string(), *segmentId.string()};
}

double finiteAt(const Dictionary& d, std::string_view key, const std::string& where) {
    const Value value = d.get(key);
    if (!value.isFiniteNumber() || value.isBool())
        refuse(kRestore + where + " has no finite number under \"" + std::string(key) + "\"");
    return value.doubleReading();
}

/// The segment among `from`'s ways on (and its next segment) that `place` names.
SegmentPtr wayTo(const QZPlaygraphPlayerMutableDataSource& source, const SegmentPtr& from,
                 const Place& place) {
    if (SegmentPtr next = source.nextSegmentAfterSegment(from); place.matches(next)) return next;
    for (const auto& transition : source.transitionsFromSourceSegment(from)) {
        if (!transition) continue;
        if (SegmentPtr to = transition->destinationSegment(); place.matches(to)) return to;
    }
    return nullptr;
}

} // namespace

std::shared_ptr<PlaybackSession>
PlaybackSession::restore(std::shared_ptr<QZPlaygraphPlayerMutableDataSource> dataSource,
                         const Value& state, PlaybackSessionOptions options) {
    if (!dataSource) refuse(kRestore + "there is no data source");
    const Dictionary* top = state.dictionary();
    if (!top) refuse(kRestore + "the state is not a dictionary");
    if (const Value version = top->get("version");
        !version.isInteger() || version.integerReading() != 1)
        refuse(kRestore + "the state's \"version\" is not 1");
    const Value playedValue = top->get("played");
    const Value decisionsValue = top->get("decisions");
    const List* played = playedValue.list();
    const List* decisions = decisionsValue.list();
    if (!played || !decisions)
        refuse(kRestore + "the state has no \"played\" or \"decisions\" list");
    const Value endedValue = top->get("ended");
    if (!endedValue.isNone() && !endedValue.isBool())
        refuse(kRestore + "the state's \"ended\" is not true or false");
    const Value current = top->get("current");
    if (!current.dictionary()) refuse(kRestore + "the state has no \"current\" segment");

    // The played path, which must follow from the initial segment.
    std::vector<Place> places;
    std::vector<double> ends;
    for (std::size_t i = 0; i < played->size(); ++i) {
        const std::string where = "played step " + std::to_string(i);
        places.push_back(placeOf((*played)[i], where));
        const double end = finiteAt(*(*played)[i].dictionary(), "end", where);
        if (end < (ends.empty() ? 0.0 : ends.back()))
            refuse(kRestore + where + " ends before it starts");
        ends.push_back(end);
    }
    places.push_back(placeOf(current, "the current segment"));
    const double watchable =
        finiteAt(*current.dictionary(), "watchableTime", "the current segment");

    std::vector<SegmentPtr> path;
    for (std::size_t i = 0; i < places.size(); ++i) {
        // A step follows the one before it through a way on as things stand,
        // else it followed an override since changed: then the id must name
        // a segment of the data source.
        SegmentPtr segment = i == 0 ? dataSource->initialPosition().segment
                                    : wayTo(*dataSource, path.back(), places[i]);
        if (i > 0 && !segment) segment = dataSource->segmentById(places[i].segmentId);
        if (!places[i].matches(segment)) {
            refuse(kRestore + places[i].text() +
                   (i == 0 ? " is not the data source's initial segment"
                           : " is not a segment of the data source"));
        }
        path.push_back(std::move(segment));
    }

    // The decisions, resolved against the path and, for choices ahead, the
    // path those choices predict.
    std::vector<DecisionRecord> records;
    std::unordered_map<std::string, SegmentPtr> chosen;
    std::vector<SegmentPtr> ahead = path;
    for (std::size_t i = 0; i < decisions->size(); ++i) {
        const std::string where = "decision " + std::to_string(i);
        const Value& item = (*decisions)[i];
        const Place at = placeOf(item, where);
        const Dictionary& d = *item.dictionary();
        const Value stepValue = d.get("step");
        const Value defaulted = d.get("defaulted");
        if (!stepValue.isInteger() || stepValue.integerReading() < 0 || !defaulted.isBool())
            refuse(kRestore + where + " has no \"step\" or \"defaulted\"");
        const auto step = static_cast<std::size_t>(stepValue.integerReading());
        const std::size_t here = path.size() - 1;
        if (defaulted.booleanReading() &&
            !(step < here || (step == here && endedValue.booleanReading())))
            refuse(kRestore + where + " was passed by default ahead of the current segment");
        // Walk the predicted path up to the step (bounded by the story's loops).
        while (ahead.size() <= step && ahead.size() < path.size() + 10'000'000) {
            const SegmentPtr& last = ahead.back();
            const auto override = chosen.find(last->canonicalSegmentId());
            SegmentPtr next = override != chosen.end() ? override->second
                                                       : dataSource->nextSegmentAfterSegment(last);
            if (!next) break;
            ahead.push_back(std::move(next));
        }
        // A choice ahead whose segment left the path (an override of
        // someone else's) still names a segment of the data source.
        SegmentPtr segment = step < ahead.size() ? ahead[step] : nullptr;
        if (!at.matches(segment) && !defaulted.booleanReading())
            segment = dataSource->segmentById(at.segmentId);
        if (!at.matches(segment))
            refuse(kRestore + where + " names " + at.text() + ", which is not at step " +
                   std::to_string(step));
        DecisionRecord record;
        record.segment = segment;
        record.step = step;
        record.defaulted = defaulted.booleanReading();
        if (d.contains("destinationSegmentId")) {
            const Place to = placeOf(item, where + "'s destination", "destination");
            record.destination = wayTo(*dataSource, record.segment, to);
            if (!record.destination && step + 1 < path.size() && to.matches(path[step + 1]))
                record.destination = path[step + 1];
            if (!record.destination)
                refuse(kRestore + to.text() + " is not a way on from " + at.text());
        } else if (!record.defaulted) {
            refuse(kRestore + where + " is a choice without a destination");
        }
        const Value seconds = d.get("secondsBeforeDeadline");
        record.secondsBeforeDeadline =
            seconds.isNumber() && !seconds.isBool() ? seconds.doubleReading() : kNaN;
        if (!record.defaulted) {
            chosen[record.segment->canonicalSegmentId()] = record.destination;
            if (step + 1 >= path.size()) ahead.resize(step + 1);
        }
        records.push_back(std::move(record));
    }

    // Everything fits: build the session and make its choices.
    auto session = create(dataSource, options);
    Impl& s = *session->impl_;
    s.played.clear();
    double start = 0.0;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        TimelineEntry entry = s.entryFor(path[i], start);
        entry.end = ends[i];
        entry.durationKnown = true;
        entry.played = true;
        s.played.push_back(std::move(entry));
        start = ends[i];
    }
    s.current = path.back();
    s.currentStart = start;
    s.watchable = watchable;
    s.hasEnded = endedValue.booleanReading();
    for (auto& record : records) {
        std::optional<NextSegmentOverride> previous;
        if (!record.defaulted) {
            previous = storedOverride(*s.source, record.segment);
            s.source->setNextSegmentAfter(record.segment, record.destination);
        }
        s.records.push_back(std::move(record));
        s.replaced.push_back(std::move(previous));
    }
    s.recordsChanged();
    s.refreshWindow();
    s.windowReported = !std::isnan(s.windowOpensAt) && s.watchable >= s.windowOpensAt;
    return session;
}

} // namespace playgraph::inline v1
