#include "tools/image_writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "tools/cell_encoding.h"
#include "tools/header_text.h"
#include "tools/output_file.h"
#include "tools/packed_encoder.h"

namespace {

using DataWriter = std::function<WriteStatus(OutputFile& output)>;

WriteStatus WriteHeaderFile(const std::string& base, const ImageDescription& description) {
    OutputFile header(HeaderPath(base));
    if (!header.IsOpen()) return WriteStatus::CannotCreate;
    const std::string text = HeaderText(description);
    header.Append(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return header.Close() ? WriteStatus::Written : WriteStatus::WriteFailed;
}

// The data file goes first, so that a header never stands beside a data
// file that failed; whatever failed is removed.
WriteStatus WriteBothFiles(const std::string& base, const ImageDescription& description,
                           const DataWriter& writeData) {
    if (!DescriptionProblem(description).empty()) return WriteStatus::InvalidDescription;
    WriteStatus status = WriteStatus::Written;
    {
        OutputFile data(DataPath(base));
        if (!data.IsOpen()) return WriteStatus::CannotCreate;
        status = writeData(data);
        if (!data.Close() && status == WriteStatus::Written) status = WriteStatus::WriteFailed;
    }
    if (status == WriteStatus::Written) status = WriteHeaderFile(base, description);
    if (status != WriteStatus::Written) {
        std::remove(DataPath(base).c_str());
        std::remove(HeaderPath(base).c_str());
    }
    return status;
}

void StoreRow(std::span<const std::uint32_t> bits, std::size_t width, std::uint8_t* into) {
    for (std::uint32_t cell : bits) {
        StoreLittleEndian(cell, width, into);
        into += width;
    }
}

WriteStatus WriteRows(const ImageDescription& description, const RowSource& rowSource,
                      OutputFile& output) {
    const auto columns = static_cast<std::size_t>(description.columns);
    const std::size_t width = CellWidth(description.cellType);
    std::vector<double> values(columns);
    std::vector<std::uint32_t> bits(columns);
    std::vector<std::uint8_t> stored(columns * width);
    PackedEncoder encoder{width};
    for (std::int32_t row = 0; row < description.rows; ++row) {
        rowSource(row, values);
        RowCellBits(description.cellType, values, bits);
        if (description.layout == Layout::Packed) {
            AddRow(encoder, output, bits);
            continue;
        }
        StoreRow(bits, width, stored.data());
        output.Append(stored.data(), stored.size());
    }
    FinishRun(encoder, output);
    return WriteStatus::Written;
}

WriteStatus WriteRuns(const ImageDescription& description, const RunSource& runSource,
                      OutputFile& output) {
    const std::size_t width = CellWidth(description.cellType);
    PackedEncoder encoder{width};
    for (std::int64_t cellsLeft = CellCount(description); cellsLeft > 0;) {
        CellRun run;
        if (!runSource(run)) return WriteStatus::SourceEnded;
        if (run.count < 0) return WriteStatus::RunOutOfRange;
        const std::int64_t count = std::min(run.count, cellsLeft);
        const std::uint32_t bits = CellBits(description.cellType, run.value);
        if (description.layout == Layout::Packed) {
            AddCells(encoder, output, bits, count);
        } else {
            std::array<std::uint8_t, 4> element{};
            StoreLittleEndian(bits, width, element.data());
            output.AppendRepeated(element.data(), width, count);
        }
        cellsLeft -= count;
    }
    FinishRun(encoder, output);
    return WriteStatus::Written;
}

bool PairFits(const PackedPair& pair, ImageCellType cellType) {
    if (cellType == ImageCellType::Byte)
        return pair.count >= 0 && pair.count <= 255 && pair.value >= 0 && pair.value <= 255;
    const auto fits = [](std::int32_t field) { return field >= -32768 && field <= 32767; };
    return fits(pair.count) && fits(pair.value);
}

}  // namespace

std::string_view WriteStatusText(WriteStatus status) {
    switch (status) {
        case WriteStatus::Written: return "written";
        case WriteStatus::InvalidDescription: return "the image description is not valid";
        case WriteStatus::WrongCellCount: return "the cell count does not match columns x rows";
        case WriteStatus::RunOutOfRange: return "a run does not fit the cell type";
        case WriteStatus::SourceEnded: return "the runs ended before the image was full";
        case WriteStatus::CannotCreate: return "a file could not be created";
        case WriteStatus::WriteFailed: return "a file could not be written";
    }
    return {};
}

std::string HeaderPath(const std::string& base) { return base + ".doc"; }
std::string DataPath(const std::string& base) { return base + ".img"; }

WriteStatus WriteImage(const std::string& base, const ImageDescription& description,
                       std::span<const double> cells) {
    if (DescriptionProblem(description).empty() &&
        static_cast<std::int64_t>(cells.size()) != CellCount(description))
        return WriteStatus::WrongCellCount;
    const auto columns = static_cast<std::size_t>(description.columns);
    return WriteImageRows(base, description, [&](std::int32_t row, std::span<double> values) {
        std::copy_n(cells.begin() + static_cast<std::ptrdiff_t>(row * columns), columns,
                    values.begin());
    });
}

WriteStatus WriteImageRows(const std::string& base, const ImageDescription& description,
                           const RowSource& rowSource) {
    return WriteBothFiles(base, description, [&](OutputFile& output) {
        return WriteRows(description, rowSource, output);
    });
}

WriteStatus WriteImageRuns(const std::string& base, const ImageDescription& description,
                           const RunSource& runSource) {
    return WriteBothFiles(base, description, [&](OutputFile& output) {
        return WriteRuns(description, runSource, output);
    });
}

WriteStatus WritePackedPairs(const std::string& base, const ImageDescription& description,
                             std::span<const PackedPair> pairs) {
    if (description.layout != Layout::Packed) return WriteStatus::InvalidDescription;
    const bool allFit = std::all_of(pairs.begin(), pairs.end(), [&](const PackedPair& pair) {
        return PairFits(pair, description.cellType);
    });
    if (!allFit) return WriteStatus::RunOutOfRange;
    const std::size_t width = CellWidth(description.cellType);
    return WriteBothFiles(base, description, [&](OutputFile& output) {
        for (const PackedPair& pair : pairs)
            AppendPair(output, width, static_cast<std::uint32_t>(pair.count),
                       static_cast<std::uint32_t>(pair.value));
        return WriteStatus::Written;
    });
}
