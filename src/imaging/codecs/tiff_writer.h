// The libtiff writers: TIFF files of one or more pages, and bare Group 4
// data of one page.
#pragma once

#include <memory>

#include "imaging/codecs/image_writer.h"

std::unique_ptr<ImageWriter> MakeTiffWriter(ByteSink& sink);
std::unique_ptr<ImageWriter> MakeGroup4Writer(ByteSink& sink);
