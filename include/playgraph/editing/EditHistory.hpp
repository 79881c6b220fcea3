#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"

namespace playgraph::inline v1 {

/// Thrown by `EditHistory` when a step cannot be taken: nothing to undo or
/// redo, a transaction already open (or none open), or a playgraph that was
/// edited outside the history since its last step. `what()` says which. The
/// history and the playgraph are unchanged when it is thrown.
class PLAYGRAPH_API EditHistoryError : public std::logic_error {
public:
    explicit EditHistoryError(const std::string& reason) : std::logic_error(reason) {}
};

/// Grouped edits with undo and redo for one `MutablePlaygraph` (or any
/// composition, which is one).
///
/// A *step* is one transaction: every edit made on the playgraph between
/// `begin` and `commit` (or inside `transaction`). A transaction applies
/// whole or not at all: when `rollback` runs, or the function given to
/// `transaction` throws, the dictionary and the model are exactly as before
/// the transaction and nothing is recorded. Each step keeps only what it
/// changed (the segment entries and top-level keys it touched, before and
/// after), so its memory is proportional to the change, not to the
/// playgraph; `undo` and `redo` cost time in proportion to the step.
///
/// Labels: a step is labelled with the label given to `begin`/`transaction`,
/// or else with the labels of its edits joined by "; " (each edit's name
/// and arguments, e.g. "split intro at 4.000 s"). A transaction in which no
/// edit completed records no step.
///
/// Ownership: the history holds its playgraph (shared ownership) and keeps
/// it alive; the playgraph does not own the history. Several histories on
/// one playgraph are allowed but each sees the others' steps as outside
/// edits.
///
/// Outside edits: an edit made on the playgraph while no transaction of this
/// history is open (directly, or through another history) makes the
/// recorded steps describe states that no longer exist. The history notices
/// it: `isStale()` turns true, and `undo`/`redo` throw `EditHistoryError`
/// instead of restoring a state that never existed; `clear()` (or a new
/// committed step, which drops the old ones) makes it usable again. Changes
/// made to the shared nested dictionaries behind the playgraph's back are
/// not edits and are not noticed.
///
/// Inside a transaction the model is brought up to date once, when it is
/// next read or at the end, not after every edit; so a configuration
/// provider is asked about "main" once per segment for the transaction
/// rather than once per load each edit would make on its own.
///
/// Threads: a history and its playgraph are used from one thread at a time;
/// the caller serialises every call on either.
class PLAYGRAPH_API EditHistory {
public:
    /// The number of steps kept by default; older steps are dropped first.
    static constexpr std::size_t kDefaultDepthLimit = 100;

    /// A history of `playgraph` (must not be empty; throws
    /// `std::invalid_argument` when it is), keeping at most `depthLimit`
    /// undoable steps (at least 1).
    explicit EditHistory(std::shared_ptr<MutablePlaygraph> playgraph,
                         std::size_t depthLimit = kDefaultDepthLimit);
    /// Rolls back a transaction left open.
    ~EditHistory();
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    const std::shared_ptr<MutablePlaygraph>& playgraph() const { return playgraph_; }

    /// Runs `edits` with the playgraph as one step. When `edits` throws, the
    /// transaction is rolled back and the exception is rethrown unchanged.
    /// Throws `EditHistoryError` when a transaction is already open.
    void transaction(const std::function<void(MutablePlaygraph&)>& edits,
                     std::optional<std::string> label = std::nullopt);

    /// Opens a transaction: edits made on the playgraph from now on belong to
    /// it. Throws `EditHistoryError` when one is already open, or when the
    /// playgraph already has a transaction of another history open.
    void begin(std::optional<std::string> label = std::nullopt);
    /// Closes the open transaction and records it as a step (none when no
    /// edit completed), dropping every redo step. Throws `EditHistoryError`
    /// when none is open.
    void commit();
    /// Undoes every edit of the open transaction and closes it; records
    /// nothing. Throws `EditHistoryError` when none is open.
    void rollback();
    bool inTransaction() const;

    bool canUndo() const;
    bool canRedo() const;
    /// Restores the state before the last step. Throws `EditHistoryError`
    /// when there is none, when a transaction is open, or when the playgraph
    /// was edited outside the history since (see `isStale`).
    void undo();
    /// Applies the last undone step again; throws as `undo` does.
    void redo();
    /// The label of the step `undo` / `redo` would take, or none.
    std::optional<std::string> undoLabel() const;
    std::optional<std::string> redoLabel() const;
    /// The labels of the undoable steps, oldest first, and of the redoable
    /// ones, next first.
    std::vector<std::string> undoLabels() const;
    std::vector<std::string> redoLabels() const;

    std::size_t depthLimit() const { return depthLimit_; }
    /// Keeps at most `limit` steps (at least 1), dropping the oldest.
    void setDepthLimit(std::size_t limit);
    /// Forgets every step (an open transaction stays open).
    void clear();
    /// True when the playgraph was edited outside this history since the
    /// history's last step, undo or redo (or since it was made).
    bool isStale() const;

private:
    struct Image;
    struct Step;
    /// Puts back the images of `ids` and the initial segment, and brings
    /// the model up to date (not an edit: the revision does not move).
    void restore(const std::vector<std::string>& ids, const std::vector<Image>& images,
                 const Value& initial);
    std::shared_ptr<MutablePlaygraph> playgraph_;
    std::size_t depthLimit_;
    std::vector<Step> undo_;
    std::vector<Step> redo_;
    struct Open;
    std::unique_ptr<Open> open_;
    uint64_t knownRevision_ = 0;
};

} // namespace playgraph::inline v1
