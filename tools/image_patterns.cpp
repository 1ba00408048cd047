#include "tools/image_patterns.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <span>
#include <vector>

#include "tools/cell_encoding.h"

namespace {

constexpr std::uint64_t goldenGamma = 0x9E3779B97F4A7C15u;
constexpr std::uint64_t flaggedCellShare = 50;
constexpr std::uint64_t flaggedRunShare = 16;

// SplitMix64: fixed, so images are the same wherever they are made.
std::uint64_t Mix(std::uint64_t state) {
    state += goldenGamma;
    state = (state ^ (state >> 30)) * 0xBF58476D1CE4E5B9u;
    state = (state ^ (state >> 27)) * 0x94D049BB133111EBu;
    return state ^ (state >> 31);
}

// Independent values per cell, for each of several uses of one seed.
std::uint64_t CellHash(std::uint64_t key, std::int64_t cellIndex) {
    return Mix(key + static_cast<std::uint64_t>(cellIndex) * goldenGamma);
}

double UnitFraction(std::uint64_t hash) { return static_cast<double>(hash >> 11) * 0x1p-53; }

struct PatternContext {
    ImageDescription description;
    PatternSettings settings;
    std::uint64_t valueKey;
    std::uint64_t flagKey;
};

PatternContext MakeContext(const ImageDescription& description, const PatternSettings& settings) {
    return {description, settings, Mix(settings.seed * 2), Mix(settings.seed * 2 + 1)};
}

bool IsInteger(const PatternContext& context) {
    return context.description.cellType != ImageCellType::Real;
}

// A value at `fraction` (0 to 1) of the way through the range; integer
// cells take every whole value of the range with equal share.
double ValueAt(const PatternContext& context, double fraction) {
    const double low = context.settings.low;
    const double high = context.settings.high;
    if (!IsInteger(context)) return low + fraction * (high - low);
    const auto step = static_cast<std::int64_t>(fraction * (high - low + 1));
    return std::min(high, low + static_cast<double>(step));
}

double AvoidFlag(const PatternContext& context, double value) {
    const std::optional<double>& flag = context.description.flagValue;
    const ImageCellType cellType = context.description.cellType;
    if (!flag || CellBits(cellType, value) != CellBits(cellType, *flag)) return value;
    return *flag + 1 <= context.settings.high ? *flag + 1 : *flag - 1;
}

bool IsSprinkledFlag(const PatternContext& context, std::int64_t cellIndex) {
    return context.description.flagValue &&
           CellHash(context.flagKey, cellIndex) % flaggedCellShare == 0;
}

void FinishRow(const PatternContext& context, std::int32_t row, std::span<double> cells) {
    if (!context.description.flagValue) return;
    const std::int64_t rowStart = std::int64_t{row} * context.description.columns;
    for (std::size_t column = 0; column < cells.size(); ++column) {
        cells[column] = IsSprinkledFlag(context, rowStart + static_cast<std::int64_t>(column))
                            ? *context.description.flagValue
                            : AvoidFlag(context, cells[column]);
    }
}

// A tilted hill's profile along one axis: 0 at the first cell, rising
// to a crest past the middle.
std::vector<double> HillProfile(std::int32_t count) {
    std::vector<double> profile(static_cast<std::size_t>(count));
    for (std::int32_t at = 0; at < count; ++at) {
        const double position = count > 1 ? double(at) / (count - 1) : 0.0;
        profile[static_cast<std::size_t>(at)] =
            0.6 * position + std::sin(std::numbers::pi * position);
    }
    return profile;
}

// The sum of a profile across and one down (rising northwards), scaled so
// that the lowest cell gets the range's low end and the highest its high
// end. Separable, so each cell costs an addition and a multiplication.
RowSource GradientRows(const PatternContext& context) {
    const std::vector<double> across = HillProfile(context.description.columns);
    std::vector<double> down = HillProfile(context.description.rows);
    std::reverse(down.begin(), down.end());
    const auto [acrossLow, acrossHigh] = std::minmax_element(across.begin(), across.end());
    const auto [downLow, downHigh] = std::minmax_element(down.begin(), down.end());
    const double lowest = *acrossLow + *downLow;
    const double span = *acrossHigh + *downHigh - lowest;
    const double scale = span > 0 ? 1 / span : 0;
    return [context, across, down, lowest, scale](std::int32_t row, std::span<double> cells) {
        const double downPart = down[static_cast<std::size_t>(row)] - lowest;
        for (std::size_t column = 0; column < cells.size(); ++column) {
            const double fraction = (across[column] + downPart) * scale;
            cells[column] = ValueAt(context, std::clamp(fraction, 0.0, 1.0));
        }
        FinishRow(context, row, cells);
    };
}

RowSource NoiseRows(const PatternContext& context) {
    return [context](std::int32_t row, std::span<double> cells) {
        const std::int64_t rowStart = std::int64_t{row} * context.description.columns;
        for (std::size_t column = 0; column < cells.size(); ++column) {
            const std::uint64_t hash =
                CellHash(context.valueKey, rowStart + static_cast<std::int64_t>(column));
            cells[column] = ValueAt(context, UnitFraction(hash));
        }
        FinishRow(context, row, cells);
    };
}

// Land-cover-like: patches of one class about `longestRun` cells across,
// with ragged edges, and one cell in 64 speckled with another class.
RowSource PatchRows(const PatternContext& context) {
    const auto side = static_cast<std::uint64_t>(std::max<std::int64_t>(2, context.settings.longestRun));
    return [context, side](std::int32_t row, std::span<double> cells) {
        const auto down = static_cast<std::uint64_t>(row) / side;
        const std::int64_t rowStart = std::int64_t{row} * context.description.columns;
        // Each band of patches starts at its own place; edges wander row by row.
        const std::uint64_t shift = Mix(context.valueKey ^ down) % side + Mix(context.flagKey + static_cast<std::uint64_t>(row)) % 5;
        for (std::size_t column = 0; column < cells.size(); ++column) {
            const std::uint64_t across = (column + shift) / side;
            std::uint64_t hash = CellHash(context.valueKey, static_cast<std::int64_t>(down * 1000003u + across));
            const std::uint64_t speckle = CellHash(context.valueKey + 1, rowStart + static_cast<std::int64_t>(column));
            if (speckle % 64 == 0) hash = speckle;
            cells[column] = ValueAt(context, UnitFraction(hash));
        }
        FinishRow(context, row, cells);
    };
}

// Each run differs from the one before, so that runs stay as long as drawn.
struct RunDrawer {
    PatternContext context;
    std::uint64_t state;
    std::optional<std::uint32_t> previousBits;

    std::uint64_t Next() { return Mix(state += goldenGamma); }

    double DrawCandidate() {
        const std::optional<double>& flag = context.description.flagValue;
        if (flag && Next() % flaggedRunShare == 0) return *flag;
        return AvoidFlag(context, ValueAt(context, UnitFraction(Next())));
    }

    double DrawValue() {
        const ImageCellType cellType = context.description.cellType;
        double value = DrawCandidate();
        for (int attempt = 0; attempt < 8 && CellBits(cellType, value) == previousBits; ++attempt)
            value = DrawCandidate();
        return value;
    }

    bool operator()(CellRun& run) {
        run.count = 1 + static_cast<std::int64_t>(
                            Next() % static_cast<std::uint64_t>(context.settings.longestRun));
        run.value = DrawValue();
        previousBits = CellBits(context.description.cellType, run.value);
        return true;
    }
};

}  // namespace

WriteStatus WritePatternImage(const std::string& base, const ImageDescription& description,
                              const PatternSettings& settings) {
    const PatternContext context = MakeContext(description, settings);
    switch (settings.pattern) {
        case Pattern::Gradient: return WriteImageRows(base, description, GradientRows(context));
        case Pattern::Noise: return WriteImageRows(base, description, NoiseRows(context));
        case Pattern::Patches: return WriteImageRows(base, description, PatchRows(context));
        case Pattern::Runs:
            return WriteImageRuns(base, description, RunDrawer{context, context.valueKey, {}});
    }
    return WriteStatus::InvalidDescription;
}
