// Converting a batch's images, a few at a time, until all are done, an
// interruption comes or a failure shows that no image can be converted.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_log.h"
#include "batch/batch_report.h"
#include "batch/grid_place.h"
#include "batch/image_listing.h"
#include "batch/progress_line.h"

struct BatchPlan {
    std::string converter;
    std::string inDir;
    GridRoot outDir;
    std::string gridSuffix;  // ".tif" with --tif
    unsigned jobs = 1;
    std::vector<ListedImage> images;
};

struct BatchOutcome {
    Tally tally;
    bool interrupted = false;
    bool stopped = false;  // by a failure every image would meet
};

// Reports each failure on standard error and logs each image as it is
// settled.
BatchOutcome RunBatch(const BatchPlan& plan, ProgressLine& progress, BatchLog& log);
