// What cellport-batch is told about a grid's place, and what clearing a
// killed run's leftover removes: only that, never a grid, a damaged grid or
// anyone else's file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "mdgridio/folder/grid_header_text.h"
#include "mdgridio/grid_places.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using mdgridio::PlaceState;

// A TIFF of one tile of 10 bytes, classic or BigTIFF, in either byte order,
// whose directory gives `software`.
std::string Tiff(bool big, bool bigEndian, const std::string& software) {
    std::string bytes;
    auto put = [&](std::uint64_t value, unsigned width) {
        for (unsigned index = 0; index < width; ++index)
            bytes += static_cast<char>(value >> 8 * (bigEndian ? width - 1 - index : index));
    };
    const unsigned offsetWidth = big ? 8 : 4, entrySize = big ? 20 : 12, headerSize = big ? 16 : 8;
    const std::uint64_t textAt = headerSize + (big ? 8 : 2) + 3 * entrySize + offsetWidth;
    const std::uint64_t tileAt = textAt + software.size() + 1;
    bytes += bigEndian ? "MM" : "II";
    put(big ? 43 : 42, 2);
    if (big) put(8, 2), put(0, 2);
    put(headerSize, offsetWidth);
    put(3, big ? 8 : 2);
    for (const auto& [tag, type, count, value] : {std::tuple<int, int, std::uint64_t, std::uint64_t>{305, 2, software.size() + 1, textAt},
                                                  {324, 4, 1, tileAt}, {325, 4, 1, 10}}) {
        put(tag, 2), put(type, 2), put(count, offsetWidth);
        // A LONG held in the entry sits at the start of its field.
        if (type == 4) put(value, 4), put(0, offsetWidth - 4);
        else put(value, offsetWidth);
    }
    put(0, offsetWidth);
    bytes += software + '\0' + std::string(10, 'x');
    return bytes;
}

const std::string ownHeader =
    mdgridio::FormatGridHeader({3, 2, mdgridio::CellType::Integer, 100, 200, 0.5, {}});

// Makes each entry: a folder for a name ending in "/", a link to the text
// for one ending in "@", a file holding the text otherwise.
void Make(const fs::path& folder, const std::vector<std::pair<std::string, std::string>>& entries) {
    for (const auto& [name, text] : entries) {
        if (name.ends_with('/')) fs::create_directory(folder / name);
        else if (name.ends_with('@')) fs::create_symlink(text, folder / name.substr(0, name.size() - 1));
        else WriteFile(folder / name, text);
    }
}

TEST(GridPlaces, EachPlaceIsJudgedAndOnlyALeftoverIsCleared) {
    using enum PlaceState;
    const std::string cells(24, 'c'), ours = Tiff(false, false, "mdgridio");
    const struct {
        const char* what;
        std::string leaf;
        std::vector<std::pair<std::string, std::string>> entries;
        PlaceState judged;
    } cases[] = {
        {"nothing", "g", {}, Free},
        {"a killed run's empty folder", "g", {{"g/", ""}}, Leftover},
        {"a killed run's cells and header", "g", {{"g/", ""}, {"g/cells.raw", "1"}, {"g/cells.hdr.partial", "2"}}, Leftover},
        {"a whole grid", "g", {{"g/", ""}, {"g/cells.raw", cells}, {"g/cells.hdr", ownHeader}}, Finished},
        {"a header over short cells", "g", {{"g/", ""}, {"g/cells.raw", "c"}, {"g/cells.hdr", ownHeader}}, InTheWay},
        {"a header without cells", "g", {{"g/", ""}, {"g/cells.hdr", ownHeader}}, InTheWay},
        {"another's header", "g", {{"g/", ""}, {"g/cells.raw", cells}, {"g/cells.hdr", ownHeader + "note = x\n"}}, InTheWay},
        {"cells beside a user's file", "g", {{"g/", ""}, {"g/cells.raw", "1"}, {"g/notes.txt", "mine"}}, InTheWay},
        {"a file where a folder goes", "g", {{"g", "mine"}}, InTheWay},
        {"a link to an empty folder", "g", {{"elsewhere/", ""}, {"g@", "elsewhere"}}, InTheWay},
        {"a folder being written", "g", {{"g/", ""}, {"g/cells.raw", "1"}}, BeingWritten},
        {"a killed run's placeholder", "g.tif", {{"g.tif", ""}}, Leftover},
        {"a killed run's placeholder and temporary", "G.TIFF", {{"G.TIFF", ""}, {"G.TIFF.partial", "II"}}, Leftover},
        {"a temporary alone", "g.tif", {{"g.tif.partial", ""}}, InTheWay},
        {"a placeholder being written", "g.tif", {{"g.tif", ""}}, BeingWritten},
        {"a whole GeoTIFF of ours", "g.tif", {{"g.tif", ours}}, Finished},
        {"a whole big-endian BigTIFF of ours", "g.tif", {{"g.tif", Tiff(true, true, "mdgridio")}}, Finished},
        {"a GeoTIFF of ours cut short", "g.tif", {{"g.tif", ours.substr(0, ours.size() - 1)}}, InTheWay},
        {"a user's GeoTIFF", "g.tif", {{"g.tif", Tiff(true, false, "scanner")}}, InTheWay},
        {"a user's other file", "g.tif", {{"g.tif", "II*"}}, InTheWay},
        {"a link to an empty file", "g.tif", {{"empty", ""}, {"g.tif@", "empty"}}, InTheWay},
        {"the folder itself, holding cells", ".", {{"cells.raw", "1"}}, InTheWay},
    };
    for (const auto& [what, leaf, entries, judged] : cases) {
        const ScratchFolder scratch;
        Make(scratch.Path(), entries);
        const int folder = open(scratch.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // As a run writing there holds it.
        const int locked = judged == BeingWritten ? open((scratch / leaf).c_str(), O_RDONLY | O_CLOEXEC) : -1;
        if (locked >= 0) flock(locked, LOCK_EX);
        const auto before = FolderListing(scratch.Path());
        EXPECT_EQ(mdgridio::JudgeGridPlace(folder, leaf).state, judged) << what;
        const mdgridio::PlaceJudgement cleared = mdgridio::ClearLeftover(folder, leaf);
        EXPECT_EQ(cleared.state, judged == Leftover ? Free : judged) << what;
        EXPECT_EQ(FolderListing(scratch.Path()), judged == Leftover ? std::vector<std::string>{} : before) << what;
        EXPECT_EQ(cleared.why.empty(), judged != InTheWay && judged != BeingWritten) << what;
        if (locked >= 0) close(locked);
        close(folder);
    }
}

// Whatever the letter case; the ending alone decides.
TEST(GridPlaces, OnlyATifOrTiffEndingMakesAGeoTiff) {
    for (const char* name : {"a.tif", "a.TIF", "b.Tiff", "x/y.tif"})
        EXPECT_EQ(mdgridio::LayoutForName(name), mdgridio::LayoutKind::GeoTiff) << name;
    for (const char* name : {"a", "scan.tif.doc", "a.tif/", "a.tiff2", "tif", "a.ti"})
        EXPECT_EQ(mdgridio::LayoutForName(name), mdgridio::LayoutKind::Folder) << name;
}

}  // namespace
