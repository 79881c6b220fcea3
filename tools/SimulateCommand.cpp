// `playgraph simulate`: plays a story without video through a playback
// session: each decision with its window, deadline and prefetch plan, or,
// with --random, a summary of many runs with choices drawn by weight.

#include <cstdio>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Tool.hpp"
#include "playgraph/datasource/PlaygraphPlayerMutableDataSource.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"
#include "playgraph/playback/PlaybackSession.hpp"

namespace playgraph::tool {

namespace {

struct SimulateOptions {
    InputOptions input;
    std::vector<std::string> choices;
    bool random = false;
    uint64_t seed = 1;
    int64_t runs = 1;
    double horizon = 30.0;
    double lead = 2.0;
    double window = 5.0;
    double timeLimit = 3600.0;
    bool json = false;
};

/// How many segments one run may play before it counts as never ending,
/// whatever the time (a loop of segments of no length).
constexpr std::size_t kMaxStepsPerRun = 100'000;

using SegmentPtr = std::shared_ptr<QZPlaygraphSegment>;

std::map<std::string, std::string> parseChoices(const std::vector<std::string>& given) {
    std::map<std::string, std::string> choices;
    for (const auto& text : given) {
        const auto equals = text.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
            throw InputError("--choose " + text + ": expected SEGMENT=DESTINATION");
        choices[text.substr(0, equals)] = text.substr(equals + 1);
    }
    return choices;
}

Dictionary planValue(const PrefetchPlan& plan) {
    List entries;
    for (const auto& e : plan.entries) {
        Dictionary d{{"segment", e.segment->segmentId()},
                     {"fromTime", e.fromTime},
                     {"toTime", e.toTime},
                     {"probability", e.probability},
                     {"earliestStart", e.earliestStart},
                     {"definite", e.definite}};
        if (!e.viewableId.isNone()) d.set("viewableId", e.viewableId);
        entries.push_back(d);
    }
    return Dictionary{{"entries", entries}, {"complete", plan.complete}};
}

Value timeValue(double t) { return std::isnan(t) ? Value::null() : Value(t); }

/// One run, told step by step.
int runOnce(const SimulateOptions& options, const LoadedPlaygraph& loaded) {
    const auto choices = parseChoices(options.choices);
    auto source = PlaygraphPlayerMutableDataSource::create(loaded.playgraph, std::nullopt);
    auto session = PlaybackSession::create(source, {options.lead, options.window});
    List steps;
    bool endless = false;
    std::size_t count = 0;
    while (!session->ended()) {
        if (++count > kMaxStepsPerRun || session->sessionTime() > options.timeLimit) {
            endless = true;
            break;
        }
        const SegmentPtr here = session->position().segment;
        const double start = session->sessionTime();
        Dictionary step{{"segment", here->segmentId()}, {"start", start}};
        if (auto decision = session->currentDecision();
            decision && decision->entry.segment == here) {
            const double opens = decision->windowStart - decision->entry.start + here->startTime();
            session->advance(opens);
            const auto plan = session->prefetchPlan(options.horizon);
            List ways;
            for (const auto& w : decision->waysOn)
                ways.push_back(Dictionary{{"segment", w.destination->segmentId()},
                                          {"weight", w.weight},
                                          {"probability", w.probability}});
            Dictionary d{{"windowStart", decision->windowStart},
                         {"windowEnd", timeValue(decision->windowEnd)},
                         {"deadline", timeValue(decision->deadline)},
                         {"waysOn", ways},
                         {"prefetch", planValue(plan)}};
            const auto wanted = choices.find(here->segmentId());
            std::string taken;
            if (wanted != choices.end()) {
                try {
                    session->choose(wanted->second);
                    taken = wanted->second;
                } catch (const InvalidArgumentError& e) {
                    throw InputError(std::string("--choose ") + wanted->first + "=" +
                                     wanted->second + ": " + e.what());
                }
            }
            const SegmentPtr next = source->nextSegmentAfterSegment(here);
            d.set("chosen", taken.empty() ? Value::null() : Value(taken));
            d.set("next", next ? Value(next->segmentId()) : Value::null());
            step.set("decision", d);
        }
        session->segmentEnded();
        const auto& played = session->timeline()[session->ended() ? session->currentStep()
                                                                  : session->currentStep() - 1];
        step.set("end", played.end);
        if (!played.durationKnown || std::isnan(here->segmentDuration()))
            step.set("lengthUnknown", true);
        steps.push_back(step);
    }
    if (options.json) {
        writeJsonOutput("", Dictionary{{"steps", steps},
                                       {"ended", !endless},
                                       {"sessionTime", session->sessionTime()}});
        return exitOk;
    }
    for (const auto& item : steps) {
        const Dictionary& step = *item.dictionary();
        std::printf("%10s  %s%s\n", seconds(step.get("start").doubleReading()).c_str(),
                    shown(*step.get("segment").string()).c_str(),
                    step.contains("lengthUnknown") ? " (length unknown: counted as 0 s)" : "");
        const Value decision = step.get("decision");
        if (!decision.dictionary()) continue;
        const Dictionary& d = *decision.dictionary();
        std::printf(
            "            decision: window %s-%s s, deadline %s s\n",
            seconds(d.get("windowStart").doubleReading()).c_str(),
            seconds(d.get("windowEnd").isNull() ? NAN : d.get("windowEnd").doubleReading()).c_str(),
            seconds(d.get("deadline").isNull() ? NAN : d.get("deadline").doubleReading()).c_str());
        for (const auto& w : *d.find("waysOn")->list()) {
            const Dictionary& way = *w.dictionary();
            std::printf("              way on %s  weight %g  probability %.3f\n",
                        shown(*way.get("segment").string()).c_str(),
                        way.get("weight").doubleReading(), way.get("probability").doubleReading());
        }
        std::printf("              prefetch:");
        for (const auto& e : *d.find("prefetch")->dictionary()->find("entries")->list()) {
            const Dictionary& entry = *e.dictionary();
            std::printf(" %s %s-%s s p=%.3f;", shown(*entry.get("segment").string()).c_str(),
                        seconds(entry.get("fromTime").doubleReading()).c_str(),
                        seconds(entry.get("toTime").doubleReading()).c_str(),
                        entry.get("probability").doubleReading());
        }
        std::printf("\n");
        const Value chosen = d.get("chosen");
        const Value next = d.get("next");
        std::printf("            %s %s\n", chosen.isNull() ? "default:" : "chosen:",
                    next.isNull() ? "the path ends" : shown(*next.string()).c_str());
    }
    if (endless) {
        std::printf("did not end within %s s (or %zu segments)\n",
                    seconds(options.timeLimit).c_str(), kMaxStepsPerRun);
    } else {
        std::printf("ended at %s s\n", seconds(session->sessionTime()).c_str());
    }
    return exitOk;
}

/// Many runs with choices drawn by weight, summarised.
int runMany(const SimulateOptions& options, const LoadedPlaygraph& loaded) {
    auto source = PlaygraphPlayerMutableDataSource::create(loaded.playgraph, std::nullopt);
    std::mt19937_64 rng(options.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::map<std::string, std::pair<uint64_t, uint64_t>> segments; // plays, runs
    std::map<std::pair<std::string, std::string>, uint64_t> transitions;
    uint64_t ended = 0;
    double totalTime = 0.0;
    for (int64_t run = 0; run < options.runs; ++run) {
        source->setNextSegmentOverrides({});
        auto session = PlaybackSession::create(source, {options.lead, options.window});
        std::set<std::string> seen;
        std::size_t count = 0;
        bool endless = false;
        while (!session->ended()) {
            if (++count > kMaxStepsPerRun || session->sessionTime() > options.timeLimit) {
                endless = true;
                break;
            }
            const SegmentPtr here = session->position().segment;
            auto& tally = segments[here->segmentId()];
            ++tally.first;
            if (seen.insert(here->segmentId()).second) ++tally.second;
            const auto ways = session->waysOn(here);
            if (ways.size() > 1) {
                double draw = unit(rng);
                for (const auto& way : ways) {
                    draw -= way.probability;
                    if (way.probability > 0.0 && draw < 0.0) {
                        try {
                            session->choose(way.destination);
                        } catch (const InvalidArgumentError&) {
                            // Too late for this segment: the default plays.
                        }
                        break;
                    }
                }
            }
            const SegmentPtr next = source->nextSegmentAfterSegment(here);
            session->segmentEnded();
            if (next) ++transitions[{here->segmentId(), next->segmentId()}];
        }
        if (!endless) ++ended;
        totalTime += session->sessionTime();
    }
    source->setNextSegmentOverrides({});
    std::vector<std::string> never;
    if (const auto all = loaded.playgraph->allSegmentIds()) {
        for (const auto& id : *all)
            if (!segments.count(id)) never.push_back(id);
    }
    const uint64_t runs = static_cast<uint64_t>(options.runs);
    if (options.json) {
        Dictionary segs;
        for (const auto& [id, tally] : segments)
            segs.set(id, Dictionary{{"plays", tally.first}, {"runs", tally.second}});
        List trans;
        for (const auto& [key, n] : transitions)
            trans.push_back(Dictionary{{"from", key.first}, {"to", key.second}, {"count", n}});
        List neverList;
        for (const auto& id : never)
            neverList.push_back(Value(id));
        writeJsonOutput("", Dictionary{{"runs", runs},
                                       {"seed", options.seed},
                                       {"ended", ended},
                                       {"endless", runs - ended},
                                       {"meanSessionTime", runs ? totalTime / double(runs) : 0.0},
                                       {"segments", segs},
                                       {"transitions", trans},
                                       {"neverReached", neverList}});
        return exitOk;
    }
    std::printf("%llu runs (seed %llu): %llu ended, %llu did not end within %s s\n",
                static_cast<unsigned long long>(runs),
                static_cast<unsigned long long>(options.seed),
                static_cast<unsigned long long>(ended),
                static_cast<unsigned long long>(runs - ended), seconds(options.timeLimit).c_str());
    std::printf("mean session time %s s\n\n",
                seconds(runs ? totalTime / double(runs) : 0.0).c_str());
    std::printf("%-24s %10s %10s\n", "segment", "plays", "runs");
    for (const auto& [id, tally] : segments)
        std::printf("%-24s %10llu %10llu\n", shown(id).c_str(),
                    static_cast<unsigned long long>(tally.first),
                    static_cast<unsigned long long>(tally.second));
    std::printf("\n%-40s %10s\n", "transition", "taken");
    for (const auto& [key, n] : transitions)
        std::printf("%-40s %10llu\n", (shown(key.first) + " -> " + shown(key.second)).c_str(),
                    static_cast<unsigned long long>(n));
    std::printf("\nnever reached: %s\n", never.empty() ? "none" : "");
    for (const auto& id : never)
        std::printf("  %s\n", shown(id).c_str());
    return exitOk;
}

} // namespace

Command addSimulateCommand(CLI::App& app) {
    auto options = std::make_shared<SimulateOptions>();
    CLI::App* command = app.add_subcommand(
        "simulate", "Plays the story without video: each decision with its window, deadline and "
                    "prefetch plan, the choices given or the defaults; with --random, a summary of "
                    "many runs with choices drawn by weight");
    addInputOptions(*command, options->input);
    command->add_option("--choose", options->choices,
                        "SEGMENT=DESTINATION: at SEGMENT's decision take DESTINATION (repeatable)");
    command->add_flag("--random", options->random, "draw each choice by the ways' weights");
    command->add_option("--seed", options->seed, "seed of the random choices (default 1)");
    command->add_option("--runs", options->runs, "number of random runs (default 1)")
        ->check(integerCheck(1));
    command->add_option("--horizon", options->horizon, "seconds a prefetch plan looks ahead (30)")
        ->check(secondsCheck());
    command
        ->add_option("--lead", options->lead,
                     "seconds before a switch by which a choice must be made (2)")
        ->check(secondsCheck());
    command
        ->add_option("--window", options->window,
                     "seconds before a segment's end at which its decision window opens (5)")
        ->check(secondsCheck());
    command
        ->add_option("--time-limit", options->timeLimit,
                     "session seconds after which a run counts as never ending (3600)")
        ->check(secondsCheck());
    command->add_flag("--json", options->json, "write JSON instead of text");
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(options->input);
                if (options->random) {
                    if (!options->choices.empty())
                        throw InputError("--choose and --random cannot be used together");
                    return runMany(*options, loaded);
                }
                if (options->runs != 1) throw InputError("--runs needs --random");
                return runOnce(*options, loaded);
            }};
}

} // namespace playgraph::tool
