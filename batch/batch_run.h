// Converting a batch's images, a few at a time, until all are done or an
// interruption comes.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_report.h"
#include "batch/grid_place.h"
#include "batch/image_listing.h"
#include "batch/progress_line.h"

struct BatchPlan {
    std::string converter;
    std::string inDir, outDir;
    GridLayout layout = GridLayout::Folder;
    unsigned jobs = 1;
    std::vector<ListedImage> images;
};

struct BatchOutcome {
    std::vector<ImageResult> results;  // in the images' order; none for those not started
    Tally tally;
    bool interrupted = false;
};

// Reports each failure on standard error as it comes.
BatchOutcome RunBatch(const BatchPlan& plan, ProgressLine& progress);
