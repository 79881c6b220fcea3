// A byte string drives a sequence of edits on a small playgraph (or on a
// composition converted from it, with its clip operations), some of them in
// transactions of an edit history, with undos, redos and segments changed
// through their setters in between. After each edit either it was refused
// with InvalidArgumentError and the dictionary and segment objects are
// exactly as before, or it was applied and the playgraph answers everything
// as one freshly built from the edited dictionary; an undo or redo gives
// back the dictionary of that step, answering as a fresh build of it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.hpp"
#include "ModelAnswers.hpp"
#include "playgraph/playgraph.hpp"

using namespace playgraph;

namespace {

struct Params : QZPlaygraphParams {};

// A chain s0 -> s1 -> ... with branches, self-loops and a dangling reference
// chosen by the input.
Dictionary makePlaygraph(FuzzedDataProvider& in, std::vector<std::string>& ids) {
    const int count = in.ConsumeIntegralInRange<int>(1, 7);
    for (int i = 0; i < count; ++i)
        ids.push_back("s" + std::to_string(i));
    Dictionary segments;
    for (int i = 0; i < count; ++i) {
        Dictionary s{{"viewableId", 1 + i % 2}, {"startTimeMs", i * 1000}};
        if (in.ConsumeBool()) s.set("endTimeMs", i * 1000 + 1000);
        if (in.ConsumeBool()) s.set("main", 1);
        Dictionary next;
        if (i + 1 < count) {
            next.set(ids[i + 1], Dictionary{{"weight", 50}});
            s.set("defaultNext", ids[i + 1]);
        }
        if (in.ConsumeIntegralInRange<int>(0, 3) == 0)
            next.set(fuzz::pickId(in, ids), Dictionary{{"weight", 7}});
        if (!next.empty()) s.set("next", next);
        segments.set(ids[i], s);
    }
    return Dictionary{{"initialSegment", "s0"}, {"segments", segments}, {"type", "branching"}};
}

std::vector<const QZPlaygraphSegment*> objects(const MutablePlaygraph& p) {
    std::vector<const QZPlaygraphSegment*> out;
    for (const auto& [id, segment] : p.segmentMap())
        out.push_back(segment.get());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<std::string> ids;
    std::shared_ptr<MutablePlaygraph> playgraph =
        MutablePlaygraph::create(makePlaygraph(in, ids), 1);
    std::shared_ptr<MutableVideoComposition> composition;
    if (in.ConsumeBool()) {
        composition =
            MutableVideoComposition::createVideoCompositionForMainViewableId(1, playgraph);
        playgraph = composition;
    }
    auto params = std::make_shared<Params>();
    int fresh = 0;
    EditHistory history(playgraph);
    // The dictionaries of the steps taken (`at`) and undone (after it).
    std::vector<Value> states{Value(playgraph->dictionaryRepresentation()).deepCopy()};
    std::size_t at = 0;
    const auto sameAsFreshBuild = [&] {
        auto rebuilt = MutablePlaygraph::create(playgraph->dictionaryRepresentation(), 1);
        const std::string edited = testsupport::modelAnswers(*playgraph);
        const std::string fresh = testsupport::modelAnswers(*rebuilt);
        if (edited == fresh) return true;
        std::fprintf(stderr, "edited:\n%s\nfresh build:\n%s\n", edited.c_str(), fresh.c_str());
        return false;
    };

    while (in.remaining_bytes() > 0) {
        const int action = in.ConsumeIntegralInRange<int>(0, 9);
        if (std::getenv("FUZZ_TRACE")) std::fprintf(stderr, "action %d\n", action);
        switch (action) {
        case 0: // a player learns a viewable's length, or re-weights a transition
            if (const auto segment = playgraph->segmentById(fuzz::pickId(in, ids))) {
                segment->setMovieDuration(fuzz::pickTime(in));
                if (!segment->next().empty()) segment->next().begin()->second->overrideWeight(3);
            }
            continue;
        case 1:
        case 2:
            if (in.ConsumeBool() ? !history.canUndo() : !history.canRedo()) continue;
            if (in.ConsumeBool() && history.canUndo()) {
                history.undo();
                --at;
            } else if (history.canRedo()) {
                history.redo();
                ++at;
            } else {
                continue;
            }
            fuzz::check(Value(playgraph->dictionaryRepresentation()) == states[at],
                        "undo or redo did not give back the step's dictionary");
            fuzz::check(sameAsFreshBuild(), "after undo or redo: model differs from a fresh build");
            continue;
        default:
            break;
        }
        const bool inTransaction = in.ConsumeBool();
        const Value before = Value(playgraph->dictionaryRepresentation()).deepCopy();
        const auto beforeObjects = objects(*playgraph);
        const std::string a = fuzz::pickId(in, ids);
        const std::string b = fuzz::pickId(in, ids);
        const std::string newId =
            in.ConsumeBool() ? "n" + std::to_string(fresh++) : fuzz::pickId(in, ids);
        const double t1 = fuzz::pickTime(in);
        const double t2 = fuzz::pickTime(in);
        Dictionary props;
        if (in.ConsumeBool()) props.set("weight", in.ConsumeIntegralInRange<int>(-5, 100));
        if (in.ConsumeBool()) props.set("autoplayType", in.ConsumeBool() ? Value(2) : Value("x"));
        if (in.ConsumeBool()) props.set("skipRegionOffset", t1);
        bool nothing = false; // an operation that does nothing
        const auto edit = [&] {
            const int op = in.ConsumeIntegralInRange<int>(0, composition ? 17 : 10);
            if (std::getenv("FUZZ_TRACE"))
                std::fprintf(stderr, "op %d %s %s %s tx %d\n", op, a.c_str(), b.c_str(),
                             newId.c_str(), inTransaction);
            switch (op) {
            case 0:
                // Does nothing on a composition.
                playgraph->addTransitionFromSegment(a, b, in.ConsumeBool(), props);
                nothing = composition != nullptr;
                break;
            case 1:
                playgraph->updatePropertiesForTransitionFrom(a, b, props);
                break;
            case 2:
                playgraph->updatePropertiesForAllTransitionsTo(b, props);
                break;
            case 3:
                playgraph->updatePropertiesForAllTransitionfrom(a, props);
                break;
            case 4:
                playgraph->updateDefaultNextFromSegment(a, b);
                break;
            case 5:
                playgraph->supportSkippingSegment(a, b, t1, in.ConsumeIntegral<uint64_t>());
                break;
            case 6:
                playgraph->insertSegmentAfter(a, newId, in.ConsumeBool() ? Value(3) : Value(), t1,
                                              t2, in.ConsumeBool(),
                                              in.ConsumeBool() ? params : nullptr);
                ids.push_back(newId);
                break;
            case 7:
                playgraph->insertSegmentBefore(a, newId, 3, t1, t2,
                                               in.ConsumeBool() ? params : nullptr);
                ids.push_back(newId);
                break;
            case 8: {
                const std::string second = in.ConsumeBool() ? a : "n" + std::to_string(fresh++);
                playgraph->splitSegment(a, t1, in.ConsumeBool() ? a : newId, second);
                ids.push_back(newId);
                ids.push_back(second);
                break;
            }
            case 9:
                playgraph->removeSegment(a);
                break;
            case 10:
                playgraph->replaceSegmentReferencesFor(a, b);
                playgraph->load();
                break;
            case 11:
                composition->appendClip(newId, 2, t1, t2, in.ConsumeBool() ? params : nullptr);
                ids.push_back(newId);
                break;
            case 12:
                composition->prependClip(newId, 2, t1, t2, nullptr);
                ids.push_back(newId);
                break;
            case 13:
                composition->insertClip(newId, 2, t1, t2, a, nullptr);
                ids.push_back(newId);
                break;
            case 14:
                composition->removeClip(a);
                break;
            case 15:
                composition->splitClip(a, t1, newId, "n" + std::to_string(fresh++));
                ids.push_back(newId);
                break;
            default:
                // The operations that do nothing must change nothing, whatever the names.
                composition->combineClip1(a, b, newId);
                composition->makeRangeSkippable(a);
                composition->localizeClip(a, "fr", 9, t1);
                composition->defineRange(a, t1, t2);
                composition->observeRange(b, t1, t2);
                composition->addTransitionFromSegment(a, b, true, props);
                fuzz::check(Value(playgraph->dictionaryRepresentation()) == before,
                            "an operation that does nothing changed the dictionary");
                nothing = true;
                break;
            }
        };
        try {
            if (inTransaction) {
                history.transaction([&](MutablePlaygraph&) { edit(); });
            } else {
                edit();
            }
        } catch (const InvalidArgumentError&) {
            fuzz::check(Value(playgraph->dictionaryRepresentation()) == before,
                        "refused edit changed the dictionary");
            fuzz::check(objects(*playgraph) == beforeObjects, "refused edit rebuilt the segments");
            continue;
        }
        // A segment changed through a setter is rebuilt at the next edit.
        if (nothing) continue;
        fuzz::check(sameAsFreshBuild(), "model differs from a fresh build");
        if (inTransaction) {
            states.resize(at + 1);
            states.push_back(Value(playgraph->dictionaryRepresentation()).deepCopy());
            ++at;
        } else {
            // An edit outside the history: its steps no longer apply.
            fuzz::check(history.isStale() && !history.canUndo(), "outside edit not noticed");
            history.clear();
            states = {Value(playgraph->dictionaryRepresentation()).deepCopy()};
            at = 0;
        }
        // Exercise the read side on the edited graph.
        (void)playgraph->playerTimeForPlaygraphOffset(t1);
        (void)playgraph->positionAtViewableTime(t2, 1);
        playgraph->depthFirstTraversalFromSegmentId(std::nullopt,
                                                    [](const auto&, uint64_t, bool&) {});
        if (ids.size() > 64) ids.resize(64);
    }
    return 0;
}
