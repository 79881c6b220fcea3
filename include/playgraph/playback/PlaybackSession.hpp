#pragma once

/// What a player needs, beyond the model, to play a branching story without
/// a stall: what to fetch next, when the viewer must decide, where the viewer
/// is on one timeline across segments and playgraphs, and what happened.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/PlaygraphPosition.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/QZPlaygraphPlayerMutableDataSource.hpp"
#include "playgraph/QZPlaygraphSegment.hpp"
#include "playgraph/QZPlaygraphSegmentTransition.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

class PlaybackSession;

/// How a session places decision windows and deadlines.
struct PLAYGRAPH_API PlaybackSessionOptions {
    /// Seconds of the chosen branch a player needs buffered before the
    /// switch: a choice is taken at the latest this long before the end of
    /// the segment it is made at. Negative or not-a-number counts as 0.
    double prefetchLead = 2.0;
    /// For a segment without exit zones, the decision window is this many
    /// seconds before the segment's end (never before its start). Negative
    /// or not-a-number counts as 0.
    double decisionWindow = 5.0;
};

/// One segment on the session's timeline. Session times are seconds from the
/// start of the session along the path that plays.
struct PLAYGRAPH_API TimelineEntry {
    std::shared_ptr<QZPlaygraphSegment> segment;
    /// The segment's playgraph when the entry was made (empty once it was gone).
    std::shared_ptr<QZPlaygraph> playgraph;
    /// Session time at which the segment starts.
    double start = 0.0;
    /// Session time at which it ends; equal to `start` while the segment's
    /// length is unknown (a play-to-end segment before `setMovieDuration`),
    /// and for the current such segment, `start` plus what has played.
    double end = 0.0;
    /// False while the segment's length is unknown (a length beyond 10^12
    /// seconds counts as unknown, so that session times stay finite).
    bool durationKnown = true;
    /// The segment has played (it lies before the current one).
    bool played = false;
};

/// The length of the whole path that will play.
struct PLAYGRAPH_API SessionDuration {
    /// Seconds, counting segments of unknown length as what has played of
    /// them (0 for those ahead).
    double seconds = 0.0;
    /// Every segment's length is known.
    bool known = true;
    /// The predicted path comes back to a segment it has already passed, so
    /// the story never ends by itself; the timeline stops before the repeat.
    bool endless = false;
};

/// A way on from a segment and how likely it is to be taken.
struct PLAYGRAPH_API WayOn {
    /// Where it leads (never empty).
    std::shared_ptr<QZPlaygraphSegment> destination;
    /// The transition leading there; empty for a next segment (a default
    /// next or an override) that no transition leads to.
    std::shared_ptr<QZPlaygraphSegmentTransition> transition;
    /// The transition's effective weight (override, else base) read as a
    /// number; 0 for none, a value that is not a number (booleans included),
    /// and a negative, infinite or not-a-number weight.
    double weight = 0.0;
    /// The chance that playback takes this way: 1 for the next segment when
    /// a next-segment override is stored or this session chose it (0 for the
    /// other ways); else the weight over the
    /// sum of the weights; when every weight is 0, 1 for the next segment
    /// that plays when nobody chooses and 0 for the others.
    double probability = 0.0;
};

/// A segment ahead with more than one way on.
struct PLAYGRAPH_API Decision {
    TimelineEntry entry;
    /// The ways on, transitions first in the data source's order, then the
    /// next segment when no transition leads to it.
    std::vector<WayOn> waysOn;
    /// What plays after the segment as things stand: the data source's next
    /// segment (a choice made, else the default next); empty when the path
    /// ends there.
    std::shared_ptr<QZPlaygraphSegment> next;
    /// What follows is decided: a next-segment override is stored for the
    /// segment (by anyone), or this session chose the way that is next.
    bool overridden = false;
    /// Session times of the window in which the player offers the choice:
    /// the span of the segment's exit zones where it has some, else the
    /// last `decisionWindow` seconds of the segment. While the segment's
    /// length is unknown and it has no exit zones, the window starts with
    /// the segment and `windowEnd` is not-a-number.
    double windowStart = 0.0;
    double windowEnd = 0.0;
    /// The latest session time at which a choice still leaves `prefetchLead`
    /// seconds before the switch; not-a-number while the segment's length
    /// is unknown (a choice is then taken until the segment ends).
    double deadline = 0.0;
};

/// Something that may play within a horizon, for the player to fetch.
struct PLAYGRAPH_API PrefetchEntry {
    std::shared_ptr<QZPlaygraphSegment> segment;
    /// The segment's viewable id (none when it has none).
    Value viewableId;
    /// The viewable times needed (seconds): from where the segment would
    /// start playing to where the horizon or the segment ends.
    double fromTime = 0.0;
    double toTime = 0.0;
    /// The chance that the segment plays within the horizon.
    double probability = 0.0;
    /// The earliest session time at which it can start playing.
    double earliestStart = 0.0;
    /// It plays for certain: it follows the current segment with no
    /// uncertain way in between.
    bool definite = false;
};

/// Caps on a prefetch plan. The defaults cap nothing.
struct PLAYGRAPH_API PrefetchBudget {
    /// At most this many entries.
    std::size_t maxEntries = std::numeric_limits<std::size_t>::max();
    /// At most this many seconds of media in all; the entry that reaches
    /// the cap is cut to fit it.
    double maxSeconds = std::numeric_limits<double>::infinity();
};

/// A ranked list of what may play: the definite continuation first, in
/// playing order, then by probability (highest first), then by earliest
/// start, then in the order the walk met them.
struct PLAYGRAPH_API PrefetchPlan {
    std::vector<PrefetchEntry> entries;
    /// False when the branches within the horizon were too many to follow
    /// all (more than `kMaxPrefetchSteps` steps): the least explored
    /// branches are then missing and probabilities may be low.
    bool complete = true;
};

/// How many steps along the branches a prefetch plan takes at the most.
inline constexpr std::size_t kMaxPrefetchSteps = std::size_t{1} << 14;

/// A decision taken: a choice, or the next segment played when nobody chose.
struct PLAYGRAPH_API DecisionRecord {
    /// The segment at which it was taken.
    std::shared_ptr<QZPlaygraphSegment> segment;
    /// The way taken; empty when the path ended there.
    std::shared_ptr<QZPlaygraphSegment> destination;
    /// Nobody chose: the default (or someone else's override) played.
    bool defaulted = false;
    /// Seconds between the choice and the deadline (0 for a default,
    /// not-a-number when the deadline was unknown).
    double secondsBeforeDeadline = 0.0;
    /// The index of the decision's segment on the timeline.
    std::size_t step = 0;
};

/// What a session tells its observer. Every member has an empty default.
/// Calls come synchronously, on the thread that drove the session, after
/// the session's state changed; an observer may call back into the session.
class PLAYGRAPH_API PlaybackSessionObserver {
public:
    virtual ~PlaybackSessionObserver() = default;
    /// Playback entered the segment of `entry` (also at a seek or a back).
    virtual void sessionDidEnterSegment(PlaybackSession& session, const TimelineEntry& entry);
    /// Playback reached the decision window of the current segment.
    virtual void sessionDidReachDecisionWindow(PlaybackSession& session, const Decision& decision);
    /// A decision was taken (`choose`), or passed with nobody choosing.
    virtual void sessionDidDecide(PlaybackSession& session, const DecisionRecord& record);
    /// The path ended: nothing follows the last segment.
    virtual void sessionDidEnd(PlaybackSession& session);
};

/// A viewer's playback of a story through a mutable data source (one
/// playgraph or a composite of several), driven by the player.
///
/// The session starts at the data source's `initialPosition`. The player
/// reports progress with `advance` and `segmentEnded`; the session answers
/// where the viewer is on one timeline (the played path, the current
/// segment and the continuation the data source predicts), which decisions
/// come up, and what to prefetch. Everything goes through the data source's
/// public protocol: a choice is a next-segment override
/// (`setNextSegmentAfter`), which `nextSegmentAfterSegment` honours.
///
/// Ownership: a session shares ownership of its data source and of the
/// segments on its timeline; its observer is held weakly. To hear about
/// overrides that others set, a session puts itself in front of the data
/// source's change observer, passing every call on to the observer that was
/// there, and puts that observer back when it is destroyed (if nobody
/// replaced it meanwhile). A host that sets another change observer after
/// the session was made, or edits a playgraph, calls `refresh()`. A
/// segment's `setMovieDuration` is noticed without it.
///
/// Failures: the readers never throw (a miss is an empty segment,
/// not-a-number or an empty list). `choose`, `seek` and `restore` throw
/// `InvalidArgumentError` on a refused request and then change nothing.
///
/// Threads: not synchronised; a session, its data source and its
/// playgraphs are used from one thread at a time.
class PLAYGRAPH_API PlaybackSession {
public:
    /// A session at `dataSource`'s initial position; an empty data source,
    /// or one without an initial segment, gives a session that has ended.
    static std::shared_ptr<PlaybackSession>
    create(std::shared_ptr<QZPlaygraphPlayerMutableDataSource> dataSource,
           PlaybackSessionOptions options = {});
    /// A session rebuilt from `state()` of a session of the same story, on
    /// a data source with the state's overrides not yet applied (a fresh
    /// one). The played path must follow from the data source's initial
    /// position through ways on; every choice must be a way on from its
    /// segment. Throws `InvalidArgumentError` naming what does not fit, and
    /// then has set no override.
    static std::shared_ptr<PlaybackSession>
    restore(std::shared_ptr<QZPlaygraphPlayerMutableDataSource> dataSource, const Value& state,
            PlaybackSessionOptions options = {});

    ~PlaybackSession();
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource() const;
    const PlaybackSessionOptions& options() const;

    // Where the viewer is.

    /// The current segment and watchable time (the segment is empty for a
    /// session over an empty data source).
    PlaygraphPosition position() const;
    /// The current session time.
    double sessionTime() const;
    /// Nothing follows the segment that ended last.
    bool ended() const;
    /// The index of the current segment on `timeline()`.
    std::size_t currentStep() const;

    // Driving.

    /// Playback reached `watchableTime` within the current segment (clamped
    /// to the segment's times; a time that is not finite is ignored). Tells the observer
    /// when a decision window opens.
    void advance(double watchableTime);
    /// The current segment played to its end: moves on to the data source's
    /// next segment (across playgraphs of a composite source), records a
    /// defaulted decision when the segment offered one and nobody chose,
    /// and tells the observer. After the last segment the session has
    /// ended and stays at that segment's end.
    void segmentEnded();
    /// Moves to `sessionTime` on the timeline, backwards into the played
    /// path or forwards along the predicted one (decisions passed count as
    /// defaulted). Throws `InvalidArgumentError` for a time that is not a
    /// number or lies outside the timeline.
    void seek(double sessionTime);

    // The timeline.

    /// The played path, the current segment and the predicted continuation,
    /// in order. The reference stays valid until the next call on the
    /// session.
    const std::vector<TimelineEntry>& timeline() const;
    SessionDuration duration() const;
    /// The segment and watchable time at `sessionTime` (O(log n)); the
    /// later segment at a boundary; an empty segment outside the timeline.
    PlaygraphPosition positionAtSessionTime(double sessionTime) const;
    /// The session time of `position`: its segment's entry at or after the
    /// current one, else the last one before; not-a-number when the segment
    /// is not on the timeline.
    double sessionTimeAtPosition(const PlaygraphPosition& position) const;

    // Decisions and prefetching.

    /// The ways on from `segment`, with their probabilities (empty for an
    /// empty segment or when nothing follows it).
    std::vector<WayOn> waysOn(const std::shared_ptr<QZPlaygraphSegment>& segment) const;
    /// The decision points on the timeline from the current segment that
    /// start within `horizonSeconds` of now, in order.
    std::vector<Decision> upcomingDecisions(double horizonSeconds) const;
    /// The decision that `choose` takes: the first decision point on the
    /// timeline from the current segment on; none when there is none.
    std::optional<Decision> currentDecision() const;
    /// What may play within `horizonSeconds` from now, within `budget`
    /// (see `PrefetchPlan`). Branches are followed until the horizon, a
    /// segment of unknown length, or the end of the path; a loop
    /// contributes until the horizon.
    PrefetchPlan prefetchPlan(double horizonSeconds, const PrefetchBudget& budget = {}) const;

    // Choosing.

    /// Takes the way to `destination` at `currentDecision()`. Throws
    /// `InvalidArgumentError` when there is no decision ahead, the
    /// destination is not a way on from it, or its deadline has passed.
    /// Choosing again before the deadline replaces the choice.
    void choose(const std::shared_ptr<QZPlaygraphSegment>& destination);
    /// As above, naming the destination by segment id.
    void choose(std::string_view destinationSegmentId);
    /// Returns to the last decision point playback has passed: undoes the
    /// choices made there and after it (restoring the overrides they
    /// replaced) and moves to the start of its decision window. False, and
    /// nothing changes, when no decision point has been passed.
    bool back();
    /// The decisions taken so far, in order (a choice made again replaces
    /// the earlier one). A choice made ahead stays listed, and its override
    /// set, also when playback then takes another way to its step.
    const std::vector<DecisionRecord>& decisions() const;

    // Events and state.

    /// Holds `observer` weakly.
    void setObserver(const std::shared_ptr<PlaybackSessionObserver>& observer);
    /// Rebuilds the predicted timeline after changes the session cannot
    /// hear of (see above).
    void refresh();
    /// The session as a dictionary that JSON can write: the played path by
    /// playgraph and segment id with the length each played for, the
    /// current segment and watchable time, and the decisions.
    Dictionary state() const;

    struct Impl;

private:
    PlaybackSession() = default;
    std::shared_ptr<Impl> impl_;
};

} // namespace playgraph::inline v1
