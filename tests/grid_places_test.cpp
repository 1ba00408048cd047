// What cellport-batch is told about a grid's place, and what clearing a
// killed run's leftover removes: only that, never a grid, a damaged grid or
// anyone else's file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <functional>

#include "mdgridio/folder/grid_header_text.h"
#include "mdgridio/grid_places.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using mdgridio::PlaceState;

// A TIFF of one tile of 10 bytes, classic or BigTIFF, in either byte order,
// whose directory gives `software`; `cut` bytes short of its end.
std::string Tiff(bool big, bool bigEndian, const std::string& software, std::size_t cut = 0) {
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
    return bytes.substr(0, bytes.size() - cut);
}

std::string OwnHeader(int columns, int rows) {
    return mdgridio::FormatGridHeader({columns, rows, mdgridio::CellType::Integer, 100, 200, 0.5});
}

// Holds an exclusive lock on path, as a converter writing there does.
struct Locked {
    explicit Locked(const fs::path& path) : descriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_EQ(flock(descriptor, LOCK_EX), 0);
    }
    ~Locked() { close(descriptor); }
    int descriptor;
};

TEST(GridPlaces, EachPlaceIsJudgedAndOnlyALeftoverIsCleared) {
    const struct {
        const char* what;
        std::string leaf;
        std::function<void(const fs::path&)> make;
        PlaceState judged;
    } cases[] = {
        {"nothing", "g", [](const fs::path&) {}, PlaceState::Free},
        {"a killed run's empty folder", "g", [](const fs::path& g) { fs::create_directory(g); }, PlaceState::Leftover},
        {"a killed run's cells and header being written", "g",
         [](const fs::path& g) {
             fs::create_directory(g);
             WriteFile(g / "cells.raw", "1234");
             WriteFile(g / "cells.hdr.partial", "ab");
         },
         PlaceState::Leftover},
        {"a whole grid", "g",
         [](const fs::path& g) {
             fs::create_directory(g);
             WriteFile(g / "cells.raw", std::string(24, 'c'));
             WriteFile(g / "cells.hdr", OwnHeader(3, 2));
         },
         PlaceState::Finished},
        {"a header over short cells", "g",
         [](const fs::path& g) {
             fs::create_directory(g);
             WriteFile(g / "cells.raw", std::string(23, 'c'));
             WriteFile(g / "cells.hdr", OwnHeader(3, 2));
         },
         PlaceState::InTheWay},
        {"a header without cells", "g",
         [](const fs::path& g) {
             fs::create_directory(g);
             WriteFile(g / "cells.hdr", OwnHeader(3, 2));
         },
         PlaceState::InTheWay},
        {"another program's header", "g",
         [](const fs::path& g) {
             fs::create_directory(g);
             WriteFile(g / "cells.raw", std::string(24, 'c'));
             WriteFile(g / "cells.hdr", OwnHeader(3, 2) + "note = hand-edited\n");
         },
         PlaceState::InTheWay},
        {"cells beside a user's file", "g",
         [](const fs::path& g) {
             fs::create_directory(g);
             WriteFile(g / "cells.raw", "1234");
             WriteFile(g / "notes.txt", "mine");
         },
         PlaceState::InTheWay},
        {"a file where a folder goes", "g", [](const fs::path& g) { WriteFile(g, "mine"); }, PlaceState::InTheWay},
        {"a link to a killed run's folder", "g",
         [](const fs::path& g) {
             fs::create_directory(g.parent_path() / "elsewhere");
             fs::create_directory_symlink("elsewhere", g);
         },
         PlaceState::InTheWay},
        {"a folder being written", "g",
         [](const fs::path& g) {
             fs::create_directory(g);
             WriteFile(g / "cells.raw", "1234");
         },
         PlaceState::BeingWritten},
        {"a killed run's empty placeholder", "g.tif", [](const fs::path& g) { WriteFile(g, ""); }, PlaceState::Leftover},
        {"a killed run's placeholder and temporary", "G.TIFF",
         [](const fs::path& g) {
             WriteFile(g, "");
             WriteFile(g.string() + ".partial", "II*");
         },
         PlaceState::Leftover},
        {"a temporary without its placeholder", "g.tif",
         [](const fs::path& g) { WriteFile(g.string() + ".partial", ""); }, PlaceState::InTheWay},
        {"a placeholder being written", "g.tif", [](const fs::path& g) { WriteFile(g, ""); }, PlaceState::BeingWritten},
        {"a whole GeoTIFF of ours", "g.tif", [](const fs::path& g) { WriteFile(g, Tiff(false, false, "mdgridio")); },
         PlaceState::Finished},
        {"a whole BigTIFF of ours, big-endian", "g.tif",
         [](const fs::path& g) { WriteFile(g, Tiff(true, true, "mdgridio")); }, PlaceState::Finished},
        {"a GeoTIFF of ours cut short", "g.tif",
         [](const fs::path& g) { WriteFile(g, Tiff(false, false, "mdgridio", 1)); }, PlaceState::InTheWay},
        {"a user's GeoTIFF", "g.tif", [](const fs::path& g) { WriteFile(g, Tiff(true, false, "scanner")); },
         PlaceState::InTheWay},
        {"a user's other file", "g.tif", [](const fs::path& g) { WriteFile(g, "II*\0 not a grid"); },
         PlaceState::InTheWay},
        {"a link to an empty file", "g.tif",
         [](const fs::path& g) {
             WriteFile(g.parent_path() / "empty", "");
             fs::create_symlink("empty", g);
         },
         PlaceState::InTheWay},
    };
    for (const auto& [what, leaf, make, judged] : cases) {
        const ScratchFolder scratch;
        make(scratch / leaf);
        const int folder = open(scratch.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::optional<Locked> lock;
        if (judged == PlaceState::BeingWritten) lock.emplace(scratch / leaf);
        const auto before = FolderListing(scratch.Path());
        EXPECT_EQ(mdgridio::JudgeGridPlace(folder, leaf).state, judged) << what;
        const mdgridio::PlaceJudgement cleared = mdgridio::ClearLeftover(folder, leaf);
        if (judged == PlaceState::Leftover) {
            EXPECT_EQ(cleared.state, PlaceState::Free) << what;
            EXPECT_EQ(FolderListing(scratch.Path()), std::vector<std::string>{}) << what;
        } else {
            EXPECT_EQ(cleared.state, judged) << what;
            EXPECT_EQ(FolderListing(scratch.Path()), before) << what;
        }
        EXPECT_EQ(cleared.why.empty(), judged != PlaceState::InTheWay && judged != PlaceState::BeingWritten) << what;
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
