#pragma once

// The playgraph that `playgraph serve` opened: its editable model, its edit
// history, the file it came from, and the answers of the JSON API. Every
// access to the playgraph and its history goes through one mutex, so the
// server's threads may call any member at any time.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "GraphView.hpp"
#include "Tool.hpp"
#include "playgraph/editing/EditHistory.hpp"

namespace playgraph::tool::serve {

/// A request the API refuses: the HTTP status and the message shown to the
/// user (for a refused edit, the library's own message).
class RequestError : public std::runtime_error {
public:
    RequestError(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

class Session {
public:
    /// Reads and loads the input (see `readInput`). Throws `InputError`.
    explicit Session(const InputOptions& input);

    /// The input's name, for messages.
    const std::string& name() const { return name_; }

    /// Summary, default path, history and save state.
    Value state();
    /// The playgraph as it is now, for the Play view: "text" (its JSON),
    /// "defaultViewableId" (null when none) and "revision".
    Value story();
    /// The fields, annotations and transitions of one segment; 404 when it
    /// does not exist.
    Value segment(const std::string& id);
    /// What plays at playgraph time `time` (seconds along the default path).
    Value at(double time);
    /// `check`'s findings on the current state, each with the segment it
    /// concerns when there is one.
    Value findings();
    /// What changed since the file was opened or last saved, by segment and
    /// transition id (`diff`): the first 500 changes, each with its kind,
    /// key path, old and new value as JSON text and segment, their total,
    /// and the ids of every segment they concern (a rename's new id too).
    Value changes();
    /// The viewable id of every segment, as text, sorted, each once.
    std::vector<std::string> viewableIds();
    /// The graph as it is now, for drawing.
    std::shared_ptr<const GraphModel> graph();

    /// Applies one `playgraph edit` operation as one undoable step; the state
    /// then carries `edit`'s "warnings". Throws `RequestError` (400) with the
    /// parser's or the library's message.
    Value edit(const std::string& verb, std::vector<EditWord> words);
    /// Undo and redo through the edit history; 409 when there is nothing to
    /// undo or redo.
    Value undo();
    Value redo();
    /// Writes the playgraph to the opened file (never anywhere else) as
    /// `playgraph edit` would, keeping its default viewable id and the
    /// file's layout (compact or indented, and by how much). Unless
    /// `overwrite`, refuses (409) when the file changed on disk since it was
    /// opened or last saved.
    Value save(bool overwrite);

private:
    Value step(bool back);
    /// The file text of the playgraph, as `playgraph edit` writes it.
    std::string fileTextLocked() const;
    Value stateLocked();
    void changedLocked();

    std::mutex mutex_;
    std::string name_;
    std::optional<std::string> file_; ///< none for the bundled story or stdin
    Value defaultViewableId_;
    bool keepMain_;     ///< the default viewable id came from a "main" of the file
    JsonLayout layout_; ///< the file's own layout, which a save keeps
    std::shared_ptr<MutablePlaygraph> graph_;
    std::unique_ptr<EditHistory> history_;
    uint64_t revision_ = 0;
    std::shared_ptr<const GraphModel> model_; ///< of `revision_`, built on demand
    Value path_;                              ///< the default path, for the state
    uint64_t pathRevision_ = UINT64_MAX;      ///< ... of this revision
    std::size_t textHash_ = 0;                ///< of the current state's JSON text
    std::size_t savedTextHash_ = 0;           ///< ... when it was opened or last saved
    std::optional<std::size_t> diskHash_;     ///< the file's bytes then; none: no file
    Value saved_; ///< a deep copy of the dictionary when it was opened or last saved

    std::mutex findingsMutex_;
    uint64_t findingsRevision_ = UINT64_MAX;
    Value findings_;
};

} // namespace playgraph::tool::serve
