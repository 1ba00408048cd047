// PROJ's objects, released when they go out of scope.
#pragma once

#include <proj.h>

#include <memory>

namespace mdgridio {

struct ProjContextDeleter {
    void operator()(PJ_CONTEXT* context) const { proj_context_destroy(context); }
};
struct ProjObjectDeleter {
    void operator()(PJ* object) const { proj_destroy(object); }
};
struct ProjListDeleter {
    void operator()(PJ_OBJ_LIST* list) const { proj_list_destroy(list); }
};
struct ProjIntegersDeleter {
    void operator()(int* integers) const { proj_int_list_destroy(integers); }
};
using ProjContext = std::unique_ptr<PJ_CONTEXT, ProjContextDeleter>;
using ProjObject = std::unique_ptr<PJ, ProjObjectDeleter>;

// The code as a number when the authority is EPSG, else 0.
int EpsgNumber(const char* authority, const char* code);

// The EPSG code the system carries, or that of the one system PROJ finds
// equivalent to it, put in `identified`; 0 when there is none.
int EpsgCode(PJ_CONTEXT* context, PJ* system, ProjObject& identified);

}  // namespace mdgridio
