#include "grid/grid_library.h"

#include "mdgridio/mdgridio.h"

GridLibrary::GridLibrary(const char* bareName)
    : module(platform::LoadLibraryByBareName(bareName)) {
    if (auto* setup = Find<decltype(::GridIOSetup)>("GridIOSetup")) setup();
}

GridLibrary::~GridLibrary() {
    // A library without its exit function is left loaded: unloading it
    // without letting it finish could lose what it still holds.
    auto* exit = Find<decltype(::GridIOExit)>("GridIOExit");
    if (!exit) return;
    exit();
    platform::FreeLibraryHandle(module);
}

bool GridLibrary::IsLoaded() const { return module != nullptr; }

template <typename Function>
Function* GridLibrary::Find(const char* functionName) const {
    if (!module) return nullptr;
    return reinterpret_cast<Function*>(platform::FindLibraryFunction(module, functionName));
}

template <typename Function, typename... Arguments>
int GridLibrary::CallOrFail(const char* functionName, Arguments... arguments) const {
    auto* function = Find<Function>(functionName);
    return function ? function(arguments...) : -1;
}

void GridLibrary::GetMissingFloat(float* missing) const {
    if (auto* function = Find<decltype(::GetMissingFloat)>("GetMissingFloat")) function(missing);
}

int GridLibrary::CellLyrExists(const char* name) const {
    return CallOrFail<decltype(::CellLyrExists)>("CellLyrExists", name);
}

int GridLibrary::CellLayerCreate(const char* name, int mode, int access, int cellType,
                                 double cellSize, double* box) const {
    return CallOrFail<decltype(::CellLayerCreate)>("CellLayerCreate", name, mode, access, cellType,
                                                   cellSize, box);
}

int GridLibrary::AccessWindowSet(double* box, double cellSize, double* outBox) const {
    return CallOrFail<decltype(::AccessWindowSet)>("AccessWindowSet", box, cellSize, outBox);
}

int GridLibrary::WindowRows() const { return CallOrFail<decltype(::WindowRows)>("WindowRows"); }

int GridLibrary::WindowCols() const { return CallOrFail<decltype(::WindowCols)>("WindowCols"); }

int GridLibrary::PutWindowRow(int channel, int row, const void* cells) const {
    return CallOrFail<decltype(::PutWindowRow)>("PutWindowRow", channel, row, cells);
}

int GridLibrary::CellLyrClose(int channel) const {
    return CallOrFail<decltype(::CellLyrClose)>("CellLyrClose", channel);
}

int GridLibrary::CellLyrDelete(const char* name) const {
    return CallOrFail<decltype(::CellLyrDelete)>("CellLyrDelete", name);
}
