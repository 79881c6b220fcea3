#pragma once

// A change observer that records every call with its arguments.

#include <functional>
#include <memory>
#include <vector>

#include "playgraph/QZPlaygraphPlayerDataSourceChangeObserver.hpp"
#include "playgraph/QZPlaygraphPlayerMutableDataSource.hpp"

namespace playgraph::test {

struct RecordingObserver : QZPlaygraphPlayerDataSourceChangeObserver {
    enum class Kind { NextSegment, Playgraph };
    struct Call {
        Kind kind;
        std::shared_ptr<QZPlaygraphPlayerMutableDataSource> dataSource;
        std::shared_ptr<QZPlaygraphSegment> segment;
        std::shared_ptr<QZPlaygraph> playgraph;
    };

    void dataSourceDidChangeNextSegmentAfterSegment(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const std::shared_ptr<QZPlaygraphSegment>& segment) override {
        calls.push_back({Kind::NextSegment, dataSource, segment, nullptr});
        if (onCall) onCall(Call(calls.back())); // a copy: onCall may record more
    }
    void dataSourceDidUpdatePlaygraph(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const std::shared_ptr<QZPlaygraph>& playgraph) override {
        calls.push_back({Kind::Playgraph, dataSource, nullptr, playgraph});
        if (onCall) onCall(Call(calls.back())); // a copy: onCall may record more
    }

    std::vector<Call> calls;
    /// Runs inside each call, after it is recorded.
    std::function<void(const Call&)> onCall;
};

} // namespace playgraph::test
