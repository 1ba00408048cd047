#include "batch/batch_report.h"

#include "image/terminal_text.h"

namespace {

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Converted: return "converted";
        case Outcome::Kept: return "kept";
        case Outcome::Failed: break;
    }
    return "failed";
}

}  // namespace

std::string EscapeField(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char character : text) {
        switch (character) {
            case '\t': escaped += "\\t"; break;
            case '\n': escaped += "\\n"; break;
            case '\\': escaped += "\\\\"; break;
            default: escaped += character;
        }
    }
    return escaped;
}

std::string JoinLines(std::string_view output) {
    while (output.ends_with('\n')) output.remove_suffix(1);
    std::string joined;
    for (std::size_t start = 0; start <= output.size();) {
        const std::size_t end = std::min(output.find('\n', start), output.size());
        if (!joined.empty()) joined += " / ";
        joined += output.substr(start, end - start);
        start = end + 1;
    }
    return joined;
}

std::string FailureLine(const ImageResult& result) {
    std::string line = TerminalText(result.base) + ": ";
    if (result.exitStatus) line += "status " + std::to_string(*result.exitStatus) + ": ";
    return line + TerminalText(result.message) + "\n";
}

std::string LogLine(const ImageResult& result) {
    const std::string status = result.exitStatus ? std::to_string(*result.exitStatus) : "";
    return EscapeField(result.base) + "\t" + EscapeField(result.grid) + "\t" + OutcomeName(result.outcome) + "\t" +
           status + "\t" + EscapeField(result.message) + "\n";
}

std::string SummaryLine(const Tally& tally, bool interrupted) {
    std::string line = "cellport-batch: " + std::to_string(tally.converted) + " converted, " +
                       std::to_string(tally.kept) + " kept, " + std::to_string(tally.failed) + " failed";
    if (interrupted || tally.notStarted > 0)
        line += ", " + std::to_string(tally.notStarted) + " not started" + (interrupted ? " (interrupted)" : "");
    return line + "\n";
}
