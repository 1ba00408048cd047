#include "batch/batch_run.h"

#include <filesystem>
#include <optional>

#include "image/terminal_text.h"
#include "platform/child_process.h"
#include "platform/interrupt_watch.h"
#include "platform/utf8_path.h"

namespace {

constexpr int progressTickMilliseconds = 1000;
// What the converter prints when it finds no grid library: every image
// would fail the same way.
constexpr std::string_view noGridLibrary = "Could not load MDGRIDIO.DLL";
constexpr std::string_view gridExists = "Output grid already exists";
constexpr std::string_view gridNotCreated = "Could not create output grid";

class BatchState {
public:
    BatchState(const BatchPlan& plan, ProgressLine& progress, BatchLog& log)
        : plan(plan), progress(progress), log(log), running(plan.images.size()) {}

    BatchOutcome Run();

private:
    // Makes the grid's place ready and starts its converter, or settles the
    // image at once.
    void Begin(std::size_t at);
    void Settle(ImageResult result, bool everyImageFails = false);
    void Settle(const platform::FinishedChild& child);
    void NoteInterruption();
    std::string RelativeGrid(std::size_t at) const;
    void ShowProgress(bool now) { progress.Update(done, plan.images.size(), tally.failed, now); }

    const BatchPlan& plan;
    ProgressLine& progress;
    BatchLog& log;
    std::vector<std::optional<ImageResult>> running;
    platform::ChildProcesses children;
    Tally tally;
    std::size_t done = 0;
    BatchOutcome outcome;
};

std::string BatchState::RelativeGrid(std::size_t at) const { return plan.images[at].relativeBase + plan.gridSuffix; }

void BatchState::Begin(std::size_t at) {
    const ListedImage& image = plan.images[at];
    using platform::PathOf, platform::Utf8Of;
    ImageResult result;
    // With the system's own separators: backslashes on Windows.
    result.base = Utf8Of((PathOf(plan.inDir) / PathOf(image.relativeBase)).make_preferred());
    result.grid = Utf8Of((PathOf(plan.outDir.path) / PathOf(RelativeGrid(at))).make_preferred());
    if (!image.clash.empty()) {
        result.message = image.clash;
        return Settle(std::move(result));
    }
    const GridPlace place = PrepareGridPlace(plan.outDir, RelativeGrid(at));
    if (place.outcome == PlaceOutcome::Kept) result.outcome = Outcome::Kept;
    if (place.outcome != PlaceOutcome::Free) {
        result.message = place.message;
        return Settle(std::move(result));
    }
    // The converter makes the grid by its bare name inside the folder held
    // here: a folder of the path swapped meanwhile does not lead it elsewhere.
    const std::string absoluteBase = Utf8Of(std::filesystem::absolute(PathOf(result.base)));
    result.message = children.Start(plan.converter, {absoluteBase, place.leaf}, at, place.folder);
    if (!result.message.empty()) return Settle(std::move(result), true);
    running[at] = std::move(result);
}

void BatchState::Settle(ImageResult result, bool everyImageFails) {
    ++done;
    switch (result.outcome) {
        case Outcome::Converted: ++tally.converted; break;
        case Outcome::Kept: ++tally.kept; break;
        case Outcome::Failed:
            ++tally.failed;
            // Said once, not once for each image.
            if (everyImageFails && !outcome.stopped)
                progress.PrintAbove("cellport-batch: no image can be converted: " + TerminalText(result.message) +
                                    "\n");
            else if (!everyImageFails)
                progress.PrintAbove(FailureLine(result));
            break;
    }
    outcome.stopped = outcome.stopped || everyImageFails;
    log.Write(LogLine(result));
    ShowProgress(false);
}

void BatchState::Settle(const platform::FinishedChild& child) {
    ImageResult result = std::move(*running[child.token]);
    running[child.token].reset();
    result.exitStatus = child.exitStatus;
    result.message = JoinLines(child.output);
    const bool lostTheName = result.message.starts_with(gridExists) || result.message.starts_with(gridNotCreated);
    if (child.exitStatus == 0 || lostTheName) {
        // Converted means whole, not only an exit status; a name taken
        // meanwhile was taken by another run.
        const GridPlace made = JudgeMadeGrid(plan.outDir, RelativeGrid(child.token));
        if (made.outcome == PlaceOutcome::Kept && child.exitStatus == 0)
            result.outcome = Outcome::Converted;
        else if (made.outcome == PlaceOutcome::Kept)
            result = {std::move(result.base), std::move(result.grid), Outcome::Kept, std::nullopt, {}};
        else if (child.exitStatus == 0 || made.beingWritten)
            result.message = made.message;
    } else if (result.message.empty()) {
        result.message = child.endingSignal != 0 ? "ended by signal " + std::to_string(child.endingSignal)
                                                 : "no message";
    }
    const bool everyImageFails = child.exitStatus != 0 && result.message.starts_with(noGridLibrary);
    Settle(std::move(result), everyImageFails);
}

// Whatever reached the converters already: a terminal's signal reaches
// only its foreground group, a hangup only the session's leader, and a
// converter just being started may have missed it. A second one is harmless.
void BatchState::NoteInterruption() {
    if (outcome.interrupted || !platform::InterruptArrived()) return;
    outcome.interrupted = true;
    children.TerminateAll();
}

BatchOutcome BatchState::Run() {
    std::size_t next = 0;
    ShowProgress(true);
    // One that came while the images were listed starts nothing.
    NoteInterruption();
    while (true) {
        const auto mayStart = [&] { return !outcome.interrupted && !outcome.stopped && next < plan.images.size(); };
        while (mayStart() && children.Running() < plan.jobs) {
            Begin(next++);
            NoteInterruption();
        }
        if (children.Running() == 0 && !mayStart()) break;
        for (const platform::FinishedChild& child :
             children.WaitForEnds(progress.Shown() ? progressTickMilliseconds : -1))
            Settle(child);
        ShowProgress(false);
        NoteInterruption();
    }
    progress.Clear();
    tally.notStarted = plan.images.size() - done;
    outcome.tally = tally;
    return outcome;
}

}  // namespace

BatchOutcome RunBatch(const BatchPlan& plan, ProgressLine& progress, BatchLog& log) {
    return BatchState(plan, progress, log).Run();
}
