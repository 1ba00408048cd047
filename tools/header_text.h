// The text of an image's header file (<base>.doc).
#pragma once

#include <string>

#include "tools/image_description.h"

// One "key : value" line per field, the keys padded to one column. Reals
// are written with 17 significant digits so that they read back exactly.
std::string HeaderText(const ImageDescription& description);
