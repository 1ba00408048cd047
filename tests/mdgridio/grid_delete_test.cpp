#include <filesystem>

#include "grid_test_support.h"
#include "mdgridio/mdgridio.h"
#include "support/case_name.h"

namespace {

namespace fs = std::filesystem;

void MakeGrid() { CellLyrClose(CreateGrid("g", integerCells, 1, {0, 0, 1, 1})); }

struct DeleteCase {
    const char* what;
    void (*makeGrid)();
    bool deleted;
    std::vector<std::string> remaining;
};

class DeleteTest : public GridTest, public ::testing::WithParamInterface<DeleteCase> {};

// Grids never made here are in the refusal tests.
TEST_P(DeleteTest, DeletesOnlyGridsMadeHereAndNothingElse) {
    GetParam().makeGrid();
    EXPECT_EQ(CellLyrDelete("g") == 0, GetParam().deleted);
    EXPECT_EQ(FolderListing("."), GetParam().remaining);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteTest,
    ::testing::Values(
        DeleteCase{"Finished", MakeGrid, true, {}},
        DeleteCase{"StillOpen", [] { CreateGrid("g", floatCells, 1, {0, 0, 1, 1}); }, true, {}},
        DeleteCase{"ReplacedAfterCreation",
                   [] { MakeGrid(); fs::remove_all("g"); fs::create_directory("g"); }, false,
                   {"./g"}},
        DeleteCase{"SomeoneElsesFileInside", [] { MakeGrid(); WriteFile("g/notes.txt", "mine"); },
                   false, {"./g", "./g/notes.txt"}}),
    CaseName());

}  // namespace
