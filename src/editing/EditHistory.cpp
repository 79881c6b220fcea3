#include "playgraph/editing/EditHistory.hpp"

#include <algorithm>
#include <utility>

namespace playgraph {

// A step remembers the dictionary before and after it.
struct EditHistory::Step {
    std::string label;
    Dictionary before;
    Dictionary after;
};

// The open transaction: it collects the labels of the edits that complete
// while it is open.
struct EditHistory::Open final : MutablePlaygraph::EditRecorder {
    std::optional<std::string> label;
    std::vector<std::string> editLabels;
    Dictionary before;
    bool staleAtBegin = false;
    void editCompleted(std::string editLabel) override {
        editLabels.push_back(std::move(editLabel));
    }
};

namespace {

Dictionary snapshotOf(const MutablePlaygraph& playgraph) {
    return *Value(playgraph.dictionaryRepresentation()).deepCopy().dictionary();
}

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
    knownRevision_ = playgraph_->revision_;
}

EditHistory::~EditHistory() {
    if (open_) {
        try {
            rollback();
        } catch (...) {
            // Only allocation can fail here; the playgraph is left as it is.
            playgraph_->recorder_ = nullptr;
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
    if (playgraph_->recorder_) {
        throw EditHistoryError("The playgraph has a transaction of another history open");
    }
    auto open = std::make_unique<Open>();
    open->label = std::move(label);
    open->before = snapshotOf(*playgraph_);
    open->staleAtBegin = isStale();
    open_ = std::move(open);
    playgraph_->recorder_ = open_.get();
}

void EditHistory::commit() {
    if (!open_) throw EditHistoryError("No transaction is open");
    std::unique_ptr<Open> open = std::move(open_);
    playgraph_->recorder_ = nullptr;
    if (open->editLabels.empty()) return;
    // Steps recorded before an outside edit describe states that are gone.
    if (open->staleAtBegin) {
        undo_.clear();
        redo_.clear();
    }
    Step step{open->label ? *open->label : joined(open->editLabels), std::move(open->before),
              snapshotOf(*playgraph_)};
    redo_.clear();
    undo_.push_back(std::move(step));
    if (undo_.size() > depthLimit_) undo_.erase(undo_.begin());
    knownRevision_ = playgraph_->revision_;
}

void EditHistory::rollback() {
    if (!open_) throw EditHistoryError("No transaction is open");
    std::unique_ptr<Open> open = std::move(open_);
    playgraph_->recorder_ = nullptr;
    if (open->editLabels.empty()) return;
    playgraph_->restoreDictionary(open->before);
    // The transaction's own edits moved the revision; an outside edit
    // before it still counts.
    if (!open->staleAtBegin) knownRevision_ = playgraph_->revision_;
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
    playgraph_->restoreDictionary(undo_.back().before);
    redo_.push_back(std::move(undo_.back()));
    undo_.pop_back();
    knownRevision_ = playgraph_->revision_;
}

void EditHistory::redo() {
    if (open_) throw EditHistoryError("Cannot redo while a transaction is open");
    if (redo_.empty()) throw EditHistoryError("Nothing to redo");
    if (isStale()) {
        throw EditHistoryError("Cannot redo: the playgraph was edited outside its history");
    }
    playgraph_->restoreDictionary(redo_.back().after);
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
    knownRevision_ = playgraph_->revision_;
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
    knownRevision_ = playgraph_->revision_;
}

bool EditHistory::isStale() const { return playgraph_->revision_ != knownRevision_; }

} // namespace playgraph
