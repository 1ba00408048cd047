// The grid input/output library's C interface: the eleven functions that
// cellport loads at run time. The converter never links against them; it
// only uses these declarations to type the addresses it looks up.
#pragma once

#if defined(_WIN32) && defined(MDGRIDIO_BUILD)
#define MDGRIDIO_EXPORT __declspec(dllexport)
#elif defined(_WIN32)
#define MDGRIDIO_EXPORT
#else
#define MDGRIDIO_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

MDGRIDIO_EXPORT int GridIOSetup(void);
MDGRIDIO_EXPORT int GridIOExit(void);
MDGRIDIO_EXPORT int GetMissingFloat(float *missing);
MDGRIDIO_EXPORT int CellLyrExists(const char *name);
MDGRIDIO_EXPORT int CellLayerCreate(const char *name, int mode, int access, int cellType,
                                    double cellSize, double *box);
MDGRIDIO_EXPORT int AccessWindowSet(double *box, double cellSize, double *outBox);
MDGRIDIO_EXPORT int WindowRows(void);
MDGRIDIO_EXPORT int WindowCols(void);
MDGRIDIO_EXPORT int PutWindowRow(int channel, int row, const void *cells);
MDGRIDIO_EXPORT int CellLyrClose(int channel);
MDGRIDIO_EXPORT int CellLyrDelete(const char *name);

#ifdef __cplusplus
}
#endif
