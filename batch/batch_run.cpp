#include "batch/batch_run.h"

#include <filesystem>
#include <optional>

#include "platform/child_process.h"
#include "platform/interrupt_watch.h"
#include "platform/utf8_path.h"

namespace {

constexpr int progressTickMilliseconds = 1000;

class BatchState {
public:
    BatchState(const BatchPlan& plan, ProgressLine& progress)
        : plan(plan), progress(progress), results(plan.images.size()) {}

    BatchOutcome Run();

private:
    // Makes the grid's place ready and starts its converter, or settles the
    // image at once.
    void Begin(std::size_t at);
    void Settle(std::size_t at, ImageResult result);
    void Settle(const platform::FinishedChild& child);
    void NoteInterruption(BatchOutcome& outcome);
    void ShowProgress(bool now) { progress.Update(done, plan.images.size(), tally.failed, now); }

    const BatchPlan& plan;
    ProgressLine& progress;
    std::vector<std::optional<ImageResult>> results;
    platform::ChildProcesses children;
    Tally tally;
    std::size_t done = 0;
};

void BatchState::Begin(std::size_t at) {
    const ListedImage& image = plan.images[at];
    using platform::PathOf, platform::Utf8Of;
    ImageResult result;
    // With the system's own separators: backslashes on Windows.
    result.base = Utf8Of((PathOf(plan.inDir) / PathOf(image.relativeBase)).make_preferred());
    const std::string relativeGrid = image.relativeBase + GridNameSuffix(plan.layout);
    result.grid = Utf8Of((PathOf(plan.outDir) / PathOf(relativeGrid)).make_preferred());
    if (!image.clash.empty()) {
        result.message = image.clash;
        return Settle(at, std::move(result));
    }
    const GridPlace place = PrepareGridPlace(result.grid, plan.layout);
    if (place.state == PlaceState::FinishedGrid) result.outcome = Outcome::Kept;
    if (place.state != PlaceState::Free) {
        result.message = place.message;
        return Settle(at, std::move(result));
    }
    const std::string startFailure = children.Start(plan.converter, {result.base, result.grid}, at);
    results[at] = std::move(result);
    if (!startFailure.empty()) {
        results[at]->message = startFailure;
        Settle(at, std::move(*results[at]));
    }
}

void BatchState::Settle(std::size_t at, ImageResult result) {
    ++done;
    switch (result.outcome) {
        case Outcome::Converted: ++tally.converted; break;
        case Outcome::Kept: ++tally.kept; break;
        case Outcome::Failed:
            ++tally.failed;
            progress.PrintAbove(FailureLine(result));
            break;
    }
    results[at] = std::move(result);
    ShowProgress(false);
}

void BatchState::Settle(const platform::FinishedChild& child) {
    ImageResult result = std::move(*results[child.token]);
    result.exitStatus = child.exitStatus;
    result.message = JoinLines(child.output);
    if (child.exitStatus == 0) {
        result.outcome = Outcome::Converted;
    } else if (result.message.empty()) {
        result.message = child.endingSignal != 0 ? "ended by signal " + std::to_string(child.endingSignal)
                                                 : "no message";
    }
    Settle(child.token, std::move(result));
}

void BatchState::NoteInterruption(BatchOutcome& outcome) {
    if (outcome.interrupted || !platform::InterruptArrived()) return;
    outcome.interrupted = true;
    // The terminal's interrupt reached them already; a second signal would
    // be no news to them.
    if (!platform::InterruptReachedConverters()) children.TerminateAll();
}

BatchOutcome BatchState::Run() {
    BatchOutcome outcome;
    std::size_t next = 0;
    ShowProgress(true);
    while (true) {
        while (!outcome.interrupted && next < plan.images.size() && children.Running() < plan.jobs) {
            Begin(next++);
            NoteInterruption(outcome);
        }
        if (children.Running() == 0 && (outcome.interrupted || next == plan.images.size())) break;
        for (const platform::FinishedChild& child :
             children.WaitForEnds(progress.Shown() ? progressTickMilliseconds : -1))
            Settle(child);
        ShowProgress(false);
        NoteInterruption(outcome);
    }
    progress.Clear();
    for (std::optional<ImageResult>& result : results) {
        if (result)
            outcome.results.push_back(std::move(*result));
        else
            ++tally.notStarted;
    }
    outcome.tally = tally;
    return outcome;
}

}  // namespace

BatchOutcome RunBatch(const BatchPlan& plan, ProgressLine& progress) { return BatchState(plan, progress).Run(); }
