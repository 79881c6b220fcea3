#include "playgraph/editing/EditHistory.hpp"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "editing/EditingState.hpp"
#include "editing/EditingSupport.hpp"

namespace playgraph::inline v1 {

using Access = detail::EditingAccess;

namespace {

/// A dictionary's entries, in order (the values themselves).
using Entries = std::vector<std::pair<std::string, Value>>;

Entries entriesOf(const Dictionary& d) {
    Entries out;
    out.reserve(d.size());
    for (const auto& [key, value] : d)
        out.emplace_back(key, value);
    return out;
}

/// Makes `d` hold exactly `entries`, in their order, keeping its identity.
void refill(Dictionary& d, const Entries& entries) {
    for (const auto& key : d.keys())
        static_cast<void>(d.erase(key));
    for (const auto& [key, value] : entries)
        d.set(key, value);
}

} // namespace

/// One entry of "segments" as it was: absent, or its dictionary with its
/// entries, its "next" with its entries and every transition dictionary
/// with its entries. These are everything an edit changes in place, so
/// putting them back (into the same dictionaries) restores the entry.
struct EditHistory::Image {
    std::optional<Dictionary> segment;
    Entries entries;
    std::optional<Dictionary> next;
    Entries nextEntries;
    std::vector<std::pair<Dictionary, Entries>> transitions;

    static Image of(const Dictionary& segments, const std::string& id) {
        Image image;
        const Value* value = segments.find(id);
        if (!value || !value->dictionary()) return image;
        image.segment = *value->dictionary();
        image.entries = entriesOf(*image.segment);
        const Value* next = image.segment->find(keys::next);
        if (!next || !next->dictionary()) return image;
        image.next = *next->dictionary();
        image.nextEntries = entriesOf(*image.next);
        for (const auto& [to, transition] : image.nextEntries) {
            if (const Dictionary* d = transition.dictionary()) {
                image.transitions.emplace_back(*d, entriesOf(*d));
            }
        }
        return image;
    }

    void restore(Dictionary& segments, const std::string& id) const {
        if (!segment) {
            static_cast<void>(segments.erase(id));
            return;
        }
        for (auto [transition, contents] : transitions)
            refill(transition, contents);
        if (next) {
            Dictionary handle = *next;
            refill(handle, nextEntries);
        }
        Dictionary handle = *segment;
        refill(handle, entries);
        const Value* current = segments.find(id);
        if (!current || !current->dictionary() || !current->dictionary()->sameAs(*segment)) {
            segments.set(id, *segment);
        }
    }
};

// A step: the segment entries it changed, before and after, and the
// initial segment before and after.
struct EditHistory::Step {
    std::string label;
    std::vector<std::string> ids;
    std::vector<Image> before;
    std::vector<Image> after;
    Value initialBefore;
    Value initialAfter;
};

// The open transaction: images of the entries its edits are about to
// change (the first time each), and the labels of the edits that complete.
struct EditHistory::Open final : detail::EditRecorder {
    MutablePlaygraph* playgraph = nullptr;
    std::optional<std::string> label;
    std::vector<std::string> editLabels;
    std::vector<std::string> ids;
    std::unordered_set<std::string> seen;
    std::vector<Image> before;
    Value initialBefore;
    bool staleAtBegin = false;

    void willChangeSegment(const std::string& id) override {
        if (!seen.insert(id).second) return;
        ids.push_back(id);
        before.push_back(Image::of(Access::segments(*playgraph), id));
    }
    void editCompleted(std::string editLabel) override {
        editLabels.push_back(std::move(editLabel));
    }
};

namespace {

std::string joined(const std::vector<std::string>& labels) {
    std::string out;
    for (const auto& label : labels) {
        if (!out.empty()) out += "; ";
        out += label;
    }
    return out;
}

} // namespace

EditHistory::EditHistory(std::shared_ptr<MutablePlaygraph> playgraph, std::size_t depthLimit)
    : playgraph_(std::move(playgraph)), depthLimit_(std::max<std::size_t>(depthLimit, 1)) {
    if (!playgraph_) throw std::invalid_argument("EditHistory needs a playgraph");
    knownRevision_ = Access::revision(*playgraph_);
}

EditHistory::~EditHistory() {
    if (open_) {
        try {
            rollback();
        } catch (...) {
            // Only allocation can fail here; the playgraph is left as it is.
            Access::setRecorder(*playgraph_, nullptr);
        }
    }
}

void EditHistory::transaction(const std::function<void(MutablePlaygraph&)>& edits,
                              std::optional<std::string> label) {
    begin(std::move(label));
    try {
        if (edits) edits(*playgraph_);
    } catch (...) {
        rollback();
        throw;
    }
    commit();
}

void EditHistory::begin(std::optional<std::string> label) {
    if (open_) throw EditHistoryError("A transaction is already open");
    if (Access::recorder(*playgraph_)) {
        throw EditHistoryError("The playgraph has a transaction of another history open");
    }
    auto open = std::make_unique<Open>();
    open->playgraph = playgraph_.get();
    open->label = std::move(label);
    open->initialBefore = Access::initialSegment(*playgraph_);
    open->staleAtBegin = isStale();
    open_ = std::move(open);
    Access::setRecorder(*playgraph_, open_.get());
}

void EditHistory::commit() {
    if (!open_) throw EditHistoryError("No transaction is open");
    std::unique_ptr<Open> open = std::move(open_);
    Access::setRecorder(*playgraph_, nullptr);
    Access::ensureCurrent(*playgraph_);
    if (open->editLabels.empty()) return;
    // Steps recorded before an outside edit describe states that are gone.
    if (open->staleAtBegin) {
        undo_.clear();
        redo_.clear();
    }
    Step step;
    step.label = open->label ? *open->label : joined(open->editLabels);
    const Dictionary segments = Access::segments(*playgraph_);
    for (const auto& id : open->ids)
        step.after.push_back(Image::of(segments, id));
    step.ids = std::move(open->ids);
    step.before = std::move(open->before);
    step.initialBefore = std::move(open->initialBefore);
    step.initialAfter = Access::initialSegment(*playgraph_);
    redo_.clear();
    undo_.push_back(std::move(step));
    if (undo_.size() > depthLimit_) undo_.erase(undo_.begin());
    knownRevision_ = Access::revision(*playgraph_);
}

void EditHistory::restore(const std::vector<std::string>& ids, const std::vector<Image>& images,
                          const Value& initial) {
    Access::restoreEntries(
        *playgraph_, ids,
        [&](Dictionary& segments, std::size_t i) { images[i].restore(segments, ids[i]); }, initial);
}

void EditHistory::rollback() {
    if (!open_) throw EditHistoryError("No transaction is open");
    std::unique_ptr<Open> open = std::move(open_);
    Access::setRecorder(*playgraph_, nullptr);
    if (open->ids.empty() && open->editLabels.empty()) {
        Access::ensureCurrent(*playgraph_);
        return;
    }
    restore(open->ids, open->before, open->initialBefore);
    // The transaction's own edits moved the revision; an outside edit
    // before it still counts.
    if (!open->staleAtBegin) knownRevision_ = Access::revision(*playgraph_);
}

bool EditHistory::inTransaction() const { return open_ != nullptr; }

bool EditHistory::canUndo() const { return !open_ && !undo_.empty() && !isStale(); }

bool EditHistory::canRedo() const { return !open_ && !redo_.empty() && !isStale(); }

void EditHistory::undo() {
    if (open_) throw EditHistoryError("Cannot undo while a transaction is open");
    if (undo_.empty()) throw EditHistoryError("Nothing to undo");
    if (isStale()) {
        throw EditHistoryError("Cannot undo: the playgraph was edited outside its history");
    }
    Step& step = undo_.back();
    restore(step.ids, step.before, step.initialBefore);
    redo_.push_back(std::move(step));
    undo_.pop_back();
    knownRevision_ = Access::revision(*playgraph_);
}

void EditHistory::redo() {
    if (open_) throw EditHistoryError("Cannot redo while a transaction is open");
    if (redo_.empty()) throw EditHistoryError("Nothing to redo");
    if (isStale()) {
        throw EditHistoryError("Cannot redo: the playgraph was edited outside its history");
    }
    Step& step = redo_.back();
    restore(step.ids, step.after, step.initialAfter);
    undo_.push_back(std::move(step));
    redo_.pop_back();
    knownRevision_ = Access::revision(*playgraph_);
}

std::optional<std::string> EditHistory::undoLabel() const {
    if (undo_.empty()) return std::nullopt;
    return undo_.back().label;
}

std::optional<std::string> EditHistory::redoLabel() const {
    if (redo_.empty()) return std::nullopt;
    return redo_.back().label;
}

std::vector<std::string> EditHistory::undoLabels() const {
    std::vector<std::string> out;
    for (const auto& step : undo_)
        out.push_back(step.label);
    return out;
}

std::vector<std::string> EditHistory::redoLabels() const {
    std::vector<std::string> out;
    for (auto it = redo_.rbegin(); it != redo_.rend(); ++it)
        out.push_back(it->label);
    return out;
}

void EditHistory::setDepthLimit(std::size_t limit) {
    depthLimit_ = std::max<std::size_t>(limit, 1);
    if (undo_.size() > depthLimit_) {
        undo_.erase(undo_.begin(), undo_.end() - static_cast<std::ptrdiff_t>(depthLimit_));
    }
}

void EditHistory::clear() {
    undo_.clear();
    redo_.clear();
    knownRevision_ = Access::revision(*playgraph_);
}

bool EditHistory::isStale() const { return Access::revision(*playgraph_) != knownRevision_; }

} // namespace playgraph::inline v1
