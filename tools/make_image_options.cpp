#include "tools/make_image_options.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <string_view>
#include <tuple>
#include <utility>

namespace {

const std::map<std::string, ImageCellType> cellTypeNames = {{"byte", ImageCellType::Byte},
                                                            {"integer", ImageCellType::Integer},
                                                            {"real", ImageCellType::Real}};
const std::map<std::string, Layout> layoutNames = {{"binary", Layout::Binary},
                                                    {"packed", Layout::Packed}};
const std::map<std::string, Pattern> patternNames = {
    {"gradient", Pattern::Gradient}, {"runs", Pattern::Runs}, {"noise", Pattern::Noise},
    {"patches", Pattern::Patches}};

// The choice's name as given, its value kept.
template <typename Choice>
CLI::Option* AddChoice(CLI::App& app, const std::string& name, Choice& value,
                       const std::map<std::string, Choice>& choices, const std::string& help) {
    const auto take = [&value, &choices](const std::string& text) { value = choices.at(text); };
    return app.add_option_function<std::string>(name, take, help)->check(CLI::IsMember(choices));
}

// CLI11 alone reads "010" as eight and lets "-1" wrap round to the largest
// unsigned number; whole numbers are decimal here.
template <typename Whole>
CLI::Validator WholeNumberFrom(Whole lowest) {
    return CLI::Validator(
        [lowest](std::string& text) {
            Whole value{};
            const char* const last = text.data() + text.size();
            const auto [end, error] = std::from_chars(text.data(), last, value);
            if (error != std::errc() || end != last || value < lowest)
                return text + " is not a whole number from " + std::to_string(lowest) + " to " +
                       std::to_string(std::numeric_limits<Whole>::max());
            text = std::to_string(value);
            return std::string();
        },
        "");
}

// CLI11 alone also reads "0x10" as sixteen; numbers with a fraction are
// decimal here too. Whether the value suits the option is checked later.
CLI::Validator DecimalNumber() {
    return CLI::Validator(
        [](std::string& text) {
            const bool plusSign = text.starts_with('+') && text.size() > 1 && text[1] != '-';
            const char* const first = text.data() + (plusSign ? 1 : 0);
            const char* const last = text.data() + text.size();
            double value = 0;
            const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
            if (error != std::errc() || end != last) return text + " is not a decimal number";
            return std::string();
        },
        "");
}

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

// Problems of values taken together, which no single option's check sees.
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

// Returns --range, for its default depends on --type.
CLI::Option* AddOptions(CLI::App& app, MakeImageOptions& options,
                        std::pair<double, double>& range) {
    ImageDescription& description = options.description;
    PatternSettings& pattern = options.pattern;
    // The last of a repeated option counts, as in most tools.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    AddChoice(app, "--type", description.cellType, cellTypeNames, "Cell type")->required();
    app.add_option("--columns", description.columns, "Cells across")
        ->required()
        ->transform(WholeNumberFrom<std::int32_t>(1));
    app.add_option("--rows", description.rows, "Cells down")
        ->required()
        ->transform(WholeNumberFrom<std::int32_t>(1));
    AddChoice(app, "--layout", description.layout, layoutNames,
              "packed: runs, of byte and integer cells only")
        ->default_str("binary");
    AddChoice(app, "--pattern", pattern.pattern, patternNames,
              "gradient: a smooth tilted hill\n"
              "runs: runs of 1 to --max-run cells, across row ends\n"
              "noise: pseudo-random cells\n"
              "patches: land-cover-like patches about --max-run cells across")
        ->default_str("gradient");
    CLI::Option* rangeOption =
        app.add_option("--range", range,
                       "Cell values; by default 0 255 (byte), -500 3000 (integer),\n"
                       "0 1000 (real)")
            ->type_name("LOW HIGH")
            ->check(DecimalNumber());
    app.add_option("--max-run", pattern.longestRun, "Longest run of --pattern runs; patch width of patches")
        ->transform(WholeNumberFrom<std::int64_t>(1))
        ->capture_default_str();
    app.add_option("--flag", description.flagValue,
                   "Flag value, also written into about 1 cell in 50\n"
                   "(1 run in 16 with --pattern runs)")
        ->check(DecimalNumber());
    app.add_option("--seed", pattern.seed,
                   "Seed of the runs and noise patterns and of flagged cells")
        ->transform(WholeNumberFrom<std::uint64_t>(0))
        ->capture_default_str();
    app.add_option("--cell-size", description.cellSize,
                   "Width and height of a cell, in map units; the header's extent\n"
                   "is the corner plus columns and rows times this")
        ->check(DecimalNumber())
        ->capture_default_str();
    app.add_option("--min-x", description.minX, "Lower left corner, x")
        ->check(DecimalNumber())
        ->capture_default_str();
    app.add_option("--min-y", description.minY, "Lower left corner, y")
        ->check(DecimalNumber())
        ->capture_default_str();
    app.add_option("--note", description.note, "A header line that readers pass over");
    app.add_option("BASE", options.base)->required();
    return rangeOption;
}

}  // namespace

ParsedCommandLine ParseMakeImageCommandLine(int argc, const char* const* argv) {
    MakeImageOptions options;
    std::pair<double, double> range;
    CLI::App app("Writes an image, BASE.doc and BASE.img, of made-up cells.",
                 "cellport-make-image");
    const CLI::Option* rangeOption = AddOptions(app, options, range);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const bool helpShown = app.exit(error) == static_cast<int>(CLI::ExitCodes::Success);
        return {helpShown ? ParseOutcome::HelpShown : ParseOutcome::Invalid, {}};
    }
    std::tie(options.pattern.low, options.pattern.high) =
        rangeOption->count() > 0 ? range : DefaultRange(options.description.cellType);
    if (const std::string_view problem = ValueProblem(options); !problem.empty()) {
        app.exit(CLI::ValidationError(std::string(problem)));
        return {ParseOutcome::Invalid, {}};
    }
    return {ParseOutcome::Ready, options};
}

