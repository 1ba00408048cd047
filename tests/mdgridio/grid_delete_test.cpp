#include <filesystem>

#include "grid_test_support.h"
#include "mdgridio/mdgridio.h"
#include "support/case_name.h"

namespace {

namespace fs = std::filesystem;

TEST_F(GridTest, ExistsForAnythingAtThePathEvenALinkToNowhere) {
    WriteFile("file", "x");
    fs::create_directory("folder");
    fs::create_symlink("nowhere", "dangling");
    for (const char* name : {"file", "folder", "dangling"})
        EXPECT_NE(CellLyrExists(name), 0) << name;
    for (const char* name : {"absent", "folder/absent", ""})
        EXPECT_EQ(CellLyrExists(name), 0) << name;
}

void MakeForeignGrid() {
    fs::create_directory("g");
    WriteFile("g/cells.raw", "1234");
    WriteFile("g/cells.hdr", "ENVI\n");
}

void MakeFinishedGrid() { CellLyrClose(CreateGrid("g", integerCells, 1, {0, 0, 1, 1})); }

void LeaveGridOpen() { CreateGrid("g", floatCells, 1, {0, 0, 1, 1}); }

void RefuseCreationOverForeignGrid() {
    MakeForeignGrid();
    CreateGrid("g", integerCells, 1, {0, 0, 1, 1});
}

void ReplaceGridAfterCreation() {
    MakeFinishedGrid();
    fs::remove_all("g");
    MakeForeignGrid();
}

void AddSomeoneElsesFile() {
    MakeFinishedGrid();
    WriteFile("g/notes.txt", "mine");
}

struct DeleteCase {
    const char* what;
    void (*makeGrid)();
    bool deleted;
    std::vector<std::string> remaining;
};

class DeleteTest : public GridTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteTest, DeletesOnlyGridsMadeHereAndNothingElse) {
    GetParam().makeGrid();
    EXPECT_EQ(CellLyrDelete("g") == 0, GetParam().deleted);
    EXPECT_EQ(FolderListing("."), GetParam().remaining);
}

const std::vector<std::string> foreignGrid{"./g", "./g/cells.hdr", "./g/cells.raw"};

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteTest,
    ::testing::Values(
        DeleteCase{"Finished", MakeFinishedGrid, true, {}},
        DeleteCase{"StillOpen", LeaveGridOpen, true, {}},
        DeleteCase{"MadeElsewhere", MakeForeignGrid, false, foreignGrid},
        DeleteCase{"CreationRefused", RefuseCreationOverForeignGrid, false, foreignGrid},
        DeleteCase{"ReplacedAfterCreation", ReplaceGridAfterCreation, false, foreignGrid},
        DeleteCase{"SomeoneElsesFileInside", AddSomeoneElsesFile, false, {"./g", "./g/notes.txt"}}),
    CaseName());

}  // namespace
