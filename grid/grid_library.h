// The one object that holds the run-time-loaded grid library.
#pragma once

#include "platform/shared_library.h"

// Loads the library and sets it up on construction, exits and unloads it on
// destruction. Every method looks its function up again at the call and
// answers -1 when the library is not loaded or lacks the function, so that
// callers test one kind of result only.
class GridLibrary {
public:
    explicit GridLibrary(const char* bareName = "mdgridio");
    ~GridLibrary();
    GridLibrary(const GridLibrary&) = delete;
    GridLibrary& operator=(const GridLibrary&) = delete;

    bool IsLoaded() const;

    void GetMissingFloat(float* missing) const;
    int CellLyrExists(const char* name) const;
    int CellLayerCreate(const char* name, int mode, int access, int cellType, double cellSize,
                        double* box) const;
    int AccessWindowSet(double* box, double cellSize, double* outBox) const;
    int WindowRows() const;
    int WindowCols() const;
    int PutWindowRow(int channel, int row, const void* cells) const;
    int CellLyrClose(int channel) const;
    int CellLyrDelete(const char* name) const;

private:
    template <typename Function>
    Function* Find(const char* functionName) const;

    template <typename Function, typename... Arguments>
    int CallOrFail(const char* functionName, Arguments... arguments) const;

    const platform::LibraryHandle module;
};
