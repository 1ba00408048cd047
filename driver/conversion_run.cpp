#include "driver/conversion_run.h"

#include <cstdio>
#include <string>

#include "driver/exit_status.h"
#include "driver/row_buffers.h"
#include "grid/grid_library.h"
#include "grid/grid_output.h"
#include "image/cell_conversion.h"
#include "image/header_checks.h"
#include "image/image_data.h"
#include "image/image_header.h"
#include "platform/input_file.h"
#include "platform/interrupt_signals.h"

namespace {

// Through the system's 4 KiB default buffer every row costs a read call or
// two, dearer than copying it out of a larger buffer; 64 KiB still stays in
// the processor's cache and measured fastest.
constexpr std::size_t imageReadBufferBytes = std::size_t{64} << 10;

// The names as the user gave them; no length limit, no truncation.
struct RunNames {
    std::string baseName;
    const char* gridName;
};

bool ReadHeaderFile(const std::string& path, ImageHeader& header) {
    const platform::InputFile file = platform::OpenInputFile(path.c_str());
    if (!file) {
        std::printf("Could not open %s.\n", path.c_str());
        return false;
    }
    FileByteSource source(file.get());
    header = ReadImageHeader(source);
    return true;
}

int FailAfterCreation(const GridLibrary& library, int channel, const char* gridName,
                      const char* message) {
    std::fputs(message, stdout);
    CleanUpGrid(library, channel, gridName);
    return exitFailure;
}

// Stops a copy part way: the image file is closed before the grid goes.
int AbandonGrid(const GridLibrary& library, int channel, const char* gridName,
                platform::InputFile& image, int exitStatus) {
    image.reset();
    CleanUpGrid(library, channel, gridName);
    return exitStatus;
}

// Streams every row from the image data file into the open grid and closes
// it.
int CopyRows(const GridLibrary& library, const ImageHeader& header, const char* gridName,
             int channel, RowBuffers rows, platform::InputFile image) {
    const CellConversion conversion = PrepareCellConversion(header, FetchMissingFloat(library));
    FileByteSource source(image.get());
    PackedRunDecoder decoder;
    for (std::int32_t row = 0; row < header.rows; ++row) {
        const RowRead read = platform::InterruptRequested()
                                 ? RowRead{RowReadOutcome::Interrupted}
                                 : ReadImageRow(source, header, row, rows.inputRow.get(), decoder);
        if (read.outcome == RowReadOutcome::Interrupted) {
            std::printf("Conversion interrupted\n");
            return AbandonGrid(library, channel, gridName, image, exitInterrupted);
        }
        if (read.outcome != RowReadOutcome::Complete) {
            ReportRowReadFailure(read, header.columns);
            return AbandonGrid(library, channel, gridName, image, exitFailure);
        }
        ConvertRow(conversion, rows.inputRow.get(), rows.outputRow.get());
        // A refused row would leave a grid with lost cells that looks whole.
        if (library.PutWindowRow(channel, row, rows.outputRow.get()) < 0) {
            std::printf("Could not write row %i\n", row);
            return AbandonGrid(library, channel, gridName, image, exitFailure);
        }
    }
    rows = {};
    if (library.CellLyrClose(channel) < 0) {
        std::printf("Could not close output grid\n");
        library.CellLyrDelete(gridName);
        return exitFailure;
    }
    return exitSuccess;
}

int WriteGrid(const GridLibrary& library, const ImageHeader& header, const RunNames& names) {
    const char* gridName = names.gridName;
    if (library.CellLyrExists(gridName) != 0) {
        std::printf("Output grid already exists\n");
        return exitFailure;
    }
    platform::CatchInterruptSignals();
    const double cellSize = CellSize(header);
    ExtentBox box = ExtentBoxOf(header);
    ExtentBox outputBox;
    const int channel = library.CellLayerCreate(gridName, createForWriting, accessRowByRow,
                                                CellTypeFor(header.dataType), cellSize, box.data());
    if (channel < 0)
        return FailAfterCreation(library, channel, gridName, "Could not create output grid\n");
    if (library.AccessWindowSet(box.data(), cellSize, outputBox.data()) < 0)
        return FailAfterCreation(library, channel, gridName, "Could not set Window\n");
    if (!WindowMatchesImage(library, header))
        return FailAfterCreation(library, channel, gridName, "Error setting grid output Window\n");
    RowBuffers rows = AllocateRowBuffers(header);
    if (!rows.outputRow)
        return FailAfterCreation(library, channel, gridName, "Could not allocate memory\n");
    const std::string imagePath = names.baseName + ".img";
    platform::InputFile image = platform::OpenInputFile(imagePath.c_str(), imageReadBufferBytes);
    if (!image) {
        std::printf("Could not open %s.\n", imagePath.c_str());
        CleanUpGrid(library, channel, gridName);
        return exitFailure;
    }
    return CopyRows(library, header, gridName, channel, std::move(rows), std::move(image));
}

}  // namespace

int RunConversion(int argc, const char* const argv[]) {
    const GridLibrary library;
    if (argc != 3) {
        std::printf("CELLPORT [in_image] [out_grid]\n");
        return exitUsage;
    }
    if (!library.IsLoaded()) {
        std::printf("Could not load MDGRIDIO.DLL\n");
        std::printf("Please make sure the Mapdesk BIN32 directory is in the path.\n");
        return exitFailure;
    }
    const RunNames names{argv[1], argv[2]};
    ImageHeader header;
    if (!ReadHeaderFile(names.baseName + ".doc", header)) return exitFailure;
    if (RefuseImageHeader(header)) return exitFailure;
    return WriteGrid(library, header, names);
}
