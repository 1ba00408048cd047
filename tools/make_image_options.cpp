#include "tools/make_image_options.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace {

struct ParseState {
    MakeImageOptions options;
    bool hasType = false;
    bool hasColumns = false;
    bool hasRows = false;
    bool hasRange = false;
    bool hasBase = false;
};

using Values = std::span<const std::string_view>;

struct OptionRule {
    std::string_view name;
    std::size_t valueCount;
    bool (*apply)(Values values, ParseState& state);
};

template <typename Number>
bool ParseWhole(std::string_view text, Number low, Number high, Number& value) {
    Number parsed{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    if (parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

bool ParseFinite(std::string_view text, double& value) {
    double parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

template <typename Choice, std::size_t count>
bool ParseChoice(std::string_view text,
                 const std::array<std::pair<std::string_view, Choice>, count>& choices,
                 Choice& value) {
    for (const auto& [name, choice] : choices) {
        if (text != name) continue;
        value = choice;
        return true;
    }
    return false;
}

bool ApplyType(Values values, ParseState& state) {
    static constexpr std::array<std::pair<std::string_view, ImageCellType>, 3> names = {
        {{"byte", ImageCellType::Byte}, {"integer", ImageCellType::Integer}, {"real", ImageCellType::Real}}};
    state.hasType = true;
    return ParseChoice(values[0], names, state.options.description.cellType);
}

bool ApplyLayout(Values values, ParseState& state) {
    static constexpr std::array<std::pair<std::string_view, Layout>, 2> names = {
        {{"binary", Layout::Binary}, {"packed", Layout::Packed}}};
    return ParseChoice(values[0], names, state.options.description.layout);
}

bool ApplyPattern(Values values, ParseState& state) {
    static constexpr std::array<std::pair<std::string_view, Pattern>, 3> names = {
        {{"gradient", Pattern::Gradient}, {"runs", Pattern::Runs}, {"noise", Pattern::Noise}}};
    return ParseChoice(values[0], names, state.options.pattern.pattern);
}

bool ApplyColumns(Values values, ParseState& state) {
    state.hasColumns = true;
    return ParseWhole(values[0], 1, std::numeric_limits<std::int32_t>::max(),
                      state.options.description.columns);
}

bool ApplyRows(Values values, ParseState& state) {
    state.hasRows = true;
    return ParseWhole(values[0], 1, std::numeric_limits<std::int32_t>::max(),
                      state.options.description.rows);
}

bool ApplyRange(Values values, ParseState& state) {
    state.hasRange = true;
    return ParseFinite(values[0], state.options.pattern.low) &&
           ParseFinite(values[1], state.options.pattern.high);
}

bool ApplyLongestRun(Values values, ParseState& state) {
    return ParseWhole<std::int64_t>(values[0], 1, std::numeric_limits<std::int64_t>::max(),
                                    state.options.pattern.longestRun);
}

bool ApplySeed(Values values, ParseState& state) {
    return ParseWhole<std::uint64_t>(values[0], 0, std::numeric_limits<std::uint64_t>::max(),
                                     state.options.pattern.seed);
}

bool ApplyFlag(Values values, ParseState& state) {
    double flag = 0;
    if (!ParseFinite(values[0], flag)) return false;
    state.options.description.flagValue = flag;
    return true;
}

bool ApplyCellSize(Values values, ParseState& state) {
    return ParseFinite(values[0], state.options.description.cellSize) &&
           state.options.description.cellSize > 0;
}

bool ApplyMinX(Values values, ParseState& state) {
    return ParseFinite(values[0], state.options.description.minX);
}

bool ApplyMinY(Values values, ParseState& state) {
    return ParseFinite(values[0], state.options.description.minY);
}

bool ApplyTitle(Values values, ParseState& state) {
    state.options.description.title = values[0];
    return true;
}

constexpr std::array<OptionRule, 13> optionRules = {{
    {"--type", 1, ApplyType},
    {"--layout", 1, ApplyLayout},
    {"--columns", 1, ApplyColumns},
    {"--rows", 1, ApplyRows},
    {"--pattern", 1, ApplyPattern},
    {"--range", 2, ApplyRange},
    {"--max-run", 1, ApplyLongestRun},
    {"--seed", 1, ApplySeed},
    {"--flag", 1, ApplyFlag},
    {"--cell-size", 1, ApplyCellSize},
    {"--min-x", 1, ApplyMinX},
    {"--min-y", 1, ApplyMinY},
    {"--title", 1, ApplyTitle},
}};

struct ValueLimits {
    double lowest;
    double highest;
    bool whole;
};

ValueLimits LimitsOf(ImageCellType cellType) {
    switch (cellType) {
        case ImageCellType::Byte: return {0, 255, true};
        case ImageCellType::Integer: return {-32768, 32767, true};
        case ImageCellType::Real: break;
    }
    const double largest = std::numeric_limits<float>::max();
    return {-largest, largest, false};
}

// A value that the cell type stores exactly, so that it reads back as given.
bool IsStoredExactly(double value, ImageCellType cellType) {
    const ValueLimits limits = LimitsOf(cellType);
    if (value < limits.lowest || value > limits.highest) return false;
    if (limits.whole) return value == std::trunc(value);
    return static_cast<double>(static_cast<float>(value)) == value;
}

// Ranges that look like land cover codes, elevations and rainfall.
std::pair<double, double> DefaultRange(ImageCellType cellType) {
    switch (cellType) {
        case ImageCellType::Byte: return {0, 255};
        case ImageCellType::Integer: return {-500, 3000};
        case ImageCellType::Real: break;
    }
    return {0, 1000};
}

std::string_view CompletenessProblem(const ParseState& state) {
    if (!state.hasType || !state.hasColumns || !state.hasRows)
        return "--type, --columns and --rows are required";
    if (!state.hasBase) return "the image's base name is missing";
    return {};
}

std::string_view ValueProblem(const MakeImageOptions& options) {
    const ImageCellType cellType = options.description.cellType;
    if (!IsStoredExactly(options.pattern.low, cellType) ||
        !IsStoredExactly(options.pattern.high, cellType) ||
        options.pattern.low > options.pattern.high)
        return "--range needs LOW <= HIGH, both values the cell type stores exactly";
    if (options.description.flagValue && !IsStoredExactly(*options.description.flagValue, cellType))
        return "--flag needs a value the cell type stores exactly";
    return DescriptionProblem(options.description);
}

ParsedCommandLine Invalid(std::string problem) {
    return {ParseOutcome::Invalid, {}, std::move(problem)};
}

// Takes the option at `at` with its values; returns how many arguments it
// used, or 0 when they are not valid.
std::size_t TakeOption(std::span<const char* const> arguments, std::size_t at, ParseState& state,
                       std::string& problem) {
    const std::string_view name = arguments[at];
    for (const OptionRule& rule : optionRules) {
        if (name != rule.name) continue;
        if (arguments.size() - at - 1 < rule.valueCount) {
            problem = std::string(name) + " needs a value";
            return 0;
        }
        std::array<std::string_view, 2> values{};
        for (std::size_t value = 0; value < rule.valueCount; ++value)
            values[value] = arguments[at + 1 + value];
        if (rule.apply(Values(values.data(), rule.valueCount), state)) return 1 + rule.valueCount;
        problem = "invalid value for " + std::string(name);
        return 0;
    }
    problem = "unknown option " + std::string(name);
    return 0;
}

}  // namespace

ParsedCommandLine ParseMakeImageCommandLine(std::span<const char* const> arguments) {
    ParseState state;
    for (std::size_t at = 0; at < arguments.size();) {
        const std::string_view argument = arguments[at];
        if (argument == "-h" || argument == "--help") return {ParseOutcome::HelpWanted, {}, {}};
        if (argument.starts_with("-") && argument.size() > 1) {
            std::string problem;
            const std::size_t used = TakeOption(arguments, at, state, problem);
            if (used == 0) return Invalid(problem);
            at += used;
            continue;
        }
        if (state.hasBase) return Invalid("only one base name may be given");
        state.options.base = argument;
        state.hasBase = true;
        ++at;
    }
    if (const std::string_view problem = CompletenessProblem(state); !problem.empty())
        return Invalid(std::string(problem));
    if (!state.hasRange) {
        const auto [low, high] = DefaultRange(state.options.description.cellType);
        state.options.pattern.low = low;
        state.options.pattern.high = high;
    }
    if (const std::string_view problem = ValueProblem(state.options); !problem.empty())
        return Invalid(std::string(problem));
    return {ParseOutcome::Ready, state.options, {}};
}

void PrintMakeImageUsage(std::FILE* stream) {
    std::fputs(
        "usage: cellport-make-image --type byte|integer|real --columns N --rows N\n"
        "           [--layout binary|packed] [--pattern gradient|runs|noise]\n"
        "           [--range LOW HIGH] [--max-run N] [--flag VALUE] [--seed N]\n"
        "           [--cell-size S] [--min-x X] [--min-y Y] [--title TEXT] BASE\n"
        "Writes the image BASE.doc and BASE.img.\n"
        "  --layout     binary (default) or packed (runs; byte and integer only)\n"
        "  --pattern    gradient (default): a smooth tilted dome;\n"
        "               runs: runs of 1 to --max-run (2000) cells across row ends;\n"
        "               noise: independent pseudo-random cells\n"
        "  --range      cell values; defaults 0 255 (byte), -500 3000 (integer),\n"
        "               0 1000 (real)\n"
        "  --flag       flag value, also written into about 1 cell in 50\n"
        "               (1 run in 16 with --pattern runs)\n"
        "  --seed       seed of the runs and noise patterns and of flagged cells (1)\n"
        "  --cell-size  cell size (1); --min-x, --min-y: lower left corner (0 0)\n",
        stream);
}
